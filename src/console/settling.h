// Settling: a file still being written into the queue folder is not taken.
//
// Every look at the folder hands the tracker what it saw. A file counts as
// settled once it has kept the same size, modification time and inode for
// the quiet period, measured from the look that first saw it so. Time is
// the console's clock (milliseconds), never the file system's, so a file
// copied with its old time kept, or stamped by a machine whose clock is
// off, still has to keep still for the quiet period.
#pragma once

#include "console/queuefolder.h"

#include <cstdint>
#include <optional>
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
    // nullopt when every file seen is settled.
    std::optional<int64_t> nextSettleAt(int64_t nowMs) const;

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

} // namespace kel
