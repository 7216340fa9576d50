// The prompter of the console's windows. The console runs unattended even
// with a window, so the boxes raised by its work (a file left in the
// queue, a markup warning) never wait: each is shown without blocking and
// takes its default answer at once. Only a few stay open at a time; the
// rest go to stderr, as the headless console says them.
#pragma once

#include "app/prompter.h"

#include <QPointer>
#include <vector>

class QMessageBox;
class QWidget;

namespace kel {

class ConsolePrompter : public Prompter
{
public:
    static constexpr int kMaxOpenBoxes = 3;

    explicit ConsolePrompter(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    Answer show(const Prompt &prompt) override;

private:
    QWidget *m_parent;
    std::vector<QPointer<QMessageBox>> m_boxes;
};

} // namespace kel
