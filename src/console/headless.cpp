#include "console/headless.h"

#include "app/messages.h"
#include "app/text.h"
#include "console/consolemessages.h"

#include <QDateTime>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kel {

QString headlessLine(int number, const QString &text)
{
    QString flat = text;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    flat = flat.simplified();
    if (number < 0)
        return QStringLiteral("kel: ") + flat;
    return QStringLiteral("kel: %1: ").arg(number) + flat;
}

bool stderrIsJournal()
{
    // systemd sets JOURNAL_STREAM to the device and inode of the stream it
    // connected; a child whose stderr was redirected keeps the variable but
    // not the stream, so both are compared.
    const char *stream = std::getenv("JOURNAL_STREAM");
    if (!stream || !*stream)
        return false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2)
        return false;
    struct stat st
    {
    };
    return fstat(STDERR_FILENO, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

std::string headlessPrefix(LogPriority priority)
{
    static const bool journal = stderrIsJournal();
    if (journal)
        return "<" + std::to_string(static_cast<int>(priority)) + ">";
    return QDateTime::currentDateTime().toString(Qt::ISODate).toStdString() + " ";
}

void writeHeadlessLine(std::FILE *out, LogPriority priority, const QString &line)
{
    std::fprintf(out, "%s%s\n", headlessPrefix(priority).c_str(), line.toLocal8Bit().constData());
    std::fflush(out);
}

Answer HeadlessPrompter::show(const Prompt &prompt)
{
    const LogPriority priority = prompt.icon == PromptIcon::Critical      ? LogPriority::Error
                                 : prompt.icon == PromptIcon::Information ? LogPriority::Info
                                                                          : LogPriority::Warning;
    writeHeadlessLine(m_out, priority, headlessLine(prompt.number, prompt.text));
    return prompt.defaultAnswer;
}

void HeadlessLog::fileHandled(const HandledFile &file)
{
    const ProcessOutcome &o = file.outcome;
    const QString name = QString::fromLocal8Bit(file.name.c_str());
    int number = -1;
    QString text;
    switch (o.kind) {
    case ProcessOutcome::Kind::Printed:
        number = kMsgPrinted;
        text = m_messages.qtext(number) + QStringLiteral(" ") + name + QStringLiteral(" (") +
               QString::fromStdString(o.printer) + QStringLiteral(", %1 ").arg(o.pages) +
               m_messages.qtext(o.pages == 1 ? kMsgPage : kMsgPages) + QStringLiteral(")");
        if (!o.output.empty())
            text += QStringLiteral(": ") + QString::fromLocal8Bit(o.output.c_str());
        break;
    case ProcessOutcome::Kind::Viewed:
        number = kMsgViewed;
        text = m_messages.qtext(number) + QStringLiteral(" ") +
               QString::fromLocal8Bit(o.viewed.c_str());
        break;
    case ProcessOutcome::Kind::Forwarded:
        number = kMsgForwarded;
        text = m_messages.qtext(number) + QStringLiteral(" ") + name;
        break;
    default:
        return;
    }
    writeHeadlessLine(m_out, LogPriority::Info, headlessLine(number, text));
}

namespace {

// The type key of a queue file by its extension, released or held.
std::string typeOf(const std::string &name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string ext = name.substr(dot + 1);
    for (char &c : ext)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char *key : {"KEL", "KEZ", "TXT", "LST", "PRN"}) {
        if (ext == key || (ext.size() == 2 && std::string(key).starts_with(ext)))
            return key;
    }
    return {};
}

int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

JobRecorder::JobRecorder(const JobLog &log, const Messages &messages)
    : m_log(log), m_messages(messages)
{
}

void JobRecorder::status(int number, const std::string &detail)
{
    // 93 is said as a file is taken: the start of its job.
    if (number != 93)
        return;
    m_current = detail;
    m_startedMs = steadyMs();
    struct stat st
    {
    };
    m_size = ::stat((m_folder + "/" + detail).c_str(), &st) == 0 ? std::to_string(st.st_size) : "";
}

void JobRecorder::fileHandled(const HandledFile &file)
{
    if (!m_log.enabled())
        return;
    const ProcessOutcome &o = file.outcome;
    JobLogEntry e;
    e.event = "file";
    e.file = file.name;
    e.type = typeOf(file.name);
    if (file.name == m_current) {
        e.size = m_size;
        e.duration = std::to_string(steadyMs() - m_startedMs);
    }
    using Kind = ProcessOutcome::Kind;
    switch (o.kind) {
    case Kind::Printed:
        e.outcome = "printed";
        e.message = std::to_string(kMsgPrinted);
        e.pages = std::to_string(o.pages);
        e.printer = o.printer;
        e.job = o.output;
        break;
    case Kind::Viewed:
        e.outcome = "viewed";
        e.message = std::to_string(kMsgViewed);
        e.job = o.viewed;
        break;
    case Kind::Forwarded:
        e.outcome = "forwarded";
        e.message = std::to_string(kMsgForwarded);
        break;
    case Kind::Left: {
        e.outcome = "failed";
        e.message = std::to_string(o.reason.message >= 0 ? o.reason.message : kMsgFileLeft);
        std::string why = o.reason.message >= 0 ? m_messages.text(o.reason.message) : "";
        if (!o.reason.detail.empty())
            why += why.empty() ? o.reason.detail : " (" + o.reason.detail + ")";
        e.detail = fromCp1252(why).toStdString();
        break;
    }
    case Kind::Gone:
        return;
    }
    m_current.clear();
    m_log.append(e);
}

void JobRecorder::started(const std::string &queueFolder) const
{
    JobLogEntry e;
    e.event = "start";
    e.outcome = "started";
    e.message = "112";
    e.detail = "queue " + queueFolder + ", process " + std::to_string(getpid());
    m_log.append(e);
}

void JobRecorder::stopped(int exitStatus) const
{
    JobLogEntry e;
    e.event = "stop";
    e.outcome = "stopped";
    e.detail = "exit status " + std::to_string(exitStatus);
    m_log.append(e);
}

} // namespace kel
