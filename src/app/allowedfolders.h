// The folders a queued report may read files from.
//
// A report from another machine names pictures, sounds and included files
// by path. The console reads them only from the queue folder, the program
// folder, the shipped folders and the folders the settings list under
// RESOURCE_PATH, and the files a packed report of its own unpacked into the
// temporary folder (not the rest of that folder: it holds the console's
// journal and other jobs' pictures). A name is
// resolved first (relative names in the report's folder, links followed, ".."
// taken away), so neither "..", an absolute path nor a link planted in the
// queue folder leads out of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kel {

struct Folders;
struct SettingsRecord;

class AllowedFolders
{
public:
    AllowedFolders() = default; // allows nothing
    explicit AllowedFolders(const std::vector<std::string> &folders);

    // The queue folder, the program and shipped folders, and RESOURCE_PATH.
    static AllowedFolders forQueue(const std::string &queueFolder, const Folders &folders,
                                   const SettingsRecord &settings);

    // The resolved path when `path` (relative names taken in `base`, links
    // followed) lies inside one of the folders; nothing otherwise.
    std::optional<std::string> resolve(const std::string &path, const std::string &base = {}) const;
    bool allows(const std::string &path) const { return resolve(path).has_value(); }
    // Allows these files as well, wherever they are (a job's unpacked files).
    void allowFiles(const std::vector<std::string> &files);

    const std::vector<std::string> &folders() const { return m_folders; }

private:
    std::vector<std::string> m_folders; // resolved, without a trailing "/"
    std::vector<std::string> m_files;   // resolved
};

// The folders of a RESOURCE_PATH value: separated by ";", blanks around each
// ignored, empty ones left out.
std::vector<std::string> resourcePathFolders(const std::string &value);

} // namespace kel
