// The prompter of the windows: a real message box per prompt.
#pragma once

#include "app/prompter.h"

class QWidget;

namespace kel {

class GuiPrompter : public Prompter
{
public:
    explicit GuiPrompter(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    Answer show(const Prompt &prompt) override;

private:
    QWidget *m_parent;
};

} // namespace kel
