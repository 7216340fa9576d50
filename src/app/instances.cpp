#include "app/instances.h"

#include "app/text.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kel {

namespace {

constexpr const char *kPrefix = "instance-";

bool isLockName(const fs::path &p)
{
    return p.filename().string().rfind(kPrefix, 0) == 0 && p.extension() == ".lock";
}

bool processRuns(long pid)
{
    return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

long lockPid(const fs::path &lock)
{
    return std::strtol(lock.filename().string().c_str() + std::strlen(kPrefix), nullptr, 10);
}

// Deletes the files a lock file lists, then the lock file. Only regular
// files inside the temporary folder or its "Temp" subfolder are touched: a
// lock file is ours, but a damaged or planted one must not delete anything
// elsewhere.
int removeLockAndFiles(const fs::path &lock, const std::string &folder)
{
    int removed = 0;
    std::string text;
    if (readFile(lock.string(), text)) {
        std::error_code ec;
        const fs::path base = fs::weakly_canonical(folder, ec);
        std::string_view line;
        LineSplitter lines(text);
        lines.next(line); // the process id
        while (lines.next(line)) {
            const fs::path file = fs::weakly_canonical(fs::path(std::string(trimmed(line))), ec);
            if (ec || file.empty())
                continue;
            const fs::path parent = file.parent_path();
            if (parent != base && parent != base / "Temp")
                continue;
            if (fs::is_regular_file(fs::symlink_status(file, ec)) && fs::remove(file, ec))
                ++removed;
        }
    }
    std::error_code ec;
    fs::remove(lock, ec);
    return removed;
}

} // namespace

InstanceLock::InstanceLock(std::string folder) : m_folder(std::move(folder))
{
    m_path = m_folder + "/" + kPrefix + std::to_string(getpid()) + ".lock";
    writeFile(m_path, std::to_string(getpid()) + "\n");
}

InstanceLock::~InstanceLock()
{
    std::error_code ec;
    fs::remove(m_path, ec);
}

void InstanceLock::record(std::initializer_list<std::string> paths)
{
    record(std::vector<std::string>(paths));
}

void InstanceLock::record(const std::vector<std::string> &paths)
{
    std::string text;
    readFile(m_path, text);
    for (const std::string &path : paths)
        text += path + "\n";
    writeFile(m_path, text);
}

void InstanceLock::removeRecorded()
{
    removeLockAndFiles(m_path, m_folder);
    writeFile(m_path, std::to_string(getpid()) + "\n");
}

bool InstanceLock::othersRunning() const
{
    bool others = false;
    std::error_code ec;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isLockName(it->path()) || it->path().string() == m_path)
            continue;
        if (processRuns(lockPid(it->path())))
            others = true;
        else
            removeLockAndFiles(it->path(), m_folder);
    }
    return others;
}

int InstanceLock::removeLeftovers(const std::string &folder)
{
    int removed = 0;
    std::error_code ec;
    std::vector<fs::path> dead;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (isLockName(it->path()) && !processRuns(lockPid(it->path())))
            dead.push_back(it->path());
    }
    for (const fs::path &lock : dead)
        removed += removeLockAndFiles(lock, folder);
    return removed;
}

// The self-pipe: the handler only writes the signal's number into a pipe
// (all a handler may safely do); the notifier reads it on the event loop.
namespace {
int g_signalPipe[2] = {-1, -1};
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onTerminationSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}
} // namespace

struct TerminationSignals::Saved
{
    std::array<struct sigaction, kSignals.size()> actions{};
};

TerminationSignals::TerminationSignals(std::function<void(int signal)> onSignal)
    : m_saved(std::make_unique<Saved>()), m_onSignal(std::move(onSignal))
{
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        unsigned char byte = 0;
        while (read(g_signalPipe[0], &byte, 1) == 1) {
            if (m_onSignal)
                m_onSignal(byte);
        }
    });
    struct sigaction action
    {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &action, &m_saved->actions[i]);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    for (size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &m_saved->actions[i], nullptr);
    m_notifier.reset();
    close(g_signalPipe[0]);
    close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
}

ConsoleLock::ConsoleLock(const std::string &folder)
{
    const std::string path = folder + "/console.lock";
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd >= 0 && flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

ConsoleLock::~ConsoleLock()
{
    // The file stays: removing it would let a console that opened it just
    // before lock a file that a third one can no longer see.
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace kel
