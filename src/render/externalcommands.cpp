#include "render/externalcommands.h"

#include "app/text.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace kel {

bool ExternalCommands::wasExecuted(const std::string &target) const
{
    // An empty target equals any slot still empty.
    if (target.empty())
        return m_used < kSlots;
    for (int i = 0; i < m_used; ++i) {
        if (m_executed[static_cast<size_t>(i)] == target)
            return true;
    }
    return false;
}

void ExternalCommands::remember(const std::string &target)
{
    // Stored into an empty slot, an empty target leaves it empty.
    if (!target.empty() && m_used < kSlots)
        m_executed[static_cast<size_t>(m_used++)] = target;
}

void ExternalCommands::clearExecuted()
{
    for (int i = 0; i < m_used; ++i)
        m_executed[static_cast<size_t>(i)].clear();
    m_used = 0;
}

void ExternalCommands::open(const std::string &target)
{
    if (m_opener)
        m_opener->open(target);
}

void ShellTargetOpener::open(const std::string &target)
{
    const QString text = fromCp1252(trimmed(target));
    if (text.isEmpty())
        return;
    // What the desktop can open by itself: an address with a scheme, or a
    // file or folder that exists. Anything else is taken as a command line.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(text).hasMatch() || QFileInfo::exists(text)) {
        if (QProcess::startDetached(QStringLiteral("xdg-open"), {text}))
            return;
    }
    QStringList words = QProcess::splitCommand(text);
    if (words.isEmpty())
        return;
    const QString program = words.takeFirst();
    QProcess::startDetached(program, words); // a failure is ignored
}

} // namespace kel
