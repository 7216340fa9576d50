// Detection of other running instances: each instance keeps a lock file
// named after its process id in the temporary folder.
#pragma once

#include <string>

namespace kel {

class InstanceLock
{
public:
    // Creates "instance-<pid>.lock" in `folder`.
    explicit InstanceLock(std::string folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when a lock file of another live process exists. Lock files of
    // processes that have ended are removed on the way.
    bool othersRunning() const;

private:
    std::string m_folder;
    std::string m_path;
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
