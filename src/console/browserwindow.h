// The configuration and queue window, browser: on one tab the held and
// released lists of the queue folder with hold, release, delete, view and
// refresh; on the other the console's settings (the file types it takes,
// the queue folder, the editor, the Escape key, the connection file and its
// check interval). Settings change in memory at once and reach KEL.INI
// only through "Save configuration".
#pragma once

#include "console/consolewindow.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace kel {

class Warnings;

// The configuration window as the viewer's "config" button shows it:
// modally, over an engine of its own on the queue folder of KEL.INI. That
// engine never ticks and is never activated, so nothing in the queue is
// printed, obeyed or removed but by the window's own buttons. Settings
// changed there take effect in `settings` at once and reach KEL.INI only
// through its Save.
void showConfigurationForViewer(const Folders &folders, const Messages &messages,
                                SettingsRecord &settings, Prompter &prompter, Warnings &warnings,
                                QWidget *parent);

class BrowserWindow : public QDialog, private ConsoleObserver
{
    Q_OBJECT
public:
    // Reads KEL.INI again (the queue folder stays the console's own).
    explicit BrowserWindow(const ConsoleWindowContext &context, QWidget *parent = nullptr);
    ~BrowserWindow() override;

    // The lists from a fresh look at the folder, keeping the selection.
    void refreshLists() { m_context.engine.refresh(); }
    // The file the viewer is started on for a queued file: a report as it
    // is (a copy when it would delete itself on opening), template data
    // merged and a listing converted into a report of their own ("$$$.$$$"
    // in the queue folder for a held file, "$$$.KEL" in the temporary
    // folder for a released one). The queued file itself is never changed.
    // "" when it cannot be prepared (said through the prompter).
    std::string prepareView(const std::string &name, bool held);
    // Views the selected file of the held or released list.
    void viewSelected(bool held);
    // The check interval as typed: "" or 5 to 60 seconds is taken;
    // anything else is refused with message 43 and false.
    bool takeCheckInterval();
    // The connection file name as typed: ".cnx" added to a name without
    // "."; a name other than the one last applied stops the remote checks
    // until it is applied (message 37).
    void takeConnectionFile();
    // Writes KEL.INI and says so (224).
    void save();

    QListWidget *heldList() const { return m_held; }
    QListWidget *releasedList() const { return m_released; }

private:
    // Every look of the engine (the tick's, the buttons') fills the lists.
    void countsChanged(int held, int released) override;
    void fillLists(const QueueListing &listing);

    void build();
    QWidget *buildQueuesTab();
    QWidget *buildSettingsTab();
    void loadControls();
    void typeSwitched();
    void chooseQueueFolder();
    void chooseEditor();
    void chooseConnectionFile();
    void testConnection();
    void applyConnection();
    void renameSelected(bool toHeld);
    void deleteSelected(bool held);
    std::vector<std::string> selected(const QListWidget *list) const;

    ConsoleWindowContext m_context;
    QTabWidget *m_tabs = nullptr;
    QListWidget *m_held = nullptr;
    QListWidget *m_released = nullptr;
    QPushButton *m_viewHeld = nullptr;
    QPushButton *m_viewReleased = nullptr;
    QCheckBox *m_kel = nullptr;
    QCheckBox *m_kez = nullptr;
    QCheckBox *m_txt = nullptr;
    QLineEdit *m_queuePath = nullptr;
    QLineEdit *m_editor = nullptr;
    QCheckBox *m_escExits = nullptr;
    QLineEdit *m_cnxFile = nullptr;
    QLineEdit *m_checkEvery = nullptr;
    QPushButton *m_apply = nullptr;
    std::string m_lastApplied; // the connection file last applied
    bool m_tested = false;
    bool m_checking = false;
};

} // namespace kel
