#include "app/folders.h"

#include <QTime>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kel {

std::string programFolder()
{
    if (const char *home = std::getenv("KEL_HOME"); home && *home)
        return home;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return fs::current_path(ec).string();
    return exe.parent_path().string();
}

std::string tempFolderPath()
{
    std::string base;
    for (const char *name : {"TEMP", "TMP", "TMPDIR"}) {
        if (const char *v = std::getenv(name); v && *v) {
            base = v;
            break;
        }
    }
    if (base.empty())
        base = "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/Kel-" + std::to_string(getuid());
}

static bool prepareOne(const std::string &path, std::string &error)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create the temporary folder " + path;
        return false;
    }
    struct stat st
    {
    };
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "the temporary folder " + path + " is not a folder";
        return false;
    }
    if (st.st_uid != getuid() || (st.st_mode & 0022) != 0) {
        error = "the temporary folder " + path + " belongs to another user or is open to others";
        return false;
    }
    return true;
}

bool prepareTempFolder(const std::string &path, std::string &error)
{
    return prepareOne(path, error) && prepareOne(path + "/Temp", error);
}

bool setUpFolders(Folders &folders, std::string &error)
{
    folders.program = programFolder();
    folders.temp = tempFolderPath();
    folders.tempSub = folders.temp + "/Temp";
    return prepareTempFolder(folders.temp, error);
}

std::string hmsName()
{
    const QTime now = QTime::currentTime();
    return std::to_string(now.hour()) + std::to_string(now.minute()) + std::to_string(now.second());
}

std::string uniqueWorkingName()
{
    static std::atomic<unsigned> made{0};
    return hmsName() + "-" + std::to_string(getpid()) + "-" + std::to_string(++made);
}

void emptyTempFolder(const Folders &folders)
{
    for (const std::string &dir : {folders.temp, folders.tempSub}) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code rmEc;
            if (!it->is_directory(rmEc))
                fs::remove(it->path(), rmEc);
        }
    }
}

} // namespace kel
