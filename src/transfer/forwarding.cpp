#include "transfer/forwarding.h"

#include "app/atomicfile.h"
#include "app/keyvalue.h"
#include "app/text.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace kel {
namespace {

namespace fs = std::filesystem;

struct Span
{
    size_t start;
    size_t length;
};

// The file names of the "PIC=" commands of a line, as spans of the line.
// Groups run from the open delimiter to the close delimiter and hold
// commands separated by ";", as the markup interpreter reads them.
std::vector<Span> pictureNames(std::string_view line, char open, char close)
{
    std::vector<Span> out;
    size_t pos = 0;
    while ((pos = line.find(open, pos)) != std::string_view::npos) {
        size_t end = line.find(close, pos + 1);
        if (end == std::string_view::npos)
            end = line.size();
        size_t command = pos + 1;
        while (command < end) {
            size_t stop = line.find(';', command);
            if (stop == std::string_view::npos || stop > end)
                stop = end;
            size_t key = command;
            while (key < stop && line[key] == ' ')
                ++key;
            const size_t equals = line.find('=', key);
            if (equals != std::string_view::npos && equals < stop &&
                upper(line.substr(key, equals - key)) == "PIC") {
                const size_t nameStart = equals + 1;
                size_t nameEnd = nameStart;
                while (nameEnd < stop && line[nameEnd] != ',' && line[nameEnd] != '=')
                    ++nameEnd;
                // Blanks around the name belong to the markup, not the name.
                size_t a = nameStart;
                size_t b = nameEnd;
                while (a < b && line[a] == ' ')
                    ++a;
                while (b > a && line[b - 1] == ' ')
                    --b;
                if (b > a)
                    out.push_back({a, b - a});
            }
            command = stop + 1;
        }
        pos = end;
    }
    return out;
}

std::string lastPart(std::string_view name)
{
    const size_t cut = name.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

std::string backslashed(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Where a picture named in a report is read from: an absolute name as it is,
// a relative one in the report's folder; a name that is not found there
// (a path of another machine) by its last part in that folder.
std::string picturePath(const std::string &name, const fs::path &folder)
{
    std::error_code ec;
    const fs::path direct = name.front() == '/' ? fs::path(name) : folder / name;
    if (fs::is_regular_file(direct, ec))
        return direct.string();
    const fs::path bare = folder / lastPart(name);
    if (fs::is_regular_file(bare, ec))
        return bare.string();
    return direct.string();
}

char delimiter(const std::string &value, char fallback)
{
    return value.empty() ? fallback : value.front();
}

void removeQuietly(const std::string &path)
{
    std::error_code ec;
    fs::remove(path, ec);
}

} // namespace

std::optional<FileIdentity> fileIdentity(const std::string &path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                        static_cast<int64_t>(st.st_size),
                        static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL +
                            st.st_mtim.tv_nsec};
}

ForwardCopy forwardCopy(std::string_view report, char open, char close)
{
    // The receiving console looks SEND_TO up among the first 100 lines.
    constexpr int kLookupLines = 100;
    ForwardCopy out;
    out.text.reserve(report.size() + report.size() / 16);
    LineSplitter lines(report);
    std::string_view line;
    bool data = false;
    int written = 0;
    while (lines.next(line)) {
        if (!data) {
            if (upper(line.substr(0, 7)) == "SEND_TO")
                continue;
            data = equalsNoCase(trimmed(line), "[DATA]");
        } else if (written < kLookupLines && !readKeyValueIn(line, "SEND_TO").empty()) {
            continue;
        }
        ++written;
        std::string copied(line);
        const std::vector<Span> names = pictureNames(line, open, close);
        // From the last to the first, so earlier spans keep their offsets.
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            const std::string name(line.substr(it->start, it->length));
            copied.replace(it->start, it->length, lastPart(name));
        }
        for (const Span &s : names) {
            std::string name(line.substr(s.start, s.length));
            if (std::find(out.pictures.begin(), out.pictures.end(), name) == out.pictures.end())
                out.pictures.push_back(std::move(name));
        }
        out.text += copied;
        out.text += "\r\n";
    }
    return out;
}

Result<Forwarding> prepareForwarding(const ForwardedReport &handed, const std::string &sendTo,
                                     uint16_t defaultPort, const AllowedFolders *allowed)
{
    const std::string &report = handed.report;
    Result<wire::Destination> destination = wire::parseDestination(sendTo, defaultPort);
    if (!destination)
        return destination.refusal();
    std::string bytes;
    if (!readFile(report, bytes))
        return refusal(kNoMessage, "cannot read " + report);
    const char open = delimiter(readKeyValueIn(bytes, "OPEN"), '{');
    const char close = delimiter(readKeyValueIn(bytes, "CLOSE"), '}');
    const ForwardCopy copy = forwardCopy(bytes, open, close);

    Forwarding f;
    f.releasedFile = handed.releasedFile;
    f.report = report;
    f.releasedIdentity = fileIdentity(f.releasedFile);
    f.reportIdentity = fileIdentity(report);
    f.scratch = handed.scratch;
    f.copy = report + "$";
    if (!writeFile(f.copy, copy.text)) {
        removeQuietly(f.copy);
        return refusal(kNoMessage, "cannot write " + f.copy);
    }
    const fs::path folder = handed.pictureFolder.empty() ? fs::path(report).parent_path()
                                                         : fs::path(handed.pictureFolder);
    std::vector<std::string> seen;
    for (const std::string &name : copy.pictures) {
        const std::string path = picturePath(name, folder);
        if (std::find(seen.begin(), seen.end(), path) != seen.end())
            continue;
        seen.push_back(path);
        // Read from where the name leads, announced under the name the
        // report uses (the receiver keeps its last part).
        std::string read = path;
        if (allowed) {
            const std::optional<std::string> resolved = allowed->resolve(path);
            if (!resolved) {
                // Not sent. One that is not there at all would have been
                // passed over anyway: only a file that is there is named.
                std::error_code ec;
                if (fs::exists(fs::symlink_status(path, ec)))
                    f.refusedPictures.push_back(name);
                continue;
            }
            read = *resolved;
        }
        f.job.items.push_back({read, backslashed(path), true});
    }
    f.job.items.push_back({f.copy, backslashed(report), false});
    f.job.destination = std::move(*destination);
    f.job.destinationText = trimmedCopy(sendTo);
    return f;
}

void completeForwarding(const Forwarding &f)
{
    // A file of that name that is not the one sent arrived or was written
    // after the forwarding started: it is another report and stays.
    auto removeIfSent = [](const std::string &path, const std::optional<FileIdentity> &sent) {
        if (sent && fileIdentity(path) == sent)
            removeDurably(path);
    };
    removeIfSent(f.releasedFile, f.releasedIdentity);
    if (f.report != f.releasedFile)
        removeIfSent(f.report, f.reportIdentity);
    removeQuietly(f.copy);
    for (const std::string &file : f.scratch)
        removeQuietly(file);
}

std::string abandonForwarding(const std::string &releasedFile, const std::string &report,
                              const std::string &copy)
{
    std::error_code ec;
    std::string kept;
    auto keep = [&](const std::string &path) {
        const std::string target = path + ".NOT_SENT";
        removeQuietly(target);
        std::error_code renameError;
        fs::rename(path, target, renameError);
        if (!renameError)
            kept = target;
    };
    if (fs::is_regular_file(releasedFile, ec)) {
        keep(releasedFile);
        if (report != releasedFile)
            removeQuietly(report);
    } else if (fs::is_regular_file(report, ec)) {
        keep(report);
    }
    if (!copy.empty())
        removeQuietly(copy);
    const fs::path folder = fs::path(releasedFile).parent_path();
    for (const auto &entry : fs::directory_iterator(folder.empty() ? "." : folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".$$$") == 0)
            removeQuietly(entry.path().string());
    }
    return kept;
}

std::string abandonForwarding(const Forwarding &f)
{
    const std::string kept = abandonForwarding(f.releasedFile, f.report, f.copy);
    for (const std::string &file : f.scratch)
        removeQuietly(file);
    return kept;
}

} // namespace kel
