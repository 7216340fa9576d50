#include "console/consolestartup.h"

#include "app/messages.h"
#include "app/settings.h"
#include "app/text.h"
#include "console/consolemessages.h"

#include <QtGlobal>

namespace kel {

Status applyQueueSwitch(SettingsRecord &settings, const ConsoleSwitches &switches)
{
    if (switches.queuePathEndsInBackslash)
        return refusal(108, switches.queuePath);
    if (!switches.queuePath.empty())
        settings.queuePath = switches.queuePath;
    if (trimmed(settings.queuePath).empty())
        return refusal(kMsgQueueUnreadable, "no QUEUE_PATH in KEL.INI and no -P switch");
    return {};
}

std::string startupConnection(const SettingsRecord &settings, const ConsoleSwitches &switches,
                              int &checkEverySeconds)
{
    const int every = leadingInt(settings.checkEvery);
    checkEverySeconds = every > 0 ? every : 20;
    if (!switches.connectionFile.empty())
        return switches.connectionFile;
    std::string name = trimmedCopy(settings.cnxFile);
    if (every <= 0 || name.empty())
        return {};
    if (name.find('.') == std::string::npos)
        name += ".cnx";
    return name;
}

QStringList startupStatusLines(const Messages &messages, const ConsoleSwitches &switches,
                               const std::string &queueFolder, const std::string &connection)
{
    const QString blank = QStringLiteral(" ");
    QStringList lines;
    lines << QStringLiteral("Kel Printing System 2.2. ") + messages.qtext(112);
    lines << messages.qtext(switches.visible ? 110 : 111);
    lines << messages.qtext(113) + blank + QString::fromLocal8Bit(queueFolder.c_str());
    if (!connection.empty())
        lines << messages.qtext(114) + blank + QString::fromLocal8Bit(connection.c_str());
    if (switches.design)
        lines << messages.qtext(115);
    if (switches.install)
        lines << messages.qtext(116);
    return lines;
}

bool displayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal"))
        return false;
    if (platform.startsWith("wayland"))
        return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty() || platform.startsWith("xcb"))
        return !qEnvironmentVariableIsEmpty("DISPLAY") ||
               (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
    return true;
}

} // namespace kel
