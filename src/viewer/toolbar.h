// The viewer's toolbar, built from one table of buttons.
//
// Each row says everything about a button: its key (the name the dispatch
// and the option letters use), its tooltip message, the command it runs,
// what it needs to be enabled once a document is shown, the option letters
// that hide it and whether it shows at all. The window loops over the table
// to build, dispatch, enable and hide, so a new button is one new row and no
// other button moves.
#pragma once

#include <QString>
#include <vector>

class QAction;
class QComboBox;
class QIcon;
class QToolBar;

namespace kel {

class Messages;
class ViewerWindow;
struct ViewerOptions;

enum class ButtonKind {
    Command,   // runs its command when clicked
    Inert,     // a key of the set with no command (recording and sound keys)
    Separator, // a gap between groups; carries a key but no command
    ZoomBox,   // the zoom box CSize
};

// What a button needs to be enabled; Nothing leaves it enabled always.
enum class ButtonNeeds {
    Nothing,
    Document,      // an open document
    SeveralPages,  // an open document whose last page is above 1 or not yet known
    PrintAllowed,  // the report's PRINT_ALLOWED is "Y"
    SendAllowed,   // SEND_ALLOWED is "Y"
    SaveAllowed,   // SAVE_ALLOWED is "Y"
    ExportAllowed, // EXPORT_ALLOWED is "Y"
};

// Whether a button is on the toolbar at all (before any option letter).
enum class ButtonShown { Always, InDesignMode, Never };

struct ToolbarButton
{
    const char *key;
    ButtonKind kind;
    int tooltipMessage;          // message number; 0 for none
    void (ViewerWindow::*run)(); // the command; null unless kind is Command
    ButtonNeeds needs;           // to be enabled
    const char *hiddenBy;        // option letters that hide it, all needed ("OSX")
    ButtonShown shown = ButtonShown::Always;
};

// True when each of `letters` is set among the viewer's option letters.
bool optionLettersSet(const ViewerOptions &options, const char *letters);

// The icon of a button: our own set, the desktop theme's icon only where
// the theme names one for that purpose.
QIcon buttonIcon(const char *key);

// What the zoom box shows for a zoom factor: "120 %" for 1.2.
QString zoomText(double zoom);

class ViewerToolbar
{
public:
    // Adds the buttons of `table` to `bar` in table order; the table must
    // outlive the toolbar.
    ViewerToolbar(QToolBar &bar, const Messages &messages, const std::vector<ToolbarButton> &table);

    // The action of the button with `key`; null when there is none.
    QAction *button(const char *key) const;
    QComboBox *zoomBox() const { return m_zoomBox; }

    // Adds a shortcut's text to a button's tooltip ("Find (Ctrl+F)"), unless
    // the tooltip names one already.
    void showShortcut(const char *key, const QString &shortcut);

private:
    std::vector<QAction *> m_actions; // one per table row
    const std::vector<ToolbarButton> &m_table;
    QComboBox *m_zoomBox = nullptr;
};

} // namespace kel
