#include "render/externalcommands.h"

#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryFile>

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

void ExternalCommands::newDocument()
{
    if (m_opener)
        m_opener->newDocument();
}

QString ProgramCall::commandLine() const
{
    // Single quotes keep every character but the quote itself as it is.
    const auto quoted = [](const QString &word) {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
        if (plain.match(word).hasMatch())
            return word;
        QString q = word;
        q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        return QLatin1Char('\'') + q + QLatin1Char('\'');
    };
    QStringList words{quoted(program)};
    for (const QString &a : arguments)
        words << quoted(a);
    return words.join(QLatin1Char(' '));
}

namespace {

const QString kOpener = QStringLiteral("xdg-open");

// The types the desktop runs, or hands to something that runs them, when
// a file of theirs is opened.
bool isProgramFile(const QFileInfo &file)
{
    if (file.isDir())
        return false;
    if (file.isExecutable())
        return true;
    static const char *const launchers[] = {
        "application/x-desktop",
        "application/x-executable",
        "application/x-pie-executable",
        "application/x-sharedlib",
        "application/x-shellscript",
        "application/x-ms-dos-executable",
        "application/x-msdownload",
        "application/vnd.microsoft.portable-executable",
        "application/x-msi",
        "application/x-java-archive",
        "application/java-archive",
        "application/vnd.appimage",
        "application/x-ms-shortcut",
        "application/x-desktop-entry",
    };
    const QMimeDatabase db;
    // Both the name's type and the content's: a desktop entry renamed to
    // "invoice" is still one.
    const QMimeType byName = db.mimeTypeForFile(file, QMimeDatabase::MatchExtension);
    const QMimeType byContent = db.mimeTypeForFile(file, QMimeDatabase::MatchContent);
    for (const char *type : launchers) {
        const QString name = QString::fromLatin1(type);
        if (byName.inherits(name) || byContent.inherits(name))
            return true;
    }
    return file.suffix().compare(QStringLiteral("desktop"), Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<TargetPlan> planTarget(const std::string &target)
{
    const QString text = fromCp1252(trimmed(target));
    if (text.isEmpty())
        return std::nullopt;
    static const QRegularExpression address(QStringLiteral("^(https?://|mailto:)"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (address.match(text).hasMatch())
        return TargetPlan{TargetKind::Address, {kOpener, {text}}};
    const QFileInfo file(text);
    if (file.exists()) {
        // Links are followed: what is opened is the file they lead to.
        const QFileInfo real(file.canonicalFilePath().isEmpty() ? file.absoluteFilePath()
                                                                : file.canonicalFilePath());
        const QString path = file.absoluteFilePath();
        if (!isProgramFile(file) && !isProgramFile(real))
            return TargetPlan{TargetKind::Document, {kOpener, {path}}};
        if (real.isExecutable() && !real.isDir() && file.suffix() != QLatin1String("desktop"))
            return TargetPlan{TargetKind::Program, {path, {}}};
        return TargetPlan{TargetKind::Program, {kOpener, {path}}};
    }
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(text).hasMatch())
        return TargetPlan{TargetKind::Program, {kOpener, {text}}};
    QStringList words = QProcess::splitCommand(text);
    if (words.isEmpty())
        return std::nullopt;
    const QString program = words.takeFirst();
    return TargetPlan{TargetKind::Program, {program, words}};
}

ProgramStarter::Outcome ProcessStarter::start(const ProgramCall &call)
{
    // What the program says on stderr goes to a file, not a pipe: a program
    // that outlives the viewer must not lose its stderr with it.
    QTemporaryFile errors;
    if (!errors.open())
        return {false, errors.errorString()};
    auto *process = new QProcess;
    process->setProgram(call.program);
    process->setArguments(call.arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(errors.fileName());
    process->start();
    if (!process->waitForStarted(5000)) {
        const QString reason = process->errorString();
        delete process;
        return {false, reason};
    }
    if (!process->waitForFinished(m_settleMs)) {
        // Still running: the program the user wanted. Deleting the QProcess
        // would kill it, so it deletes itself once the program has ended.
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return {};
    }
    const bool ok = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    const int code = process->exitCode();
    delete process;
    if (ok)
        return {};
    QFile said(errors.fileName());
    QString reason;
    if (said.open(QIODevice::ReadOnly))
        reason = QString::fromLocal8Bit(said.read(2000)).trimmed();
    if (reason.isEmpty())
        reason = QStringLiteral("%1 ended with exit code %2").arg(call.program).arg(code);
    return {false, reason};
}

void ShellTargetOpener::open(const std::string &target)
{
    if (const std::optional<TargetPlan> plan = planTarget(target))
        m_starter.start(plan->call); // a failure is ignored
}

ExecPolicy execPolicyFrom(std::string_view setting)
{
    const std::string value = upper(trimmed(setting));
    if (value == "Y")
        return ExecPolicy::Always;
    if (value == "N")
        return ExecPolicy::Never;
    return ExecPolicy::Ask;
}

void AskingTargetOpener::newDocument()
{
    m_answers.clear();
    m_said.clear();
}

void AskingTargetOpener::sayOnce(const std::string &target, int message, const QString &detail)
{
    if (!m_said.insert(target).second)
        return;
    m_prompter.error(message, m_messages.qtext(message) + QStringLiteral("\n\n") + detail,
                     m_messages.qtext(0));
}

bool AskingTargetOpener::mayRun(const std::string &target, const ProgramCall &call)
{
    switch (m_policy) {
    case ExecPolicy::Always:
        return true;
    case ExecPolicy::Never:
        sayOnce(target, 391, call.commandLine());
        return false;
    case ExecPolicy::Ask:
        break;
    }
    if (const auto known = m_answers.find(target); known != m_answers.end())
        return known->second;
    const bool yes = m_prompter.askYesNo(
        390, m_messages.qtext(390) + QStringLiteral("\n\n") + call.commandLine(),
        m_messages.qtext(0), PromptIcon::Exclamation, false);
    m_answers.emplace(target, yes);
    return yes;
}

void AskingTargetOpener::open(const std::string &target)
{
    const std::optional<TargetPlan> plan = planTarget(target);
    if (!plan)
        return;
    if (plan->kind == TargetKind::Program && !mayRun(target, plan->call))
        return;
    const ProgramStarter::Outcome outcome = m_starter.start(plan->call);
    if (!outcome.started)
        sayOnce(target, 392, plan->call.commandLine() + QStringLiteral("\n") + outcome.reason);
}

} // namespace kel
