#include "console/consoleprompter.h"

#include "console/headless.h"

#include <QMessageBox>
#include <algorithm>

namespace kel {
namespace {

QMessageBox::Icon iconOf(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Critical:
        return QMessageBox::Critical;
    case PromptIcon::Exclamation:
        return QMessageBox::Warning;
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

Answer ConsolePrompter::show(const Prompt &prompt)
{
    std::erase_if(m_boxes, [](const auto &b) { return b.isNull(); });
    // Every prompt is on stderr too: a console left alone keeps a record.
    std::fprintf(stderr, "%s\n",
                 headlessLine(prompt.number, prompt.text).toLocal8Bit().constData());
    if (static_cast<int>(m_boxes.size()) >= kMaxOpenBoxes)
        return prompt.defaultAnswer;
    auto *box =
        new QMessageBox(iconOf(prompt.icon), prompt.title, prompt.text, QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
    m_boxes.emplace_back(box);
    return prompt.defaultAnswer;
}

} // namespace kel
