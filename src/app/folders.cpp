#include "app/folders.h"

#include <QTime>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kel {

std::string programFolderOf(const std::string &executable)
{
    // An installed program keeps its files in share/kel beside its bin
    // folder; a program run where it was built has them beside itself.
    const fs::path bin = fs::path(executable).parent_path();
    if (bin.filename() == "bin") {
        const fs::path shared = bin.parent_path() / "share" / "kel";
        std::error_code ec;
        if (fs::is_directory(shared, ec))
            return shared.string();
    }
    return bin.string();
}

static std::string runningExecutable()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return (fs::current_path(ec) / "kel").string();
    return exe.string();
}

static std::string kelHome()
{
    const char *home = std::getenv("KEL_HOME");
    return home && *home ? home : "";
}

std::string programFolder()
{
    if (std::string home = kelHome(); !home.empty())
        return home;
    return programFolderOf(runningExecutable());
}

std::vector<std::string> shippedFoldersOf(const std::string &home, const std::string &executable)
{
    // KEL_HOME may hold the admin's own tables or language file; what is
    // not there comes from the installed share/kel, and a program run where
    // it was built finds its files beside itself.
    std::vector<std::string> folders;
    auto add = [&folders](const std::string &folder) {
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    };
    add(home);
    const fs::path bin = fs::path(executable).parent_path();
    if (bin.filename() == "bin") {
        const fs::path shared = bin.parent_path() / "share" / "kel";
        std::error_code ec;
        if (fs::is_directory(shared, ec))
            add(shared.string());
    }
    add(bin.string());
    return folders;
}

std::vector<std::string> shippedFolders()
{
    return shippedFoldersOf(kelHome(), runningExecutable());
}

std::vector<std::string> Folders::shippedFolders() const
{
    return shipped.empty() ? std::vector<std::string>{program} : shipped;
}

std::string Folders::findShipped(const std::string &name) const
{
    const std::vector<std::string> folders = shippedFolders();
    for (const std::string &folder : folders) {
        const std::string path = folder + "/" + name;
        std::error_code ec;
        if (fs::is_regular_file(path, ec))
            return path;
    }
    return folders.front() + "/" + name;
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
        error = "cannot create the temporary folder " + path + ": " + std::strerror(errno);
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
    folders.shipped = shippedFolders();
    folders.temp = tempFolderPath();
    folders.tempSub = folders.temp + "/Temp";
    // TEMP may name a folder that is not there yet: it is made, with the
    // folders above it, as a user who set it would expect.
    const fs::path base = fs::path(folders.temp).parent_path();
    std::error_code ec;
    if (!fs::is_directory(base, ec) && !fs::create_directories(base, ec)) {
        error = base.string() + ": " + (ec ? ec.message() : "not a folder");
        return false;
    }
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
