// The kernel's word on the queue folder: an inotify watch read through a
// QSocketNotifier on the event loop, never blocking it.
//
// Each event becomes a FileEvent for one name: a file created and being
// written (IN_CREATE, IN_MODIFY), closed by a writer (IN_CLOSE_WRITE),
// renamed or linked in complete (IN_MOVED_TO, or IN_CREATE of a name that
// already has another link), removed (IN_DELETE, IN_MOVED_FROM). When the
// kernel dropped events (its queue overflowed) or the folder itself went,
// lost() is called: what was heard before no longer holds.
#pragma once

#include "console/settling.h"

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace kel {

class FolderWatch : public QObject
{
    Q_OBJECT
public:
    using EventSink = std::function<void(const std::string &name, FileEvent event)>;

    // Events heard before the sinks are set are kept and handed over then:
    // a watch begun before the console's first look loses nothing written
    // meanwhile.
    explicit FolderWatch(QObject *parent = nullptr);
    FolderWatch(EventSink onEvent, std::function<void()> onLost, QObject *parent = nullptr);
    ~FolderWatch() override;
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;

    // Watches `folder` instead of what was watched before; false when the
    // kernel refused (no such folder, no inotify), and nothing is watched.
    bool watch(const std::string &folder);
    void setSinks(EventSink onEvent, std::function<void()> onLost);
    // Stops watching.
    void clear();
    bool watching() const { return m_watch >= 0; }
    const std::string &folder() const { return m_folder; }

private:
    void readEvents();
    void deliver(const std::string &name, FileEvent event);
    void deliverLost();

    EventSink m_onEvent;
    std::function<void()> m_onLost;
    int m_fd = -1;
    int m_watch = -1;
    std::string m_folder;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<std::pair<std::string, FileEvent>> m_held; // before the sinks
    bool m_lostHeld = false;
};

} // namespace kel
