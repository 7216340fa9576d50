// The headless console's voice: every message box becomes one line on
// stderr, "kel: <message number>: <text>", and every question takes its
// default answer at once, so nothing ever waits for a click.
#pragma once

#include "app/prompter.h"
#include "console/consoleengine.h"

#include <cstdio>

namespace kel {

class Messages;

// The line a prompt becomes: line breaks turned to blanks, runs of blanks
// made one; "kel: <text>" for a text that has no message number.
QString headlessLine(int number, const QString &text);

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

} // namespace kel
