#include "app/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel {

InputFile::InputFile(const std::string &path)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer; O_NOCTTY: a terminal named by a document never becomes ours.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    // A regular file never blocks; reads go back to the ordinary mode.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_fd = fd;
    m_size = static_cast<uint64_t>(st.st_size);
}

InputFile::~InputFile()
{
    close();
}

InputFile::InputFile(InputFile &&other) noexcept : m_fd(other.m_fd), m_size(other.m_size)
{
    other.m_fd = -1;
    other.m_size = 0;
}

InputFile &InputFile::operator=(InputFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_size = other.m_size;
        other.m_fd = -1;
        other.m_size = 0;
    }
    return *this;
}

void InputFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int64_t InputFile::read(char *buffer, size_t length)
{
    if (m_fd < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, length);
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return -1;
    }
}

bool InputFile::readAt(uint64_t offset, char *buffer, size_t length)
{
    if (m_fd < 0)
        return false;
    while (length > 0) {
        const ssize_t n = ::pread(m_fd, buffer, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer += n;
        length -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool isRegularFile(const std::string &path)
{
    return InputFile(path).isOpen();
}

ReadOutcome readRegularFile(const std::string &path, std::string &out, uint64_t maxBytes)
{
    out.clear();
    InputFile file(path);
    if (!file.isOpen())
        return ReadOutcome::NotAFile;
    if (file.size() > maxBytes)
        return ReadOutcome::TooLarge;
    out.resize(static_cast<size_t>(file.size()));
    size_t have = 0;
    while (have < out.size()) {
        const int64_t n = file.read(out.data() + have, out.size() - have);
        if (n < 0) {
            out.clear();
            return ReadOutcome::Failed;
        }
        if (n == 0)
            break;
        have += static_cast<size_t>(n);
    }
    out.resize(have);
    // Whatever the size did not announce (a file still being written), up to
    // the limit.
    char block[64 * 1024];
    for (;;) {
        const int64_t n = file.read(block, sizeof block);
        if (n < 0) {
            out.clear();
            return ReadOutcome::Failed;
        }
        if (n == 0)
            break;
        if (out.size() + static_cast<uint64_t>(n) > maxBytes) {
            out.clear();
            return ReadOutcome::TooLarge;
        }
        out.append(block, static_cast<size_t>(n));
    }
    return ReadOutcome::Read;
}

LineReader::LineReader(InputFile &file, size_t blockSize, uint64_t maxLine)
    : m_file(file), m_blockSize(std::max<size_t>(blockSize, 2)), m_maxLine(maxLine)
{
}

bool LineReader::fill()
{
    if (m_end)
        return false;
    if (m_pos > 0) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    const size_t old = m_buffer.size();
    m_buffer.resize(old + m_blockSize);
    const int64_t n = m_file.read(m_buffer.data() + old, m_blockSize);
    m_buffer.resize(old + static_cast<size_t>(std::max<int64_t>(n, 0)));
    if (n <= 0) {
        m_end = true;
        m_failed = n < 0;
        return false;
    }
    return true;
}

bool LineReader::next(std::string_view &line)
{
    for (;;) {
        const size_t size = m_buffer.size();
        const size_t from = m_pos + m_scanned;
        const char *data = m_buffer.data();
        size_t end = from;
        while (end < size && data[end] != '\r' && data[end] != '\n')
            ++end;
        if (end < size && !(m_buffer[end] == '\r' && end + 1 == size && !m_end)) {
            line = std::string_view(m_buffer).substr(m_pos, end - m_pos);
            size_t after = end + 1;
            if (m_buffer[end] == '\r' && after < size && m_buffer[after] == '\n')
                ++after;
            m_pos = after;
            m_scanned = 0;
            return true;
        }
        if (m_end) {
            // The last line has no end mark; an empty rest is no line.
            if (m_failed || m_pos >= size)
                return false;
            line = std::string_view(m_buffer).substr(m_pos);
            m_pos = size;
            m_scanned = 0;
            return true;
        }
        // No complete line end yet: remember how far is known to hold none
        // (a CR at the very end is looked at again with the next block).
        m_scanned = end - m_pos;
        if (m_scanned > m_maxLine) {
            m_failed = true;
            m_end = true;
            return false;
        }
        fill();
    }
}

} // namespace kel
