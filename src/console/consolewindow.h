// The print server console's window, pconsole: the queue lamp, the held
// and released counts with their Empty buttons, the queue button, the
// configuration, viewer, about, hide and exit buttons, a status bar, and
// the tray icon.
//
// The window is never made invisible without a tray icon to bring it back:
// where the desktop has no tray, or "-I" asks for none, hiding it minimises
// it instead, so the console stays reachable.
#pragma once

#include "app/commandline.h"
#include "console/consoleengine.h"
#include "console/transferhooks.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>

class QLabel;
class QPushButton;
class QSystemTrayIcon;

namespace kel {

struct Folders;
class Messages;
class Printers;
class Prompter;
class BrowserWindow;

// What the window works with; all of it outlives the window.
struct ConsoleWindowContext
{
    ConsoleEngine &engine;
    const Messages &messages;
    SettingsRecord &settings;
    const Folders &folders;
    const Printers &printers;
    TransferHooks &transfer;
    ConnectionTools tools;
    Prompter &prompter; // boxes that answer a click of the user (modal)
    ConsoleSwitches switches;
    std::function<void(const std::string &path)> startViewer; // "" starts it without a file
    // The configuration window was opened by the viewer: there is no
    // console in this program to apply a connection file to.
    bool openedByViewer = false;
};

// The queue lamp: a round light, light green while the queue is open,
// light red while it is closed.
class QueueLamp : public QWidget
{
    Q_OBJECT
public:
    static const QColor kOpen;
    static const QColor kClosed;

    explicit QueueLamp(QWidget *parent = nullptr);
    void setOpen(bool open);
    QColor color() const { return m_color; }
    QSize sizeHint() const override { return {28, 28}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};

class ConsoleWindow : public QMainWindow, private ConsoleObserver
{
    Q_OBJECT
public:
    explicit ConsoleWindow(const ConsoleWindowContext &context, QWidget *parent = nullptr);
    ~ConsoleWindow() override;

    // Activation: the tray icon unless "-I", then shown with "-V" or
    // hidden (minimised where there is no tray icon).
    void activate();

    // Command1: the queue open becomes closed and back.
    void toggleQueue();
    // Command7 and MINIMIZE_ME; the tray icon and RESTORE_ME show it again.
    void hideToTray();
    void restoreFromTray();
    // Command9: closes the queue (saying so) and opens the configuration.
    void openConfiguration();
    // Command6: asks, and on Yes ends the console.
    bool askToExit();

    QueueLamp *lamp() const { return m_lamp; }
    QPushButton *queueButton() const { return m_queueButton; }
    BrowserWindow *browser() const; // the configuration window, when open
    bool hasTrayIcon() const { return m_tray != nullptr; }
    QString statusText() const;
    // A status text of the network transfer (connecting, sending, fetching).
    void showTransferStatus(const QString &text) { showStatus(text); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // ConsoleObserver
    void queueStateChanged(bool open) override;
    void countsChanged(int held, int released) override;
    void status(int number, const std::string &detail) override;
    void fileHandled(const HandledFile &file) override;
    void windowRequested(bool shown) override;
    void shutdownRequested() override;

    void build();
    void updateTrayIcon();
    void showStatus(const QString &text);

    ConsoleWindowContext m_context;
    QueueLamp *m_lamp = nullptr;
    QPushButton *m_queueButton = nullptr;
    QLabel *m_held = nullptr;
    QLabel *m_released = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_folder = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QPointer<BrowserWindow> m_browser;
    bool m_exiting = false;
};

} // namespace kel
