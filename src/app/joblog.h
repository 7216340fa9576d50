// The job record: what the print server did, one line per event, in the file
// that JOB_LOG names, for administrators and for `keltool jobs` and
// `keltool queue`.
//
// A line is twelve fields separated by tabs, in this order (a field that
// does not apply is empty; tabs and line breaks inside a field become
// blanks):
//   time      ISO 8601 with the offset, "2026-12-11T14:05:09+01:00"
//   event     "file", "command", "arrival", "start" or "stop"
//   file      the file's name in the queue folder (or the command file)
//   type      KEL, KEZ, TXT, LST or PRN
//   size      bytes
//   pages     sheets drawn
//   printer   printer, or the destination of a forwarded report
//   job       the print system's job id, or the PDF written
//   outcome   printed, viewed, forwarded, failed, obeyed, started, stopped
//   message   the message number of the outcome
//   duration  milliseconds
//   detail    the outcome's text (why a file failed, a command's verb, the
//             peer's address of an arrival, the queue folder at a start)
//
// The file is appended to, one write per line, under an advisory lock that
// also covers its rotation: when a line would take the file past its limit,
// FILE.2 becomes FILE.3, FILE.1 FILE.2 and FILE FILE.1, and a new FILE is
// begun, so the record keeps a bounded size and a few generations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

struct JobLogEntry
{
    std::string time;
    std::string event;
    std::string file;
    std::string type;
    std::string size;
    std::string pages;
    std::string printer;
    std::string job;
    std::string outcome;
    std::string message;
    std::string duration;
    std::string detail;

    bool operator==(const JobLogEntry &) const = default;
};

// The line of an entry, ending in "\n".
std::string jobLogLine(const JobLogEntry &entry);
// An entry from a line (with or without its "\n"); nullopt for a line that
// has not the twelve fields.
std::optional<JobLogEntry> parseJobLogLine(std::string_view line);

// Now, in the form of the record's time field.
std::string jobLogTime();

class JobLog
{
public:
    static constexpr uint64_t kDefaultLimit = 1024 * 1024;
    static constexpr int kGenerations = 3;

    // An empty path records nothing.
    explicit JobLog(std::string path, uint64_t limit = kDefaultLimit);

    bool enabled() const { return !m_path.empty(); }
    const std::string &path() const { return m_path; }
    // Appends the entry (its time filled in when empty); false when the
    // file cannot be written. Never throws.
    bool append(JobLogEntry entry) const;

private:
    std::string m_path;
    uint64_t m_limit;
};

// Every entry of the record at `path`, oldest first: FILE.3 to FILE.1, then
// FILE. Lines that are no entry are skipped.
std::vector<JobLogEntry> readJobLog(const std::string &path);

} // namespace kel
