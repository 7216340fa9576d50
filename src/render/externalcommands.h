// External commands started by the markup ("EXEC") and the opening of link
// targets.
//
// ExternalCommands lives for the whole run of the program (not per
// document): it keeps the 250 targets already run with the ONCE option and
// the drawing-started-by-command flag, and hands targets to a TargetOpener.
// Without an opener nothing is ever started (batch tools, tests).
#pragma once

#include <array>
#include <string>

namespace kel {

// Opens a file, program or address. Failures are silent by contract.
class TargetOpener
{
public:
    virtual ~TargetOpener() = default;
    virtual void open(const std::string &target) = 0;
};

// The desktop's opener: an existing file, a folder or an address (a text with
// a scheme such as "https:" or "mailto:") goes to xdg-open; anything else is
// started as a command line (program and arguments, split as a shell would
// split them, without a shell). Neither waits for what it starts.
class ShellTargetOpener : public TargetOpener
{
public:
    void open(const std::string &target) override;
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
    void setOpener(TargetOpener *opener) { m_opener = opener; }

private:
    TargetOpener *m_opener;
    bool m_startedByCommand = false;
    std::array<std::string, kSlots> m_executed;
    int m_used = 0;
};

} // namespace kel
