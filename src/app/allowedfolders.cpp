#include "app/allowedfolders.h"

#include "app/folders.h"
#include "app/settings.h"
#include "app/text.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace kel {
namespace {

// The path with every link followed and "." and ".." taken away; the part
// that does not exist yet is kept as written, made lexically normal.
std::string resolved(const fs::path &path)
{
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec)
        return {};
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

bool inside(const std::string &path, const std::string &folder)
{
    if (folder == "/")
        return true;
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

} // namespace

std::vector<std::string> resourcePathFolders(const std::string &value)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(';', start);
        if (end == std::string::npos)
            end = value.size();
        const std::string folder = trimmedCopy(std::string_view(value).substr(start, end - start));
        if (!folder.empty())
            out.push_back(folder);
        start = end + 1;
    }
    return out;
}

AllowedFolders::AllowedFolders(const std::vector<std::string> &folders)
{
    for (const std::string &f : folders) {
        if (f.empty())
            continue;
        if (std::string r = resolved(f); !r.empty())
            m_folders.push_back(std::move(r));
    }
}

AllowedFolders AllowedFolders::forQueue(const std::string &queueFolder, const Folders &folders,
                                        const SettingsRecord &settings)
{
    std::vector<std::string> list{queueFolder, folders.program};
    for (const std::string &f : folders.shippedFolders())
        list.push_back(f);
    for (std::string &f : resourcePathFolders(settings.resourcePath))
        list.push_back(std::move(f));
    return AllowedFolders(list);
}

void AllowedFolders::allowFiles(const std::vector<std::string> &files)
{
    for (const std::string &f : files) {
        if (std::string r = resolved(f); !r.empty())
            m_files.push_back(std::move(r));
    }
}

std::optional<std::string> AllowedFolders::resolve(const std::string &path,
                                                   const std::string &base) const
{
    if (path.empty())
        return std::nullopt;
    fs::path p(path);
    if (p.is_relative() && !base.empty())
        p = fs::path(base) / p;
    const std::string r = resolved(p);
    if (r.empty())
        return std::nullopt;
    for (const std::string &folder : m_folders) {
        if (inside(r, folder))
            return r;
    }
    if (std::find(m_files.begin(), m_files.end(), r) != m_files.end())
        return r;
    return std::nullopt;
}

} // namespace kel
