// Every message box of the system goes through a Prompter.
//
// The windows show a real message box; the headless print server writes one
// line to stderr and takes the default answer; tests script the answers and
// check which message numbers were raised. Loaders and the engine never decide
// how a message is shown.
#pragma once

#include <QString>
#include <deque>
#include <vector>

namespace kel {

enum class PromptIcon { Critical, Exclamation, Information, Question };
enum class PromptButtons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

struct Prompt
{
    int number = -1; // the main message number, -1 for fixed texts
    QString text;
    QString title;
    PromptIcon icon = PromptIcon::Critical;
    PromptButtons buttons = PromptButtons::Ok;
    Answer defaultAnswer = Answer::Ok;
};

class Prompter
{
public:
    virtual ~Prompter() = default;
    virtual Answer show(const Prompt &prompt) = 0;

    void error(int number, const QString &text, const QString &title);
    void notice(int number, const QString &text, const QString &title);
    bool askYesNo(int number, const QString &text, const QString &title, PromptIcon icon,
                  bool defaultYes);
};

// One line on stderr per prompt; returns the default answer at once.
class StderrPrompter : public Prompter
{
public:
    // Lines begin with the program's name and a colon.
    explicit StderrPrompter(QString program = QStringLiteral("kel")) : m_program(std::move(program))
    {
    }
    Answer show(const Prompt &prompt) override;

private:
    QString m_program;
};

// Records every prompt and answers from a queue (the default answer when the
// queue is empty). For tests and for batch tools that must never wait.
class ScriptedPrompter : public Prompter
{
public:
    Answer show(const Prompt &prompt) override;
    void queueAnswer(Answer a) { m_answers.push_back(a); }
    std::vector<int> numbers() const;
    const std::vector<Prompt> &prompts() const { return m_prompts; }
    void clear() { m_prompts.clear(); }

private:
    std::deque<Answer> m_answers;
    std::vector<Prompt> m_prompts;
};

} // namespace kel
