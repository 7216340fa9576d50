#include "app/prompter.h"

#include <cstdio>

namespace kel {

void Prompter::error(int number, const QString &text, const QString &title)
{
    show({number, text, title, PromptIcon::Critical, PromptButtons::Ok, Answer::Ok});
}

void Prompter::notice(int number, const QString &text, const QString &title)
{
    show({number, text, title, PromptIcon::Information, PromptButtons::Ok, Answer::Ok});
}

bool Prompter::askYesNo(int number, const QString &text, const QString &title, PromptIcon icon,
                        bool defaultYes)
{
    return show({number, text, title, icon, PromptButtons::YesNo,
                 defaultYes ? Answer::Yes : Answer::No}) == Answer::Yes;
}

Answer StderrPrompter::show(const Prompt &prompt)
{
    QString text = prompt.text;
    text.replace(QLatin1Char('\r'), QString()).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QString line = m_program + QStringLiteral(": ");
    if (!prompt.title.isEmpty())
        line += prompt.title + QStringLiteral(": ");
    line += text.simplified();
    if (prompt.number >= 0)
        line += QStringLiteral(" [%1]").arg(prompt.number);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    return prompt.defaultAnswer;
}

Answer ScriptedPrompter::show(const Prompt &prompt)
{
    m_prompts.push_back(prompt);
    if (prompt.buttons == PromptButtons::Ok)
        return Answer::Ok;
    if (m_answers.empty())
        return prompt.defaultAnswer;
    const Answer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

std::vector<int> ScriptedPrompter::numbers() const
{
    std::vector<int> out;
    for (const Prompt &p : m_prompts)
        out.push_back(p.number);
    return out;
}

} // namespace kel
