// The headless console's voice: every message box becomes one line on
// stderr, "kel: <message number>: <text>", and every question takes its
// default answer at once, so nothing ever waits for a click.
#pragma once

#include "app/joblog.h"
#include "app/prompter.h"
#include "console/consoleengine.h"

#include <cstdint>
#include <cstdio>

namespace kel {

class Messages;

// The line a prompt becomes: line breaks turned to blanks, runs of blanks
// made one; "kel: <text>" for a text that has no message number.
QString headlessLine(int number, const QString &text);

// How much a line on stderr matters, as syslog numbers them.
enum class LogPriority { Error = 3, Warning = 4, Info = 6 };

// What goes before a line on stderr: its priority ("<3>") when the journal
// reads stderr (JOURNAL_STREAM names it), which then keeps the time itself;
// else the local time ("2026-12-11T14:05:09 ").
std::string headlessPrefix(LogPriority priority);
// Whether stderr is the stream JOURNAL_STREAM names ("device:inode").
bool stderrIsJournal();
// Writes prefix, line and a line end to `out` and flushes it.
void writeHeadlessLine(std::FILE *out, LogPriority priority, const QString &line);

class HeadlessPrompter : public Prompter
{
public:
    explicit HeadlessPrompter(std::FILE *out = stderr) : m_out(out) {}
    Answer show(const Prompt &prompt) override;

private:
    std::FILE *m_out;
};

// Logs what the console did with each file, one line each, in the same
// form: printed (255), shown in the viewer (256), forwarded (94). Files
// left in the queue are said by the engine through the prompter.
class HeadlessLog : public ConsoleObserver
{
public:
    explicit HeadlessLog(const Messages &messages, std::FILE *out = stderr)
        : m_messages(messages), m_out(out)
    {
    }
    void fileHandled(const HandledFile &file) override;

private:
    const Messages &m_messages;
    std::FILE *m_out;
};

// Writes the job record (JOB_LOG): one line per file the console handled,
// with its type, size, pages, printer, output, outcome and how long it took
// (from the engine's "processing NAME" status to the outcome), and the
// console's start and stop.
class JobRecorder : public ConsoleObserver
{
public:
    // `queueFolder` is where the files handled are, for their sizes.
    JobRecorder(const JobLog &log, const Messages &messages);
    void status(int number, const std::string &detail) override;
    void fileHandled(const HandledFile &file) override;

    void started(const std::string &queueFolder) const;
    void stopped(int exitStatus) const;
    void setQueueFolder(const std::string &folder) { m_folder = folder; }

private:
    const JobLog &m_log;
    const Messages &m_messages;
    std::string m_folder;
    std::string m_current; // the file being processed
    std::string m_size;    // its size when it was taken
    int64_t m_startedMs = 0;
};

} // namespace kel
