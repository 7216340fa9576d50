#include "viewer/mail.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <sys/stat.h>

namespace kel {

MailOutcome composeMail(const QString &subject, const QString &body, const QString &attachment)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty())
        return MailOutcome::NoMailProgram;
    QProcess process;
    process.start(program, {QStringLiteral("--subject"), subject, QStringLiteral("--body"), body,
                            QStringLiteral("--attach"), attachment});
    if (!process.waitForStarted(10000))
        return MailOutcome::NoMailProgram;
    // The helper returns once the mail program has the message; a mail
    // program that keeps it running is left alone after two minutes.
    if (!process.waitForFinished(120000))
        return MailOutcome::Composed;
    // Exit code 3 is xdg-email's word for "no mail program to hand it to".
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 3)
        return MailOutcome::NoMailProgram;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return MailOutcome::Failed;
    return MailOutcome::Composed;
}

} // namespace kel

namespace kel {

std::string outboxFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        return {};
    const std::string folder = (cache + QStringLiteral("/kel/outbox")).toStdString();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    // Attachments are the user's own reports: nobody else reads them.
    if (ec || ::chmod(folder.c_str(), 0700) != 0)
        return {};
    return folder;
}

void removeOldAttachments(const std::string &folder, std::chrono::seconds age)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto limit = fs::file_time_type::clock::now() - age;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, ec)) {
        std::error_code e;
        if (entry.is_symlink(e) || !entry.is_regular_file(e))
            continue;
        if (entry.last_write_time(e) < limit && !e)
            fs::remove(entry.path(), e);
    }
}

} // namespace kel
