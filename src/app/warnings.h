// The markup warning routine: a Yes/No box that the user can switch off
// until the next document is opened.
#pragma once

#include <string_view>

namespace kel {

class Messages;
class Prompter;

class Warnings
{
public:
    Warnings(Prompter &prompter, const Messages &messages)
        : m_prompter(prompter), m_messages(messages)
    {
    }

    // Switches warnings on again; every opening of a document does this.
    void reset() { m_show = true; }
    bool enabled() const { return m_show; }
    void setEnabled(bool on) { m_show = on; }

    // Shows `text` (bytes), two line breaks and message 208 while warnings
    // are on; a Yes answer switches them off. `number` is the main message.
    void warn(int number, std::string_view text);
    // The usual pair: message `first`, the command, two line breaks, `second`.
    void warnPair(int first, std::string_view command, int second);

    Prompter &prompter() { return m_prompter; }
    const Messages &messages() const { return m_messages; }

private:
    Prompter &m_prompter;
    const Messages &m_messages;
    bool m_show = true;
};

} // namespace kel
