#include "render/diagnostics.h"

#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "app/warnings.h"

namespace kel {

void PromptingDiagnostics::report(const Diagnostic &diagnostic)
{
    if (diagnostic.kind == DiagnosticKind::MarkupWarning) {
        m_warnings.warn(diagnostic.number, diagnostic.text);
        return;
    }
    Prompt prompt;
    prompt.number = diagnostic.number;
    prompt.text = fromCp1252(diagnostic.text);
    prompt.title = m_warnings.messages().qtext(0);
    prompt.icon = PromptIcon::Exclamation;
    m_warnings.prompter().show(prompt);
}

void CollectingDiagnostics::report(const Diagnostic &diagnostic)
{
    if (diagnostic.kind == DiagnosticKind::MarkupWarning && m_warnings && !m_warnings->enabled())
        return;
    if (m_pending.size() < kMaxKept)
        m_pending.push_back(diagnostic);
}

void CollectingDiagnostics::deliverTo(Diagnostics &sink)
{
    // Taken out first: showing a box may pump events that draw again.
    std::deque<Diagnostic> pending;
    pending.swap(m_pending);
    for (const Diagnostic &d : pending)
        sink.report(d);
}

std::string oneLine(const Diagnostic &diagnostic)
{
    std::string line;
    bool blank = false;
    for (char c : diagnostic.text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
            blank = !line.empty();
            continue;
        }
        if (blank)
            line += ' ';
        blank = false;
        line += c;
    }
    return line + " [" + std::to_string(diagnostic.number) + "]";
}

} // namespace kel
