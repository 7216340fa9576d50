#include "console/queuefolder.h"

#include "app/atomicfile.h"
#include "app/text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel {
namespace {

struct ExtensionRow
{
    std::string_view released;
    std::string_view held;
    DocType type;
};

// In the order the filters list them.
constexpr std::array<ExtensionRow, 5> kExtensions = {{
    {".kel", ".ke", DocType::Kel},
    {".kez", ".kz", DocType::Kez},
    {".txt", ".tx", DocType::Txt},
    {".lst", ".ls", DocType::Lst},
    {".prn", ".pr", DocType::Prn},
}};

bool switchedOn(DocType type, const QueueTypes &types)
{
    switch (type) {
    case DocType::Kel:
        return types.reports;
    case DocType::Kez:
        return types.templates;
    default:
        return types.listings;
    }
}

bool isSwitch(const std::string &value)
{
    return upper(trimmed(value)) == "Y";
}

// The row whose released (or held) extension ends `name`; a bare
// extension without a name before it (".kel") counts as well.
const ExtensionRow *rowOf(std::string_view name, bool held)
{
    for (const ExtensionRow &row : kExtensions) {
        if (endsWithNoCase(name, held ? row.held : row.released))
            return &row;
    }
    return nullptr;
}

std::string filter(const QueueTypes &types, bool held)
{
    std::string out;
    for (const ExtensionRow &row : kExtensions) {
        if (switchedOn(row.type, types)) {
            out += '*';
            out += held ? row.held : row.released;
            out += ';';
        }
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

std::optional<QueueEntry> entryOf(const struct stat &st, std::string name)
{
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    QueueEntry e;
    e.name = std::move(name);
    e.size = static_cast<uint64_t>(st.st_size);
    e.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    e.inode = static_cast<uint64_t>(st.st_ino);
    return e;
}

} // namespace

QueueTypes QueueTypes::fromSettings(const SettingsRecord &s)
{
    return {isSwitch(s.printKel), isSwitch(s.printKez), isSwitch(s.printTxt)};
}

std::optional<DocType> queueDocType(std::string_view name)
{
    if (const ExtensionRow *row = rowOf(name, false))
        return row->type;
    if (const ExtensionRow *row = rowOf(name, true))
        return row->type;
    return std::nullopt;
}

QueueKind queueKind(std::string_view name, const QueueTypes &types)
{
    if (endsWithNoCase(name, ".cmd"))
        return QueueKind::Command;
    if (const ExtensionRow *row = rowOf(name, false))
        return switchedOn(row->type, types) ? QueueKind::Released : QueueKind::Other;
    if (const ExtensionRow *row = rowOf(name, true))
        return switchedOn(row->type, types) ? QueueKind::Held : QueueKind::Other;
    return QueueKind::Other;
}

std::string heldName(std::string_view name)
{
    const ExtensionRow *row = rowOf(name, false);
    if (!row)
        return std::string(name);
    return std::string(name.substr(0, name.size() - row->released.size())) + std::string(row->held);
}

std::string releasedName(std::string_view name)
{
    const ExtensionRow *row = rowOf(name, true);
    if (!row)
        return std::string(name);
    return std::string(name.substr(0, name.size() - row->held.size())) + std::string(row->released);
}

std::string heldFilter(const QueueTypes &types)
{
    return filter(types, true);
}

std::string releasedFilter(const QueueTypes &types)
{
    return filter(types, false);
}

bool queueNameLess(std::string_view a, std::string_view b)
{
    const std::string ua = upper(a);
    const std::string ub = upper(b);
    if (ua != ub)
        return ua < ub;
    return a < b;
}

std::optional<QueueEntry> statQueueFile(const std::string &folder, const std::string &name)
{
    struct stat st
    {
    };
    if (lstat((folder + "/" + name).c_str(), &st) != 0)
        return std::nullopt;
    return entryOf(st, name);
}

namespace {

template <class Take> void readFolder(const std::string &folder, bool &readable, Take take)
{
    DIR *dir = opendir(folder.c_str());
    readable = dir != nullptr;
    if (!dir)
        return;
    const int dirFd = dirfd(dir);
    while (const dirent *d = readdir(dir)) {
        const std::string_view name(d->d_name);
        if (name == "." || name == "..")
            continue;
        take(name, [&]() -> std::optional<QueueEntry> {
            // lstat: a link that carries a queue extension is not a queue file.
            struct stat st
            {
            };
            if (fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return std::nullopt;
            return entryOf(st, std::string(name));
        });
    }
    closedir(dir);
}

void sortByName(std::vector<QueueEntry> &list)
{
    std::sort(list.begin(), list.end(), [](const QueueEntry &a, const QueueEntry &b) {
        return queueNameLess(a.name, b.name);
    });
}

} // namespace

std::vector<QueueEntry> listCommandFiles(const std::string &folder)
{
    std::vector<QueueEntry> out;
    bool readable = false;
    readFolder(folder, readable, [&](std::string_view name, auto stat) {
        if (!endsWithNoCase(name, ".cmd"))
            return;
        if (std::optional<QueueEntry> e = stat())
            out.push_back(std::move(*e));
    });
    sortByName(out);
    return out;
}

std::vector<std::string> filesEndingIn(const std::string &folder, std::string_view extension)
{
    std::vector<QueueEntry> found;
    bool readable = false;
    readFolder(folder, readable, [&](std::string_view name, auto stat) {
        if (!endsWithNoCase(name, extension))
            return;
        if (std::optional<QueueEntry> e = stat())
            found.push_back(std::move(*e));
    });
    sortByName(found);
    std::vector<std::string> names;
    for (QueueEntry &e : found)
        names.push_back(std::move(e.name));
    return names;
}

bool renameNoReplace(const std::string &from, const std::string &to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link fails on an existing name.
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    unlink(from.c_str());
    return true;
}

QueueListing listQueue(const std::string &folder, const QueueTypes &types)
{
    QueueListing listing;
    readFolder(folder, listing.readable, [&](std::string_view name, auto stat) {
        const QueueKind kind = queueKind(name, types);
        if (kind == QueueKind::Other)
            return;
        std::optional<QueueEntry> e = stat();
        if (!e)
            return;
        auto &list = kind == QueueKind::Released ? listing.released
                     : kind == QueueKind::Held   ? listing.held
                                                 : listing.commands;
        list.push_back(std::move(*e));
    });
    sortByName(listing.held);
    sortByName(listing.released);
    sortByName(listing.commands);
    return listing;
}

RemoveOutcome removeIfUnchanged(const std::string &folder, const QueueEntry &read)
{
    const std::optional<QueueEntry> now = statQueueFile(folder, read.name);
    if (!now)
        return {RemoveResult::Gone, 0};
    if (!now->sameAs(read))
        return {RemoveResult::Changed, 0};
    if (!removeDurably(folder + "/" + read.name))
        return {errno == ENOENT ? RemoveResult::Gone : RemoveResult::Failed, errno};
    return {RemoveResult::Removed, 0};
}

std::unordered_set<uint64_t> inodesOpenForWriting(const std::string &folder)
{
    std::unordered_set<uint64_t> inodes;
    struct stat where
    {
    };
    if (stat(folder.c_str(), &where) != 0)
        return inodes;
    DIR *proc = opendir("/proc");
    if (!proc)
        return inodes;
    while (const dirent *p = readdir(proc)) {
        if (p->d_name[0] < '0' || p->d_name[0] > '9')
            continue;
        const std::string pidFolder = std::string("/proc/") + p->d_name;
        DIR *fds = opendir((pidFolder + "/fd").c_str());
        if (!fds)
            continue; // another user's, or ended meanwhile
        while (const dirent *f = readdir(fds)) {
            if (f->d_name[0] < '0' || f->d_name[0] > '9')
                continue;
            struct stat open
            {
            };
            if (stat((pidFolder + "/fd/" + f->d_name).c_str(), &open) != 0 ||
                !S_ISREG(open.st_mode) || open.st_dev != where.st_dev)
                continue;
            // The descriptor's access mode, from its "flags:" line (octal).
            std::string info;
            readFile(pidFolder + "/fdinfo/" + f->d_name, info);
            const size_t at = info.find("flags:");
            if (at == std::string::npos)
                continue;
            const unsigned long flags = std::strtoul(info.c_str() + at + 6, nullptr, 8);
            if ((flags & O_ACCMODE) == O_WRONLY || (flags & O_ACCMODE) == O_RDWR)
                inodes.insert(static_cast<uint64_t>(open.st_ino));
        }
        closedir(fds);
    }
    closedir(proc);
    return inodes;
}

} // namespace kel
