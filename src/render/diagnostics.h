// What a page walk has to say about the markup, as values.
//
// The interpreter never raises a message box itself: it reports each
// markup warning and each value a surface refused to a Diagnostics sink,
// with the message number and the text a box would show, and draws on.
// Each front end decides what to do with them: the viewer collects the
// diagnostics of a walk and shows them as boxes once the page is drawn
// (CollectingDiagnostics, then PromptingDiagnostics), keltool prompts at
// once on stderr (PromptingDiagnostics over a StderrPrompter), and the
// console logs one line each (CallbackDiagnostics with oneLine()).
#pragma once

#include <deque>
#include <functional>
#include <string>

namespace kel {

class Warnings;

enum class DiagnosticKind {
    // An unknown command or a bad attribute value: a Yes/No box whose
    // question (message 208) switches these off until the next document.
    MarkupWarning,
    // A value the surface refused: the failure message (207), always shown.
    RefusedValue,
};

struct Diagnostic
{
    DiagnosticKind kind = DiagnosticKind::MarkupWarning;
    int number = 0; // the main message: 197 to 206 or 209 for a warning, 207 for a refusal
    // Windows-1252 bytes, composed as the box shows them: for a warning the
    // first message, the command and the second message (the question of
    // message 208 is the warning box's own); for a refusal the command,
    // ". " and message 207.
    std::string text;
};

class Diagnostics
{
public:
    virtual ~Diagnostics() = default;
    virtual void report(const Diagnostic &diagnostic) = 0;
};

// Drops everything: walks whose markup was already reported once.
class SilentDiagnostics : public Diagnostics
{
public:
    void report(const Diagnostic &) override {}
};

// Shows each diagnostic at once as a box: warnings through Warnings (the
// Yes/No question, switchable off), refusals through the Prompter of the
// Warnings with the exclamation icon. Title: message 0. The Warnings must
// outlive the sink.
class PromptingDiagnostics : public Diagnostics
{
public:
    explicit PromptingDiagnostics(Warnings &warnings) : m_warnings(warnings) {}
    void report(const Diagnostic &diagnostic) override;

private:
    Warnings &m_warnings;
};

// Keeps what a walk reported, in order, for a front end to show after the
// page is drawn. Markup warnings are not kept while `warnings` (when given)
// is switched off, and at most kMaxKept diagnostics wait at a time: a page
// of hostile markup may hold millions of bad commands.
class CollectingDiagnostics : public Diagnostics
{
public:
    static constexpr size_t kMaxKept = 1000;

    explicit CollectingDiagnostics(const Warnings *warnings = nullptr) : m_warnings(warnings) {}
    void report(const Diagnostic &diagnostic) override;

    const std::deque<Diagnostic> &pending() const { return m_pending; }
    // Hands what waits to `sink`, in order, and forgets it.
    void deliverTo(Diagnostics &sink);
    void clear() { m_pending.clear(); }

private:
    const Warnings *m_warnings;
    std::deque<Diagnostic> m_pending;
};

// Calls a function for every diagnostic, such as a log writer.
class CallbackDiagnostics : public Diagnostics
{
public:
    explicit CallbackDiagnostics(std::function<void(const Diagnostic &)> callback)
        : m_callback(std::move(callback))
    {
    }
    void report(const Diagnostic &diagnostic) override { m_callback(diagnostic); }

private:
    std::function<void(const Diagnostic &)> m_callback;
};

// One line for a log: the text with its line breaks as blanks, then the
// message number in brackets ("Unknown command FOO ... [205]").
std::string oneLine(const Diagnostic &diagnostic);

} // namespace kel
