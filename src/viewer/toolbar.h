// The viewer's toolbar: 31 keyed buttons in a fixed order, separators
// included, as EnableDocumentCommands addresses them by index.
#pragma once

#include <QString>
#include <vector>

class QAction;
class QToolBar;
class QComboBox;

namespace kel {

class Messages;

struct ToolbarButton
{
    const char *key;
    bool separator;
    int tooltipMessage; // 0 for none
};

// The buttons in collection order; index i of the table is button i + 1.
const std::vector<ToolbarButton> &toolbarButtons();

class ViewerToolbar
{
public:
    // Adds the buttons to `bar`, the zoom box after "aleja".
    ViewerToolbar(QToolBar &bar, const Messages &messages);

    // Button `index` (1-based) or its key; null when there is none.
    QAction *button(int index) const;
    QAction *button(const char *key) const;
    QComboBox *zoomBox() const { return m_zoomBox; }
    QAction *zoomBoxAction() const { return m_zoomBoxAction; }

private:
    std::vector<QAction *> m_actions;
    QComboBox *m_zoomBox = nullptr;
    QAction *m_zoomBoxAction = nullptr;
};

} // namespace kel
