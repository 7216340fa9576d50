#include "app/warnings.h"

#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"

namespace kel {

void Warnings::warn(int number, std::string_view text)
{
    if (!m_show)
        return;
    const QString body = fromCp1252(text) + QStringLiteral("\n\n") + m_messages.qtext(208);
    // Yes is the first button and the default: a console without a display
    // answers it once and is not flooded by the same warning on every line.
    const bool yes =
        m_prompter.askYesNo(number, body, m_messages.qtext(0), PromptIcon::Critical, true);
    if (yes)
        m_show = false;
}

void Warnings::warnPair(int first, std::string_view command, int second)
{
    std::string text = m_messages.text(first);
    text += ' ';
    text += upper(command);
    text += "\n\n";
    text += m_messages.text(second);
    warn(first, text);
}

} // namespace kel
