#include "viewer/guiprompter.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace kel {

Answer GuiPrompter::show(const Prompt &prompt)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(prompt.title);
    box.setText(prompt.text);
    // A box is as wide as its text, and the window manager cuts a longer
    // title: leave room for the whole title and the frame's buttons.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        QFont title = box.font();
        title.setBold(true);
        const int width = QFontMetrics(title).horizontalAdvance(prompt.title) * 5 / 4 + 120;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
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
