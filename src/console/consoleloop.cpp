#include "console/consoleloop.h"

#include <QCoreApplication>
#include <unistd.h>

namespace kel {
namespace {

// How soon after a change of the folder it is looked at: a burst of
// changes (a thousand files copied at once) becomes one look.
constexpr int kAfterChangeMs = 100;

} // namespace

ConsoleLoop::ConsoleLoop(ConsoleEngine &engine, int tickMs, std::function<void()> onShutdown,
                         QObject *parent)
    : QObject(parent), m_engine(engine), m_onShutdown(std::move(onShutdown))
{
    m_main.setInterval(tickMs);
    m_main.setSingleShot(true);
    m_soon.setSingleShot(true);
    m_soon.setTimerType(Qt::PreciseTimer);
    connect(&m_main, &QTimer::timeout, this, &ConsoleLoop::runTick);
    connect(&m_soon, &QTimer::timeout, this, &ConsoleLoop::runTick);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &ConsoleLoop::lookSoon);
    m_engine.addObserver(this);
}

ConsoleLoop::~ConsoleLoop()
{
    m_engine.removeObserver(this);
}

void ConsoleLoop::betweenFiles()
{
    QCoreApplication::processEvents();
}

void ConsoleLoop::start()
{
    follow();
    m_soon.start(0);
}

void ConsoleLoop::lookSoon()
{
    if (!m_soon.isActive() || m_soon.remainingTime() > kAfterChangeMs)
        m_soon.start(kAfterChangeMs);
}

void ConsoleLoop::follow()
{
    const std::string &folder = m_engine.queueFolder();
    if (folder == m_watched && !m_watcher.directories().isEmpty())
        return;
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    // File names without a folder (pictures, includes) are the queue
    // folder's, as they were for the program this console replaces.
    if (!folder.empty() && chdir(folder.c_str()) == 0)
        m_watcher.addPath(QString::fromLocal8Bit(folder.c_str()));
    m_watched = folder;
}

void ConsoleLoop::runTick()
{
    if (m_ended)
        return;
    m_main.stop();
    m_soon.stop();
    m_engine.tick();
    if (m_engine.shutdownRequested()) {
        m_ended = true;
        if (m_onShutdown)
            m_onShutdown();
        return;
    }
    follow();
    // The main tick comes again five seconds after this one ended; a file
    // that is still settling is looked at the moment it may have settled.
    m_main.start();
    if (const std::optional<int64_t> next = m_engine.nextLookIn())
        m_soon.start(static_cast<int>(std::min<int64_t>(*next + 20, m_main.interval())));
}

} // namespace kel
