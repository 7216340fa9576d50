// The one way the system writes a file that others may read: under a working
// name beside the target, written, flushed to disk, renamed onto the target,
// and the folder flushed so that the rename itself survives a power cut. On
// every failure, and when the writer is dropped before commit(), the working
// file is removed: a reader never sees half a file and nothing is left behind.
#pragma once

#include "app/result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kel {

// Whether commit() may replace a file that already has the target's name.
enum class Replace { Allowed, Never };

class AtomicFile
{
public:
    // `target` is the final path. The working file is `workingPath` when
    // given (it must lie in the target's folder, so the rename stays on one
    // file system), else the target's name followed by ".part" and the
    // process id, which no queue filter takes for a report.
    explicit AtomicFile(std::string target, std::string workingPath = {});
    ~AtomicFile(); // abandons the working file unless committed
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the working file (never reusing or following an existing one).
    Status open();
    bool isOpen() const { return m_fd >= 0; }
    // The open file's descriptor, for writers that take one (only while open).
    int fd() const { return m_fd; }

    Status write(std::string_view bytes);
    // Bytes written so far.
    uint64_t size() const { return m_size; }

    // Flushes the file, renames it onto the target and flushes the folder.
    Status commit(Replace replace = Replace::Allowed);
    // Closes and removes the working file; the target is left as it was.
    void abandon();

    const std::string &target() const { return m_target; }
    const std::string &workingPath() const { return m_working; }

private:
    Refusal failure(const char *what, int error);

    std::string m_target;
    std::string m_working;
    int m_fd = -1;
    uint64_t m_size = 0;
    bool m_created = false;
    bool m_committed = false;
};

// Writes `bytes` as the whole content of `path` through an AtomicFile.
Status writeFileAtomically(const std::string &path, std::string_view bytes,
                           Replace replace = Replace::Allowed);

// Renames `from` onto `to` and flushes the folders of both. With
// Replace::Never an existing `to` is left alone and the rename is refused.
Status renameDurably(const std::string &from, const std::string &to,
                     Replace replace = Replace::Allowed);

// Flushes a folder's entries (after a file in it was created, renamed or
// removed); false when the folder cannot be opened or flushed.
bool syncFolder(const std::string &folder);

// Removes a file and flushes its folder: a deletion that must survive a power
// cut (a queued report whose job is done). False when it could not be
// removed; a file that is already gone counts as removed.
bool removeDurably(const std::string &path);

} // namespace kel
