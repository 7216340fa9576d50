#include "viewer/mail.h"

#include <QProcess>
#include <QStandardPaths>

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
