#include "app/instances.h"

#include "app/text.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
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

} // namespace kel
