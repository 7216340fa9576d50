// The thin glue between the console engine and Qt's event loop: the main
// tick every five seconds, a watch on the queue folder that looks again
// shortly after anything changes there, and a look at the moment a file
// still being written may have settled. All the decisions are the
// engine's; this only decides when to call it.
#pragma once

#include "console/consoleengine.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

namespace kel {

class ConsoleLoop : public QObject, private ConsoleObserver
{
    Q_OBJECT
public:
    // `tickMs` is the main tick (5000 in the program); `onShutdown` is
    // called once when a command file says SHUTDOWN.
    ConsoleLoop(ConsoleEngine &engine, int tickMs, std::function<void()> onShutdown,
                QObject *parent = nullptr);

    // Starts the timers and the watch; the first tick comes at once.
    void start();
    // A tick soon, coalescing bursts of changes into one look.
    void lookSoon();
    // Runs a tick now (the timers call this).
    void runTick();

    ~ConsoleLoop() override;

private:
    // Between two files of a long pass the loop takes its events, so the
    // windows repaint and a stop signal is heard.
    void betweenFiles() override;
    void follow(); // watch the engine's folder and make it the current one

    ConsoleEngine &m_engine;
    std::function<void()> m_onShutdown;
    QTimer m_main;
    QTimer m_soon;
    QFileSystemWatcher m_watcher;
    std::string m_watched;
    bool m_ended = false;
};

} // namespace kel
