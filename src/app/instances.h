// Running instances of the program and what they leave behind.
//
// Each instance keeps a lock file named after its process id in the
// temporary folder. Its first line is the process id; each further line
// names a working file the instance made there (the working copy of every
// document it opened), so that the files of an instance that was killed
// can be found and removed by the next one that starts. A signal that asks
// the program to end (SIGTERM, SIGINT, SIGHUP) is turned into a call on
// the event loop, so that the program ends as when its window is closed.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace kel {

class InstanceLock
{
public:
    // Creates "instance-<pid>.lock" in `folder`.
    explicit InstanceLock(std::string folder);
    // Removes the lock file (the recorded files stay; see removeRecorded).
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Notes working files this instance made in the temporary folder.
    void record(std::initializer_list<std::string> paths);
    void record(const std::vector<std::string> &paths);
    // Deletes the files recorded so far; failures are ignored.
    void removeRecorded();

    // True when a lock file of another live process exists. Lock files of
    // processes that have ended are removed on the way, with the files they
    // recorded.
    bool othersRunning() const;

    // Removes what instances that no longer run left in `folder`: the files
    // their lock files recorded (only files inside `folder` and its "Temp"
    // subfolder), then the lock files. Returns how many files were removed.
    static int removeLeftovers(const std::string &folder);

private:
    std::string m_folder;
    std::string m_path;
};

// While it lives, SIGTERM, SIGINT and SIGHUP call `onSignal` from the event
// loop (never from the signal handler itself) with the signal's number; the
// handlers in place before are restored when it is destroyed. One at a time.
class TerminationSignals
{
public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(int)> m_onSignal;
};

// The print server console's lock: at most one console per temporary
// folder. The lock is an advisory lock on "console.lock" held open for the
// life of the object, so the system releases it when the process ends in
// any way (a console killed with SIGKILL leaves no stale lock behind).
class ConsoleLock
{
public:
    explicit ConsoleLock(const std::string &folder);
    ~ConsoleLock();
    ConsoleLock(const ConsoleLock &) = delete;
    ConsoleLock &operator=(const ConsoleLock &) = delete;

    // False when another console holds the lock (or the file cannot be
    // opened, which the console treats the same way).
    bool acquired() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace kel
