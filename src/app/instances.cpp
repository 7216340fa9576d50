#include "app/instances.h"

#include "app/text.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kel {

InstanceLock::InstanceLock(std::string folder) : m_folder(std::move(folder))
{
    m_path = m_folder + "/instance-" + std::to_string(getpid()) + ".lock";
    writeFile(m_path, std::to_string(getpid()));
}

InstanceLock::~InstanceLock()
{
    std::error_code ec;
    fs::remove(m_path, ec);
}

bool InstanceLock::othersRunning() const
{
    bool others = false;
    std::error_code ec;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("instance-", 0) != 0 || it->path().extension() != ".lock" ||
            it->path().string() == m_path)
            continue;
        const long pid = std::strtol(name.c_str() + 9, nullptr, 10);
        if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
            others = true;
        } else {
            std::error_code rm;
            fs::remove(it->path(), rm);
        }
    }
    return others;
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
