// The queue folder: which files are in the released queue, which in the held
// queue, which are command files, and the renames between the two queues.
//
// A file's queue is decided by its extension alone, without regard to case:
// ".kel", ".kez", ".txt", ".lst", ".prn" are released, the same with their
// last letter cut (".ke", ".kz", ".tx", ".ls", ".pr") are held, and only for
// the types the settings switch on (PRINT_KEL, PRINT_KEZ, PRINT_TXT). Command
// files end in ".cmd". Only regular files count: a folder, a link or a
// device that carries a queue extension is in neither queue.
#pragma once

#include "app/settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kel {

// The three switches of the queue filters.
struct QueueTypes
{
    bool reports = true;   // PRINT_KEL
    bool templates = true; // PRINT_KEZ
    bool listings = true;  // PRINT_TXT

    // "Y" (any case, blanks around ignored) switches a type on.
    static QueueTypes fromSettings(const SettingsRecord &settings);
    bool operator==(const QueueTypes &) const = default;
};

enum class QueueKind { Released, Held, Command, Other };

// The document type of a released or held name (".kel"/".ke" is Kel, ...),
// whatever the switches say; nullopt for any other name.
std::optional<DocType> queueDocType(std::string_view name);
// Which queue `name` is in under `types`.
QueueKind queueKind(std::string_view name, const QueueTypes &types);

// The held name of a released name (a.kel -> a.ke) and back (a.ke ->
// a.kel); the name unchanged when it is not of that queue. The letters
// before the extension keep their case; the extension is written as the
// table writes it, in small letters.
std::string heldName(std::string_view releasedName);
std::string releasedName(std::string_view heldName);

// The filters as the lists show them: "*.ke;*.kz;*.tx;*.ls;*.pr" and
// "*.kel;*.kez;*.txt;*.lst;*.prn" for the types switched on.
std::string heldFilter(const QueueTypes &types);
std::string releasedFilter(const QueueTypes &types);

// One file of the folder as one look saw it.
struct QueueEntry
{
    std::string name; // file name, no folder
    uint64_t size = 0;
    int64_t modified = 0; // modification time, nanoseconds since the epoch
    uint64_t inode = 0;

    // Same file, same size, same time: nothing was written in between.
    bool sameAs(const QueueEntry &o) const
    {
        return size == o.size && modified == o.modified && inode == o.inode;
    }
};

// One look at the folder: each list sorted by name without regard to case
// (00000001.kel before 00000002.kel, a.txt before B.kel).
struct QueueListing
{
    std::vector<QueueEntry> held;
    std::vector<QueueEntry> released;
    std::vector<QueueEntry> commands;
    bool readable = false; // false when the folder cannot be read
};

QueueListing listQueue(const std::string &folder, const QueueTypes &types);
// Only the command files: one read of the folder, a status call per
// command file only, so it is cheap enough to do before every file of a
// long pass.
std::vector<QueueEntry> listCommandFiles(const std::string &folder);
// Every regular file whose name ends in `extension` (any case), sorted.
std::vector<std::string> filesEndingIn(const std::string &folder, std::string_view extension);

// Renames within a folder without ever replacing an existing file; false
// when `to` exists or the rename fails.
bool renameNoReplace(const std::string &from, const std::string &to);

// The file as it is now; nullopt when it is gone or no longer a regular file.
std::optional<QueueEntry> statQueueFile(const std::string &folder, const std::string &name);

// Deleting a queued file whose job is done, only while it is still the
// file that was read: a writer that went on writing, or a newer file put
// under the same name, must not be deleted unprinted.
enum class RemoveResult {
    Removed, // deleted, and the deletion flushed to disk
    Changed, // another file, or the same one written since: left alone
    Gone,    // no longer there
    Failed,  // could not be deleted; `error` says why
};
struct RemoveOutcome
{
    RemoveResult result = RemoveResult::Failed;
    int error = 0; // errno, for Failed
};
RemoveOutcome removeIfUnchanged(const std::string &folder, const QueueEntry &read);

// The inodes of the files that processes this one may look at (its own
// user's, or every one for root) hold open for writing: a file found
// without the watch's word on it (at start) may still be being written.
// Only files of the queue folder's file system count (inode numbers repeat
// across file systems). One look through /proc; empty where that cannot be
// read.
std::unordered_set<uint64_t> inodesOpenForWriting(const std::string &folder);

// Name order of the lists.
bool queueNameLess(std::string_view a, std::string_view b);

} // namespace kel
