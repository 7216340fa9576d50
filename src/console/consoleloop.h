// The thin glue between the console engine and Qt's event loop: the main
// tick every five seconds, the kernel's watch on the queue folder, and a
// look at the moment a file may have become complete. While a pass has
// files left, its next step is taken as soon as the event loop has run
// what waited meanwhile (a repaint, a click, a stop signal), so one step
// never runs inside another. All the decisions are the engine's; this only
// decides when to call it.
#pragma once

#include "console/consoleengine.h"
#include "console/folderwatch.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

namespace kel {

class ConsoleLoop : public QObject
{
    Q_OBJECT
public:
    // `tickMs` is the main tick (5000 in the program); `onShutdown` is
    // called once when a command file says SHUTDOWN. `watch` is a watch
    // begun before the engine's first look (ConsoleSession::watch()); the
    // loop makes its own when there is none.
    ConsoleLoop(ConsoleEngine &engine, int tickMs, std::function<void()> onShutdown,
                FolderWatch *watch = nullptr, QObject *parent = nullptr);

    // Starts the timers and the watch; the first tick comes at once.
    void start();
    // A tick soon, coalescing bursts of changes into one look.
    void lookSoon();
    // Runs one step now (the timers call this).
    void runTick();

    ~ConsoleLoop() override;

private:
    void follow(); // watch the engine's folder

    ConsoleEngine &m_engine;
    std::function<void()> m_onShutdown;
    QTimer m_main;
    QTimer m_soon;
    std::unique_ptr<FolderWatch> m_ownWatch;
    FolderWatch &m_watch;
    std::string m_watched;
    bool m_ended = false;
};

} // namespace kel
