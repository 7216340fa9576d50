#include "console/headless.h"

#include "app/messages.h"
#include "console/consolemessages.h"

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

Answer HeadlessPrompter::show(const Prompt &prompt)
{
    std::fprintf(m_out, "%s\n", headlessLine(prompt.number, prompt.text).toLocal8Bit().constData());
    std::fflush(m_out);
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
    std::fprintf(m_out, "%s\n", headlessLine(number, text).toLocal8Bit().constData());
    std::fflush(m_out);
}

} // namespace kel
