#include "app/atomicfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kel {
namespace {

std::string folderOf(const std::string &path)
{
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? std::string(".") : parent;
}

// rename(2) that never replaces an existing target: renameat2 where the file
// system has it, else a hard link and an unlink (which fails on an existing
// target just the same).
int renameNoReplace(const char *from, const char *to)
{
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    if (link(from, to) != 0)
        return -1;
    unlink(from);
    return 0;
}

} // namespace

bool syncFolder(const std::string &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = fsync(fd) == 0 || errno == EINVAL; // some file systems cannot
    ::close(fd);
    return ok;
}

AtomicFile::AtomicFile(std::string target, std::string workingPath)
    : m_target(std::move(target)), m_working(std::move(workingPath))
{
    if (m_working.empty())
        m_working = m_target + ".part" + std::to_string(getpid());
}

AtomicFile::~AtomicFile()
{
    if (!m_committed)
        abandon();
}

Refusal AtomicFile::failure(const char *what, int error)
{
    return Refusal{kNoMessage, m_target + ": " + what + ": " + std::strerror(error)};
}

Status AtomicFile::open()
{
    abandon();
    m_committed = false;
    m_size = 0;
    m_fd = ::open(m_working.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return failure("cannot be created", errno);
    m_created = true;
    return {};
}

Status AtomicFile::write(std::string_view bytes)
{
    if (m_fd < 0)
        return failure("cannot be written", EBADF);
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            abandon();
            return failure("cannot be written", error);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
        m_size += static_cast<uint64_t>(n);
    }
    return {};
}

Status AtomicFile::commit(Replace replace)
{
    if (m_fd < 0)
        return failure("cannot be written", EBADF);
    if (fsync(m_fd) != 0) {
        const int error = errno;
        abandon();
        return failure("cannot be flushed", error);
    }
    const int closed = ::close(m_fd);
    const int closeError = errno;
    m_fd = -1;
    if (closed != 0) {
        abandon();
        return failure("cannot be written", closeError);
    }
    const int renamed = replace == Replace::Never
                            ? renameNoReplace(m_working.c_str(), m_target.c_str())
                            : std::rename(m_working.c_str(), m_target.c_str());
    if (renamed != 0) {
        const int error = errno;
        abandon();
        return failure(error == EEXIST ? "exists already" : "cannot be renamed into place", error);
    }
    m_committed = true;
    if (!syncFolder(folderOf(m_target)))
        return failure("its folder cannot be flushed", errno);
    return {};
}

void AtomicFile::abandon()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    // Only a working file this writer created is removed: a name that was
    // there before (another writer's, or a planted link) is not ours.
    if (m_created && !m_committed)
        ::unlink(m_working.c_str());
    m_created = false;
}

Status writeFileAtomically(const std::string &path, std::string_view bytes, Replace replace)
{
    AtomicFile file(path);
    if (Status s = file.open(); !s)
        return s;
    if (Status s = file.write(bytes); !s)
        return s;
    return file.commit(replace);
}

Status renameDurably(const std::string &from, const std::string &to, Replace replace)
{
    const int renamed = replace == Replace::Never ? renameNoReplace(from.c_str(), to.c_str())
                                                  : std::rename(from.c_str(), to.c_str());
    if (renamed != 0)
        return Refusal{kNoMessage, from + " -> " + to + ": " + std::strerror(errno)};
    const std::string a = folderOf(from), b = folderOf(to);
    bool ok = syncFolder(b);
    if (a != b)
        ok = syncFolder(a) && ok;
    if (!ok)
        return Refusal{kNoMessage, to + ": its folder cannot be flushed"};
    return {};
}

bool removeDurably(const std::string &path)
{
    // A file someone else removed first is gone as asked.
    if (::unlink(path.c_str()) != 0)
        return errno == ENOENT;
    syncFolder(folderOf(path));
    return true;
}

} // namespace kel
