// The print server console's engine: the queue folder, the main tick and
// the command files, without any window.
//
// How it runs: start() does the activation (the queue opened unless the
// console starts visible, AUTOEXEC.CMD obeyed, every other command file
// discarded, the transfer started). From then on tick() is the one routine
// that does the work, one step at a time: the glue calls it every five
// seconds, when the folder changes, when a file may have become complete,
// and at once again while a pass has files left (nextLookIn() says when).
// No step ever waits for events or calls back into the event loop, so a
// step never runs inside another. A pass
//   1. does nothing while the transfer holds the queue folder;
//   2. looks at the folder: the held, released and command lists, and which
//      of their files are complete (settling: the folder watch's word, else
//      the settle rule);
//   3. obeys the complete command files, deleting each after its last line;
//   4. while the queue is open, takes the complete released files in name
//      order, one per step, obeying any command file that arrived before
//      each one, and processes each (QueueProcessor);
//   5. ends with the status "waiting" and tells the transfer.
// A file that stays in the queue (not a report, no printer, a printer that
// failed) is said once per cause through the prompter, not at every tick;
// a file whose trouble lies in its content is not tried again until it
// changes; one that may succeed later (a printer down, a full disk) is tried
// again after 5 seconds, then at growing intervals up to a minute.
//
// Time comes from a ConsoleClock, so tests advance it by hand.
#pragma once

#include "console/commandfile.h"
#include "console/journal.h"
#include "console/processing.h"
#include "console/queuefolder.h"
#include "console/settling.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kel {

class ConsoleClock
{
public:
    virtual ~ConsoleClock() = default;
    // Milliseconds on a clock that never goes back.
    virtual int64_t nowMs() const = 0;
};

class SteadyConsoleClock : public ConsoleClock
{
public:
    int64_t nowMs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// One file the console dealt with, for the window's status and the log.
struct HandledFile
{
    std::string name; // in the queue folder
    ProcessOutcome outcome;
};

// What the console's windows (or the headless log) hear from the engine.
// Every call comes from inside a call into the engine.
class ConsoleObserver
{
public:
    virtual ~ConsoleObserver() = default;
    virtual void queueStateChanged(bool /*open*/) {}
    virtual void countsChanged(int /*held*/, int /*released*/) {}
    // A status text: message `number` and, for some, a detail (a name).
    virtual void status(int /*number*/, const std::string & /*detail*/) {}
    virtual void fileHandled(const HandledFile & /*file*/) {}
    // MINIMIZE_ME (false) and RESTORE_ME (true).
    virtual void windowRequested(bool /*shown*/) {}
    virtual void shutdownRequested() {}
};

class ConsoleEngine
{
public:
    // How long a file the folder watch said nothing about must keep still
    // before it is taken, unless SETTLE_SECONDS says otherwise.
    static constexpr int64_t kDefaultQuietMs = 1000;
    // The first wait before a file left for a cause that may pass is tried
    // again, and the longest; each failure doubles it.
    static constexpr int64_t kFirstRetryMs = 5000;
    static constexpr int64_t kLongestRetryMs = 60000;

    ConsoleEngine(const ConsoleContext &context, const ConsoleClock &clock);
    ~ConsoleEngine();
    ConsoleEngine(const ConsoleEngine &) = delete;
    ConsoleEngine &operator=(const ConsoleEngine &) = delete;

    void addObserver(ConsoleObserver *observer);
    void removeObserver(ConsoleObserver *observer);

    enum class StartQueue { Open, Closed };
    // Activation: the queue folder is the settings' QUEUE_PATH. A folder
    // that cannot be read is said once (257) and looked at again at every
    // tick, since it may be mounted later.
    void start(StartQueue queue);
    // One step: the start of a pass, or one file of it, or its end.
    void tick();
    // True while a pass has begun and not ended: the next step is due now.
    bool passing() const { return m_pass.has_value(); }
    // Milliseconds until the next step is worth taking: 0 during a pass,
    // else when a file still settling or left to retry could be taken;
    // nullopt when nothing waits on time.
    std::optional<int64_t> nextLookIn() const;

    // What the folder watch saw happen to a name of the queue folder.
    void fileEvent(const std::string &name, FileEvent event);
    // The watch lost events or ended: every file falls back to the settle
    // rule until the watch speaks of it again.
    void watchLost() { m_intake.forgetAll(); }

    bool queueOpen() const { return m_open; }
    void setQueueOpen(bool open);
    bool shutdownRequested() const { return m_shutdown; }
    // Ends the console as SHUTDOWN does (a stop signal, the Exit button):
    // a pass in progress stops after the file it is printing.
    void stop() { m_shutdown = true; }

    const std::string &queueFolder() const { return m_folder; }
    // Points the console at another folder (the configuration window).
    void setQueueFolder(const std::string &folder);
    // The filters follow PRINT_KEL, PRINT_KEZ and PRINT_TXT of the settings
    // again (the configuration window's switches).
    void reloadTypes();
    const QueueTypes &types() const { return m_types; }

    // A fresh look at the folder, without telling anyone.
    QueueListing listing() const;
    // Looks at the folder now; the observers hear of it (countsChanged).
    void refresh() { look(); }
    // What the last look saw: the windows' lists show it without another
    // look of their own.
    const QueueListing &lastLook() const { return m_lastLook; }
    int heldCount() const { return static_cast<int>(m_lastLook.held.size()); }
    int releasedCount() const { return static_cast<int>(m_lastLook.released.size()); }

    // The windows' buttons. Renames never replace an existing file and,
    // like deletions, skip a file that fails without a message.
    void holdFiles(const std::vector<std::string> &names);
    void releaseFiles(const std::vector<std::string> &names);
    void deleteFiles(const std::vector<std::string> &names);
    void emptyHeldList();
    void emptyReleasedList();

    // How long a file must keep still before it is taken (tests set 0).
    void setQuietMs(int64_t ms)
    {
        m_settling.setQuietMs(ms);
        m_commandSettling.setQuietMs(ms);
    }
    // The settle time SETTLE_SECONDS gives: a number of seconds (fractions
    // allowed), 1 when empty, at most an hour.
    static int64_t settleMsOf(const SettingsRecord &settings);
    QueueProcessor &processor() { return m_processor; }

    // The journal of jobs, in the temporary folder; start() opens it and
    // settles what the last run left unfinished before anything is taken.
    Journal &journal() { return m_journal; }
    // How start() asks the print system whether a job is still listed
    // (empty: no print system, such jobs count as not complete).
    void setJobLookup(JobLookup lookup) { m_jobLookup = std::move(lookup); }
    static constexpr const char *kJournalName = "console.journal";

private:
    QueueListing look();
    void publishCounts(const QueueListing &listing);
    void runCommandFiles(const std::vector<QueueEntry> &commands);
    // Reads the command file `name` of the queue folder and obeys its verbs,
    // up to SHUTDOWN; lines that are no verb are said once. False when it
    // cannot be read.
    bool obeyCommandFile(const std::string &name);
    void obey(Verb verb);
    void renameAll(bool toHeld);
    void deletePattern(std::string_view extension);
    void recoverJournal();
    void beginPass();
    void stepPass();
    void endPass();
    bool takeNow(const QueueEntry &entry) const;
    void handle(const QueueEntry &entry);
    void sayLeft(const QueueEntry &entry, const Refusal &why);
    void report(const HandledFile &file);
    void tellStatus(int number, const std::string &detail = {});
    bool settled(const QueueEntry &entry) const;
    bool commandSettled(const QueueEntry &entry) const;
    bool heldOpenForWriting(const QueueEntry &entry) const;

    const ConsoleContext &m_context;
    const ConsoleClock &m_clock;
    QueueProcessor m_processor;
    SettleTracker m_settling{kDefaultQuietMs};        // held and released files
    SettleTracker m_commandSettling{kDefaultQuietMs}; // command files
    IntakeTracker m_intake;                           // the folder watch's word
    // at the last look; looked at again before it keeps a file back
    mutable std::unordered_set<uint64_t> m_openForWriting;
    Journal m_journal;
    JobLookup m_jobLookup;
    std::vector<ConsoleObserver *> m_observers;
    std::string m_folder;
    QueueTypes m_types;
    bool m_open = false;
    bool m_shutdown = false;
    bool m_folderReported = false; // the unreadable folder was said
    bool m_pending = false;        // settled files the last pass did not reach
    QueueListing m_lastLook;
    // The pass under way: the files it takes, in order, and the next one.
    struct Pass
    {
        std::string folder;
        std::vector<QueueEntry> files;
        size_t next = 0;
        bool handledAny = false;
    };
    std::optional<Pass> m_pass;
    // Files left in the queue, as they were when they were left, with the
    // cause that was said and when they may be tried again.
    struct LeftFile
    {
        QueueEntry entry;
        bool retry = false;
        Refusal said;
        int64_t retryAtMs = 0;
        int64_t waitMs = 0; // the wait before retryAtMs
    };
    std::unordered_map<std::string, LeftFile> m_left;
};

} // namespace kel
