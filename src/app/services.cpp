#include "app/services.h"

#include <filesystem>

namespace kel {

Status loadServices(Services &services, QueuePath queuePath)
{
    // The language file first, so that a temporary folder that cannot be
    // made is told in the user's language (message 295, the folder and why).
    services.folders.program = programFolder();
    services.folders.shipped = shippedFolders();
    const std::string language = services.folders.findShipped("KEL.LNG");
    if (!services.messages.load(language)) {
        // Which file was damaged, or every place a missing one was looked
        // for, so that an administrator sees at once what KEL_HOME or the
        // installation should provide.
        std::string text(Messages::kLoadFailureText);
        std::error_code ec;
        if (std::filesystem::exists(language, ec)) {
            text += " Read: " + language + ".";
        } else {
            std::string places;
            for (const std::string &folder : services.folders.shippedFolders())
                places += (places.empty() ? " " : ", ") + folder + "/KEL.LNG";
            text += " Looked for:" + places + ".";
        }
        return refusal(kNoMessage, text);
    }
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
    if (refusal.detail.starts_with(Messages::kLoadFailureText))
        return QString::fromLatin1(Messages::kLoadFailureTitle.data(),
                                   static_cast<qsizetype>(Messages::kLoadFailureTitle.size()));
    return QStringLiteral("Kel");
}

} // namespace kel
