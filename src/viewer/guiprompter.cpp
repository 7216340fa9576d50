#include "viewer/guiprompter.h"

#include <QMessageBox>

namespace kel {

Answer GuiPrompter::show(const Prompt &prompt)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(prompt.title);
    box.setText(prompt.text);
    switch (prompt.icon) {
    case PromptIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case PromptIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case PromptIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case PromptIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (prompt.buttons == PromptButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(prompt.defaultAnswer == Answer::No ? QMessageBox::No
                                                                : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

} // namespace kel
