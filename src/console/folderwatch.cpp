#include "console/folderwatch.h"

#include <QSocketNotifier>
#include <cerrno>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel {
namespace {

constexpr uint32_t kMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY | IN_CREATE | IN_DELETE |
                           IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

FolderWatch::FolderWatch(EventSink onEvent, std::function<void()> onLost, QObject *parent)
    : FolderWatch(parent)
{
    setSinks(std::move(onEvent), std::move(onLost));
}

void FolderWatch::setSinks(EventSink onEvent, std::function<void()> onLost)
{
    m_onEvent = std::move(onEvent);
    m_onLost = std::move(onLost);
    if (m_lostHeld)
        deliverLost();
    m_lostHeld = false;
    for (const auto &[name, event] : std::exchange(m_held, {}))
        deliver(name, event);
}

void FolderWatch::deliver(const std::string &name, FileEvent event)
{
    if (m_onEvent)
        m_onEvent(name, event);
    else if (m_held.size() < 100000)
        m_held.emplace_back(name, event);
    else
        deliverLost(); // too much to keep: the settle rule decides instead
}

void FolderWatch::deliverLost()
{
    if (m_onLost) {
        m_onLost();
    } else {
        m_held.clear();
        m_lostHeld = true;
    }
}

FolderWatch::FolderWatch(QObject *parent) : QObject(parent)
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &FolderWatch::readEvents);
}

FolderWatch::~FolderWatch()
{
    m_notifier.reset();
    if (m_fd >= 0)
        close(m_fd);
}

void FolderWatch::clear()
{
    if (m_watch >= 0 && m_fd >= 0)
        inotify_rm_watch(m_fd, m_watch);
    m_watch = -1;
    m_folder.clear();
}

bool FolderWatch::watch(const std::string &folder)
{
    clear();
    if (m_fd < 0 || folder.empty())
        return false;
    m_watch = inotify_add_watch(m_fd, folder.c_str(), kMask);
    if (m_watch < 0)
        return false;
    m_folder = folder;
    return true;
}

void FolderWatch::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool lost = false;
    for (;;) {
        const ssize_t got = read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                lost = true;
                continue;
            }
            if (e->wd != m_watch)
                continue; // a watch given up before
            if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                // The folder went (or was renamed): nothing it says holds.
                m_watch = -1;
                m_folder.clear();
                lost = true;
                continue;
            }
            if (e->len == 0 || (e->mask & IN_ISDIR))
                continue;
            const std::string name(e->name);
            FileEvent event = FileEvent::Written;
            if (e->mask & (IN_DELETE | IN_MOVED_FROM)) {
                event = FileEvent::Removed;
            } else if (e->mask & IN_MOVED_TO) {
                event = FileEvent::MovedIn;
            } else if (e->mask & IN_CLOSE_WRITE) {
                event = FileEvent::Closed;
            } else if (e->mask & IN_CREATE) {
                // A hard link made into the folder arrives whole, as a
                // rename does; a new file is being written.
                struct stat st
                {
                };
                const std::string path = m_folder + "/" + name;
                const bool linked =
                    lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink > 1;
                event = linked ? FileEvent::MovedIn : FileEvent::Created;
            }
            deliver(name, event);
        }
    }
    if (lost)
        deliverLost();
}

} // namespace kel
