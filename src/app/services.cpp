#include "app/services.h"

namespace kel {

Status loadServices(Services &services, QueuePath queuePath)
{
    // The language file first, so that a temporary folder that cannot be
    // made is told in the user's language (message 295, the folder and why).
    services.folders.program = programFolder();
    if (!services.messages.load(services.folders.inProgram("KEL.LNG")))
        return refusal(kNoMessage, std::string(Messages::kLoadFailureText));
    std::string error;
    if (!setUpFolders(services.folders, error))
        return refusal(295, error);
    loadSettings(services.folders.inProgram("KEL.INI"), services.settings,
                 queuePath == QueuePath::Read);
    applyStartupDefaults(services.settings);
    return {};
}

QString startupFailureTitle(const Refusal &refusal)
{
    if (refusal.detail == Messages::kLoadFailureText)
        return QString::fromLatin1(Messages::kLoadFailureTitle.data(),
                                   static_cast<qsizetype>(Messages::kLoadFailureTitle.size()));
    return QStringLiteral("Kel");
}

} // namespace kel
