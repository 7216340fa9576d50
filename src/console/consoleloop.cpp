#include "console/consoleloop.h"

#include <algorithm>

namespace kel {
namespace {

// How soon after the watch spoke the folder is looked at: a burst of
// events (a thousand files copied at once) becomes one look.
constexpr int kAfterChangeMs = 30;

} // namespace

ConsoleLoop::ConsoleLoop(ConsoleEngine &engine, int tickMs, std::function<void()> onShutdown,
                         FolderWatch *watch, QObject *parent)
    : QObject(parent), m_engine(engine), m_onShutdown(std::move(onShutdown)),
      m_ownWatch(watch ? nullptr : std::make_unique<FolderWatch>()),
      m_watch(watch ? *watch : *m_ownWatch)
{
    if (m_watch.watching())
        m_watched = m_watch.folder();
    m_watch.setSinks(
        [this](const std::string &name, FileEvent event) {
            m_engine.fileEvent(name, event);
            lookSoon();
        },
        [this] {
            m_engine.watchLost();
            m_watched.clear();
            lookSoon();
        });
    m_main.setInterval(tickMs);
    m_main.setSingleShot(true);
    m_soon.setSingleShot(true);
    m_soon.setTimerType(Qt::PreciseTimer);
    connect(&m_main, &QTimer::timeout, this, &ConsoleLoop::runTick);
    connect(&m_soon, &QTimer::timeout, this, &ConsoleLoop::runTick);
}

ConsoleLoop::~ConsoleLoop()
{
    m_watch.setSinks({}, {});
}

void ConsoleLoop::start()
{
    follow();
    m_soon.start(0);
}

void ConsoleLoop::lookSoon()
{
    if (m_ended)
        return;
    if (!m_soon.isActive() || m_soon.remainingTime() > kAfterChangeMs)
        m_soon.start(kAfterChangeMs);
}

void ConsoleLoop::follow()
{
    const std::string &folder = m_engine.queueFolder();
    if (folder == m_watched && m_watch.watching())
        return;
    // A folder that cannot be watched (not there yet, no inotify) is tried
    // again at every tick; meanwhile its files keep the settle rule.
    if (!m_watch.watch(folder))
        m_engine.watchLost();
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
    // The main tick comes again five seconds after this step; the next step
    // of a pass, or a file that may have become complete, comes sooner.
    m_main.start();
    if (const std::optional<int64_t> next = m_engine.nextLookIn()) {
        const int64_t wait = *next == 0 ? 0 : *next + 5;
        m_soon.start(static_cast<int>(std::min<int64_t>(wait, m_main.interval())));
    }
}

} // namespace kel
