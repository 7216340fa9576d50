// The console's journal: what became of each job, so that a console killed
// at any moment neither loses a report nor prints it twice.
//
// An append-only text file in the temporary folder, each line flushed to
// disk before the call returns:
//   B <job> <device> <inode> <size> <time> <name>   a job begins on a file
//   P <job> <path>                  its PDF's final name ("pdf:" printers)
//   C <job> <job id> <printer>      the print system's job, once it has one
//   X <job>                         the job failed; the file stays queued
//   D <job>                         the job is done and the file deleted
// (names and paths with their control characters and "%" as %XX.)
//
// At start, recover() settles what the last run left unfinished: a queued
// file that is still the one a job began on, and whose job is complete
// (its PDF exists, or the print system still lists its job as pending,
// held, processing or completed), is deleted without printing again; any
// other such file is printed again, after the half-written PDF of its
// last job is removed. The journal then starts empty.
//
// The one window that remains: between the print system taking the last
// byte of a job and the journal recording its job id, a kill loses the id,
// and the report is printed again.
#pragma once

#include "console/queuefolder.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kel {

// The identity of a queued file: the queue entry and its device.
struct JournalFile
{
    uint64_t device = 0;
    QueueEntry entry; // name, size, time, inode
};
// The file `name` of `folder` as it is now; an empty name when it is gone.
JournalFile journalFileOf(const std::string &folder, const std::string &name);

// Whether the print system still lists job `jobId` of `printer` as pending,
// held, processing or completed.
using JobLookup = std::function<bool(const std::string &printer, int jobId)>;

class Journal
{
public:
    Journal() = default;
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Opens (or creates) the journal at `path` for appending; false when it
    // cannot be, and every later call is a no-op that returns false.
    bool open(const std::string &path);
    bool isOpen() const { return m_fd >= 0; }
    const std::string &path() const { return m_path; }

    // A job begins on `file`: recorded and flushed before it returns.
    // Returns the job's number (0 when the journal is not open).
    uint64_t begin(const JournalFile &file);
    bool pdf(uint64_t job, const std::string &finalPath);
    bool cupsJob(uint64_t job, int jobId, const std::string &printer);
    bool failed(uint64_t job);
    bool deleted(uint64_t job);

    // What recovery did with one unfinished job's file.
    struct Recovered
    {
        enum class Action {
            DeletedAsDone, // its job was complete: deleted, not printed again
            PrintAgain,    // left in the queue, printed again
        };
        std::string name;
        Action action = Action::PrintAgain;
        std::string destination; // the PDF or "printer job N", for the log
        std::vector<std::string> removedParts;
    };
    // Settles the jobs the journal shows unfinished against `queueFolder`
    // as it is now, then empties the journal. `lookup` may be empty (no
    // print system): a job on it then counts as not complete.
    std::vector<Recovered> recover(const std::string &queueFolder, const JobLookup &lookup);

private:
    bool append(const std::string &line);

    std::string m_path;
    int m_fd = -1;
    uint64_t m_next = 1;
};

// Removes from `folder` the working files of jobs whose process no longer
// runs: a PDF written under its temporary name ("NAME-STAMP-PID-N.pdf.part")
// and a file of the atomic writer ("NAME.partPID"). Files of live processes,
// this one's included, stay. Returns the paths removed.
std::vector<std::string> removeDeadWorkingFiles(const std::string &folder);

// The print system's answer for JobLookup, asked over a connection of its
// own that gives up after `timeoutMs`; false when it does not answer.
bool cupsListsJob(const std::string &printer, int jobId, int timeoutMs = 30000);

} // namespace kel
