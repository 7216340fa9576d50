// External commands started by the markup ("EXEC") and the opening of link
// targets.
//
// ExternalCommands lives for the whole run of the program (not per
// document): it keeps the 250 targets already run with the ONCE option and
// the drawing-started-by-command flag, and hands targets to a TargetOpener.
// Without an opener nothing is ever started (batch tools, tests).
//
// A report may come from anywhere (a mail, another machine), and a command
// line in it, or a link labelled "Invoice" that names one, would otherwise
// run with the user's rights the moment a page is shown or the link is
// clicked. So the viewer's opener tells what a target is first: addresses
// and plain documents open as they always did, while anything the desktop
// would run waits for the user's Yes to the exact command line.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kel {

class Messages;
class Prompter;

// Opens a file, program or address. Failures are silent by contract.
class TargetOpener
{
public:
    virtual ~TargetOpener() = default;
    virtual void open(const std::string &target) = 0;
    // Another document is shown: what was asked about the last one is
    // forgotten.
    virtual void newDocument() {}
};

// A program and its arguments, as they are started: never through a shell.
struct ProgramCall
{
    QString program;
    QStringList arguments;

    // The call as one command line, each word quoted as a shell would need
    // it, so that what a person reads is exactly what is started.
    QString commandLine() const;
    bool operator==(const ProgramCall &) const = default;
};

// What a target is, for whom it may open without a question.
enum class TargetKind {
    Address,  // an http, https or mailto address
    Document, // an existing file or folder that is no program
    Program,  // anything else: a command line, an executable or desktop
              // file, an address of another scheme
};

struct TargetPlan
{
    TargetKind kind = TargetKind::Program;
    ProgramCall call;
};

// How a target opens: addresses and existing files go to xdg-open (a file
// by its absolute path, so that a name beginning with "-" is no option);
// an existing program file is started itself; any other text is split into
// program and arguments as a shell would split it. nullopt for a blank
// target. A file counts as a program when it is executable or its type (by
// name and content) is a desktop entry, a program of another system, a
// shell script or a Java archive: what the desktop would run when opening.
std::optional<TargetPlan> planTarget(const std::string &target);

// Starts programs. The desktop's starter waits a moment to see whether the
// program fails at once; tests record the calls.
class ProgramStarter
{
public:
    struct Outcome
    {
        bool started = true;
        QString reason; // why not, in the program's or the system's words
    };
    virtual ~ProgramStarter() = default;
    virtual Outcome start(const ProgramCall &call) = 0;
};

// Starts with QProcess. A program that cannot be started, or that ends
// within `settleMs` with an error (xdg-open finding nothing to open a file
// with), is a failure with its own words from stderr; one still running
// then is left to run, also past the end of the viewer.
class ProcessStarter : public ProgramStarter
{
public:
    explicit ProcessStarter(int settleMs = 1500) : m_settleMs(settleMs) {}
    Outcome start(const ProgramCall &call) override;

private:
    int m_settleMs;
};

// Opens every target as planTarget says, without a question; failures are
// silent. For batch tools asked explicitly to run a report's commands.
class ShellTargetOpener : public TargetOpener
{
public:
    void open(const std::string &target) override;

private:
    ProcessStarter m_starter;
};

// EXEC_ALLOWED: whether a report may start programs.
enum class ExecPolicy {
    Ask,    // "ASK" or empty: only after a Yes to a question showing the call
    Always, // "Y": as a site that relies on it wants
    Never,  // "N"
};
ExecPolicy execPolicyFrom(std::string_view setting);

// The viewer's opener. An address or a document opens at once. A program
// runs only as the policy says: under Ask after a Yes (No is the default)
// to a question that shows the exact command line, asked once per target
// per document; under Never not at all, which is said once per target per
// document. A target that fails to open is said once per target per
// document, with the reason (390 question, 391 refused, 392 failed).
class AskingTargetOpener : public TargetOpener
{
public:
    AskingTargetOpener(ProgramStarter &starter, Prompter &prompter, const Messages &messages,
                       ExecPolicy policy)
        : m_starter(starter), m_prompter(prompter), m_messages(messages), m_policy(policy)
    {
    }
    void open(const std::string &target) override;
    void newDocument() override;

private:
    bool mayRun(const std::string &target, const ProgramCall &call);
    void sayOnce(const std::string &target, int message, const QString &detail);

    ProgramStarter &m_starter;
    Prompter &m_prompter;
    const Messages &m_messages;
    ExecPolicy m_policy;
    std::map<std::string, bool> m_answers; // targets asked about: run or not
    std::set<std::string> m_said;          // targets whose refusal or failure was said
};

class ExternalCommands
{
public:
    static constexpr int kSlots = 250;

    explicit ExternalCommands(TargetOpener *opener = nullptr) : m_opener(opener) {}

    // Set at the start of every user command that draws, cleared when the
    // viewer redraws by itself (zoom, resize); EXEC runs only while set.
    void setStartedByCommand(bool on) { m_startedByCommand = on; }
    bool startedByCommand() const { return m_startedByCommand; }

    // True when the target equals one of the slots exactly; an empty target
    // equals an empty slot, so it counts as run while any slot is free.
    bool wasExecuted(const std::string &target) const;
    // Stores the target in the first empty slot; nothing when all are used
    // or the target is empty (it would leave the slot empty).
    void remember(const std::string &target);
    // Empties the list (the viewer does this when a report is edited and reloaded).
    void clearExecuted();
    // True once any target has been remembered since the last clearing.
    bool anyExecuted() const { return m_used > 0; }

    // Opens through the opener, if there is one.
    void open(const std::string &target);
    // Tells the opener that another document is shown.
    void newDocument();
    void setOpener(TargetOpener *opener) { m_opener = opener; }

private:
    TargetOpener *m_opener;
    bool m_startedByCommand = false;
    std::array<std::string, kSlots> m_executed;
    int m_used = 0;
};

} // namespace kel
