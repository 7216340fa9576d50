#include "app/joblog.h"

#include "app/atomicfile.h"
#include "app/text.h"

#include <QDateTime>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel {
namespace {

constexpr int kFieldCount = 12;

void appendField(std::string &line, std::string_view field)
{
    for (const char c : field)
        line += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
}

std::string generation(const std::string &path, int n)
{
    return path + "." + std::to_string(n);
}

// The record's file opened for appending and locked; -1 when it cannot be.
// A writer that locked a file another one has just rotated away opens the
// new one instead.
int openLocked(const std::string &path)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
        if (fd < 0)
            return -1;
        struct stat opened
        {
        };
        struct stat named
        {
        };
        if (flock(fd, LOCK_EX) == 0 && fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            ::stat(path.c_str(), &named) == 0 && named.st_ino == opened.st_ino &&
            named.st_dev == opened.st_dev)
            return fd;
        const bool notRegular = fstat(fd, &opened) == 0 && !S_ISREG(opened.st_mode);
        ::close(fd);
        if (notRegular)
            return -1;
    }
    return -1;
}

} // namespace

std::string jobLogLine(const JobLogEntry &e)
{
    std::string line;
    const std::string_view fields[kFieldCount] = {e.time,    e.event,   e.file,     e.type,
                                                  e.size,    e.pages,   e.printer,  e.job,
                                                  e.outcome, e.message, e.duration, e.detail};
    for (int i = 0; i < kFieldCount; ++i) {
        if (i > 0)
            line += '\t';
        appendField(line, fields[i]);
    }
    line += '\n';
    return line;
}

std::optional<JobLogEntry> parseJobLogLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t tab = line.find('\t', start);
        fields.emplace_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (fields.size() != kFieldCount)
        return std::nullopt;
    return JobLogEntry{fields[0], fields[1], fields[2], fields[3], fields[4],  fields[5],
                       fields[6], fields[7], fields[8], fields[9], fields[10], fields[11]};
}

std::string jobLogTime()
{
    // Local time with its offset, so records of machines in other zones,
    // and of the hour a clock changes, still sort and compare.
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
}

JobLog::JobLog(std::string path, uint64_t limit) : m_path(std::move(path)), m_limit(limit) {}

bool JobLog::append(JobLogEntry entry) const
{
    if (m_path.empty())
        return false;
    if (entry.time.empty())
        entry.time = jobLogTime();
    const std::string line = jobLogLine(entry);
    int fd = openLocked(m_path);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    if (fstat(fd, &st) == 0 && st.st_size > 0 &&
        static_cast<uint64_t>(st.st_size) + line.size() > m_limit) {
        // The oldest generation goes; each other moves up by one, under the
        // lock of the file being moved, so two writers never rotate twice. A
        // record that cannot be moved keeps growing rather than losing lines.
        std::remove(generation(m_path, kGenerations).c_str());
        for (int n = kGenerations - 1; n >= 1; --n) {
            if (fileExists(generation(m_path, n)))
                static_cast<void>(renameDurably(generation(m_path, n), generation(m_path, n + 1)));
        }
        if (renameDurably(m_path, generation(m_path, 1))) {
            ::close(fd);
            fd = openLocked(m_path);
            if (fd < 0)
                return false;
        }
    }
    const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
    return written == static_cast<ssize_t>(line.size());
}

std::vector<JobLogEntry> readJobLog(const std::string &path)
{
    std::vector<JobLogEntry> entries;
    for (int n = JobLog::kGenerations; n >= 0; --n) {
        std::string bytes;
        if (!readFile(n == 0 ? path : generation(path, n), bytes))
            continue;
        size_t start = 0;
        while (start < bytes.size()) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos)
                end = bytes.size();
            if (std::optional<JobLogEntry> e =
                    parseJobLogLine(std::string_view(bytes).substr(start, end - start)))
                entries.push_back(std::move(*e));
            start = end + 1;
        }
    }
    return entries;
}

} // namespace kel
