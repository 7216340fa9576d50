#include "console/journal.h"

#include "app/atomicfile.h"
#include "app/text.h"
#include "printing/pageoutput.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cups/cups.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace kel {
namespace {

// Control characters, blanks, "%" and bytes past ASCII as %XX: one line per
// record, whatever a file name holds.
std::string encode(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == '%' || c >= 0x7f) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string decode(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr ==
                text.data() + i + 3) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The blank-separated words of a record.
std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at < line.size()) {
        const size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            out.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

template <class T> std::optional<T> number(std::string_view text)
{
    T value{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

struct JobRecord
{
    JournalFile file;
    std::string pdf;
    int cupsId = 0;
    std::string printer;
    bool done = false;
};

// The journal's jobs by number; lines that do not parse (the last one of
// a console killed while writing it) are passed over.
std::map<uint64_t, JobRecord> readJobs(const std::string &text)
{
    std::map<uint64_t, JobRecord> jobs;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break; // a line cut short
        const std::vector<std::string_view> w = words(std::string_view(text).substr(at, end - at));
        at = end + 1;
        if (w.size() < 2 || w[0].size() != 1)
            continue;
        const std::optional<uint64_t> job = number<uint64_t>(w[1]);
        if (!job)
            continue;
        const char kind = w[0][0];
        if (kind == 'B' && w.size() == 7) {
            const auto dev = number<uint64_t>(w[2]);
            const auto ino = number<uint64_t>(w[3]);
            const auto size = number<uint64_t>(w[4]);
            const auto time = number<int64_t>(w[5]);
            if (!dev || !ino || !size || !time)
                continue;
            JobRecord &r = jobs[*job];
            r.file.device = *dev;
            r.file.entry = QueueEntry{decode(w[6]), *size, *time, *ino};
            continue;
        }
        const auto it = jobs.find(*job);
        if (it == jobs.end())
            continue;
        if (kind == 'P' && w.size() == 3) {
            it->second.pdf = decode(w[2]);
        } else if (kind == 'C' && w.size() == 4) {
            it->second.cupsId = number<int>(w[2]).value_or(0);
            it->second.printer = decode(w[3]);
        } else if (kind == 'D' || kind == 'X') {
            it->second.done = kind == 'D';
        }
    }
    return jobs;
}

bool exists(const std::string &path)
{
    struct stat st
    {
    };
    return !path.empty() && lstat(path.c_str(), &st) == 0;
}

} // namespace

JournalFile journalFileOf(const std::string &folder, const std::string &name)
{
    struct stat st
    {
    };
    const std::optional<QueueEntry> entry = statQueueFile(folder, name);
    if (!entry || lstat((folder + "/" + name).c_str(), &st) != 0)
        return {};
    return JournalFile{static_cast<uint64_t>(st.st_dev), *entry};
}

Journal::~Journal()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool Journal::open(const std::string &path)
{
    if (m_fd >= 0)
        close(m_fd);
    m_path = path;
    m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd >= 0)
        syncFolder(std::filesystem::path(path).parent_path().string());
    return m_fd >= 0;
}

bool Journal::append(const std::string &line)
{
    if (m_fd < 0)
        return false;
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(m_fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return fdatasync(m_fd) == 0;
}

uint64_t Journal::begin(const JournalFile &file)
{
    if (m_fd < 0 || file.entry.name.empty())
        return 0;
    const uint64_t job = m_next++;
    const QueueEntry &e = file.entry;
    const std::string line = "B " + std::to_string(job) + " " + std::to_string(file.device) + " " +
                             std::to_string(e.inode) + " " + std::to_string(e.size) + " " +
                             std::to_string(e.modified) + " " + encode(e.name) + "\n";
    return append(line) ? job : 0;
}

bool Journal::pdf(uint64_t job, const std::string &finalPath)
{
    return job && append("P " + std::to_string(job) + " " + encode(finalPath) + "\n");
}

bool Journal::cupsJob(uint64_t job, int jobId, const std::string &printer)
{
    return job && append("C " + std::to_string(job) + " " + std::to_string(jobId) + " " +
                         encode(printer) + "\n");
}

bool Journal::failed(uint64_t job)
{
    return job && append("X " + std::to_string(job) + "\n");
}

bool Journal::deleted(uint64_t job)
{
    return job && append("D " + std::to_string(job) + "\n");
}

std::vector<Journal::Recovered> Journal::recover(const std::string &queueFolder,
                                                 const JobLookup &lookup)
{
    std::vector<Recovered> out;
    if (m_path.empty())
        return out;
    std::string text;
    readFile(m_path, text);
    const std::map<uint64_t, JobRecord> jobs = readJobs(text);
    for (const auto &[number, job] : jobs) {
        if (job.done)
            continue;
        const std::string part =
            job.pdf.empty() ? std::string() : PdfFileOutput::temporaryPath(job.pdf);
        const JournalFile now = journalFileOf(queueFolder, job.file.entry.name);
        const bool same = !now.entry.name.empty() && now.device == job.file.device &&
                          now.entry.sameAs(job.file.entry);
        Recovered r;
        r.name = job.file.entry.name;
        const bool pdfDone = exists(job.pdf);
        const bool cupsDone = job.cupsId > 0 && lookup && lookup(job.printer, job.cupsId);
        r.destination = !job.pdf.empty() ? job.pdf
                        : job.cupsId > 0 ? job.printer + " job " + std::to_string(job.cupsId)
                                         : std::string();
        if (same && (pdfDone || cupsDone) &&
            removeIfUnchanged(queueFolder, job.file.entry).result == RemoveResult::Removed) {
            r.action = Recovered::Action::DeletedAsDone;
        } else if (!pdfDone && exists(part) && removeDurably(part)) {
            r.removedParts.push_back(part);
        }
        if (same || !r.removedParts.empty())
            out.push_back(std::move(r));
    }
    // Everything is settled: the journal starts empty.
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    // Should the journal not be emptied (a full disk), its records stay,
    // all settled, and the new jobs are numbered after them.
    const bool emptied = static_cast<bool>(writeFileAtomically(m_path, {}));
    open(m_path);
    m_next = emptied || jobs.empty() ? 1 : jobs.rbegin()->first + 1;
    return out;
}

namespace {

// The process id a working file's name carries; 0 when it carries none.
long ownerOf(std::string_view name)
{
    const auto digitsBefore = [](std::string_view text) {
        size_t start = text.size();
        while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9')
            --start;
        return text.substr(start);
    };
    if (name.ends_with(".pdf.part")) {
        // NAME-STAMP-PID-N.pdf.part
        std::string_view stem = name.substr(0, name.size() - 9);
        const std::string_view counter = digitsBefore(stem);
        if (counter.empty() || counter.size() >= stem.size() ||
            stem[stem.size() - counter.size() - 1] != '-')
            return 0;
        stem.remove_suffix(counter.size() + 1);
        return number<long>(digitsBefore(stem)).value_or(0);
    }
    const size_t part = name.rfind(".part");
    if (part == std::string_view::npos)
        return 0;
    const std::string_view pid = name.substr(part + 5);
    if (pid.empty() || digitsBefore(pid).size() != pid.size())
        return 0;
    return number<long>(pid).value_or(0);
}

bool processEnded(long pid)
{
    return pid > 0 && pid != static_cast<long>(getpid()) && kill(static_cast<pid_t>(pid), 0) != 0 &&
           errno == ESRCH;
}

} // namespace

std::vector<std::string> removeDeadWorkingFiles(const std::string &folder)
{
    std::vector<std::string> removed;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file(ec) || !processEnded(ownerOf(name)))
            continue;
        const std::string path = it->path().string();
        if (removeDurably(path))
            removed.push_back(path);
    }
    return removed;
}

bool cupsListsJob(const std::string &printer, int jobId, int timeoutMs)
{
    http_t *http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                timeoutMs, nullptr);
    if (!http)
        return false;
    httpSetTimeout(http, timeoutMs / 1000.0, nullptr, nullptr);
    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, printer.c_str(), 0, CUPS_WHICHJOBS_ALL);
    bool listed = false;
    for (int i = 0; i < count && !listed; ++i) {
        const ipp_jstate_t s = jobs[i].state;
        listed = jobs[i].id == jobId && (s == IPP_JSTATE_PENDING || s == IPP_JSTATE_HELD ||
                                         s == IPP_JSTATE_PROCESSING || s == IPP_JSTATE_COMPLETED);
    }
    cupsFreeJobs(count, jobs);
    httpClose(http);
    return listed;
}

} // namespace kel
