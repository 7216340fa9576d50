// Settling: a file still being written into the queue folder is not taken.
//
// Two sources decide when a file is complete. The kernel's word, where the
// folder's watch gives it (IntakeTracker): a file that arrived by rename is
// complete at once; a file being written is not taken until its writer has
// closed it, however long the writer pauses, and then only after a short
// quiet time, so a script that appends line by line is not taken after its
// first line. A file the watch said nothing about (found at start, written
// by another machine on a network file system) falls back to the settle
// rule (SettleTracker): it must keep the same size, modification time and
// inode for the settle time, measured from the look that first saw it so.
// Time is the console's clock (milliseconds), never the file system's, so a
// file copied with its old time kept still has to keep still.
#pragma once

#include "console/queuefolder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kel {

class SettleTracker
{
public:
    explicit SettleTracker(int64_t quietMs) : m_quietMs(quietMs) {}

    // Records the files one look saw at `nowMs`. Files not in `seen` are
    // forgotten, so a file that comes back is new again.
    void observe(const std::vector<const std::vector<QueueEntry> *> &seen, int64_t nowMs);
    // True when `entry` matches what the tracker saw and has kept still
    // for the quiet period by `nowMs`.
    bool settled(const QueueEntry &entry, int64_t nowMs) const;
    // When the next look could find one of the unsettled files settled;
    // nullopt when every file seen is settled. Files for which `skip` is
    // true (the watch speaks for them) do not count.
    template <class Skip> std::optional<int64_t> nextSettleAt(int64_t nowMs, Skip skip) const
    {
        std::optional<int64_t> next;
        for (const auto &[name, s] : m_seen) {
            const int64_t at = s.sinceMs + m_quietMs;
            if (at > nowMs && !skip(name))
                next = next ? std::min(*next, at) : at;
        }
        return next;
    }
    std::optional<int64_t> nextSettleAt(int64_t nowMs) const
    {
        return nextSettleAt(nowMs, [](const std::string &) { return false; });
    }

    int64_t quietMs() const { return m_quietMs; }
    void setQuietMs(int64_t ms) { m_quietMs = ms; }

private:
    struct Seen
    {
        QueueEntry entry;
        int64_t sinceMs = 0; // the look that first saw this state
        bool stillThisLook = false;
    };
    int64_t m_quietMs;
    std::unordered_map<std::string, Seen> m_seen;
};

// What the folder's watch saw happen to one name.
enum class FileEvent {
    Created, // a new name, opened for writing
    Written, // data written (or the file truncated)
    Closed,  // a writer closed it
    MovedIn, // renamed (or linked) into the folder: complete as it is
    Removed, // deleted or renamed away
};

// The watch's word per name. Names it never heard of are unknown(), and
// the settle rule decides for them.
class IntakeTracker
{
public:
    // The quiet time after a writer closed a file (a script's next append
    // comes within it).
    static constexpr int64_t kClosedQuietMs = 200;

    void note(const std::string &name, FileEvent event, int64_t nowMs);
    // The watch lost events (its queue overflowed, it was restarted): what
    // it said no longer holds, every file falls back to the settle rule.
    void forgetAll() { m_files.clear(); }
    // Forgets the names a whole look of the folder did not find. The watch
    // is heard only between looks, so what it said before a look is what
    // the look found.
    void keepOnly(const std::vector<const std::vector<QueueEntry> *> &seen);

    bool known(const std::string &name) const { return m_files.contains(name); }
    // For a known name: whether it is complete by `nowMs`.
    bool complete(const std::string &name, int64_t nowMs) const;
    // When the next known file becomes complete; nullopt when none waits on
    // time (files being written wait for their close, not for a time).
    std::optional<int64_t> nextCompleteAt(int64_t nowMs) const;

    void setClosedQuietMs(int64_t ms) { m_closedQuietMs = ms; }

private:
    struct State
    {
        bool writing = false; // opened or written, not closed since
        int64_t atMs = 0;     // the last event
    };
    std::unordered_map<std::string, State> m_files;
    int64_t m_closedQuietMs = kClosedQuietMs;
};

} // namespace kel
