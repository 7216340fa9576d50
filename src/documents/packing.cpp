// Packing the open report with its pictures and sounds.
//
// The report is written again into the temporary folder (settings part from
// the working copy, data lines from the line store), each PIC= and SND=
// reference rewritten to the member name its file is stored under. The
// report and then every referenced file are appended to a container at the
// target path, and the container is zipped into the packed file that takes
// the target's place.
#include "app/text.h"
#include "documents/opening.h"
#include "documents/packed.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kel {
namespace {

bool isReferenceStart(std::string_view line, size_t i)
{
    if (i + 4 > line.size())
        return false;
    const std::string four = upper(line.substr(i, 4));
    return four == "PIC=" || four == "SND=";
}

// Where a reference is read from: an absolute path as it is; a relative one
// from the resource folder, else as given, else with "\" read as "/".
std::string resolveResource(const std::string &name, const std::string &folder)
{
    std::vector<std::string> candidates;
    std::string slashed = name;
    for (char &c : slashed) {
        if (c == '\\')
            c = '/';
    }
    for (const std::string &n : {name, slashed}) {
        if (fs::path(n).is_relative() && !folder.empty())
            candidates.push_back((fs::path(folder) / n).string());
        candidates.push_back(n);
    }
    for (const std::string &c : candidates) {
        std::error_code ec;
        if (fs::is_regular_file(c, ec))
            return c;
    }
    return {};
}

PackResult failure(std::string detail)
{
    PackResult r;
    r.message = 290;
    r.detail = std::move(detail);
    return r;
}

} // namespace

std::string ReferenceRewriter::fileKey(std::string_view name)
{
    // The name of the file the member becomes when it is extracted: the
    // member name as stored (cut to the header's field and trimmed), made a
    // plain file name, without regard to case.
    std::string stored = memberNameFor(name);
    if (stored.size() > kMemberNameLength)
        stored.resize(kMemberNameLength);
    return upper(safeFileName(stored));
}

std::string_view ReferenceRewriter::addResource(std::string_view name)
{
    // References that differ only in case, or in the separators and colons
    // that member names turn into "_", name one member: they are stored
    // once, so that no container holds two members of one name.
    const std::string key = fileKey(name);
    for (size_t i = 0; i < m_resources.size(); ++i) {
        if (m_keys[i] == key)
            return m_resources[i];
    }
    if (name.empty() || static_cast<int>(m_resources.size()) >= kMaxResources)
        return name;
    m_keys.push_back(key);
    return m_resources.emplace_back(name);
}

bool ReferenceRewriter::rewrite(std::string_view line, std::string &out)
{
    const std::string up = upper(line);
    if (up.find("PIC=") == std::string::npos && up.find("SND=") == std::string::npos) {
        if (line.empty())
            return false;
        out.assign(line);
        return true;
    }
    out.clear();
    out.reserve(line.size() + 8);
    bool inGroup = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == m_close)
            inGroup = false;
        if (inGroup && isReferenceStart(line, i)) {
            out += upper(line.substr(i, 4));
            i += 4;
            // The name runs up to and including the first ";", "," or
            // close delimiter; that last character is not part of it. It is
            // written as the member name it is stored under ("$" in front,
            // separators and colons as "_"). A name met before in another
            // spelling of the same member is stored once, and every
            // reference is written with the spelling stored, so that all of
            // them find the one member on a case-sensitive file system.
            const size_t start = i;
            while (i < line.size() && line[i] != ';' && line[i] != ',' && line[i] != m_close)
                ++i;
            out += memberNameFor(addResource(line.substr(start, i - start)));
            if (i >= line.size())
                break;
            out += line[i];
            // A reference that ends its group ends the group here too.
            if (line[i] == m_close)
                inGroup = false;
            continue;
        }
        out += c;
        if (c == m_open)
            inGroup = true;
    }
    return true;
}

PackResult packCurrentReport(const Document &document, const std::string &target,
                             const std::string &resourceFolder, const Folders &folders)
{
    const DocumentSettings &ds = document.settings;
    if (!writeFile(target, {}))
        return failure(target + ": cannot be written");
    std::error_code ec;
    auto discard = [&](std::string detail) {
        fs::remove(target, ec);
        fs::remove(target + ".zip", ec);
        return failure(std::move(detail));
    };

    std::string working;
    if (!readFile(ds.workingPath, working))
        return discard(ds.workingPath + ": the working copy cannot be read");

    ReferenceRewriter rewriter(ds.openDelimiter, ds.closeDelimiter);
    std::string report;
    std::string rewritten;
    auto put = [&](std::string_view line) {
        if (rewriter.rewrite(line, rewritten)) {
            report += rewritten;
            report += "\r\n";
        }
    };
    {
        LineSplitter splitter(working);
        std::string_view line;
        while (splitter.next(line)) {
            const std::string_view t = trimmed(line);
            put(t);
            if (equalsNoCase(t, "[DATA]"))
                break;
        }
    }
    const LineStore &lines = document.lines;
    for (int n = 1; n <= lines.count(); ++n) {
        const std::string_view record = lines.record(n);
        if (record == "END_OF_FILE")
            break;
        put(record);
    }

    const std::string reportFile = folders.inTemp("KELTMP" + uniqueWorkingName());
    if (!writeFile(reportFile, report))
        return discard(reportFile + ": cannot be written");
    if (!appendMember(reportFile, target))
        return discard(target + ": cannot be written");
    for (const std::string &name : rewriter.resources()) {
        // A "$" name is a member of a report that was itself unpacked: its
        // file waits in the temporary folder.
        std::string source;
        if (name.front() == '$') {
            if (const std::string plain = safeFileName(name); !plain.empty())
                source = folders.inTemp(plain);
        } else {
            source = resolveResource(name, resourceFolder);
        }
        if (!source.empty())
            appendMember(source, target, name);
    }

    std::string error;
    const std::string zipped = target + ".zip";
    if (!makePackedFile(target, zipped, error))
        return discard(error);
    fs::remove(target, ec);
    fs::rename(zipped, target, ec);
    if (ec)
        return discard(target + ": " + ec.message());

    PackResult result;
    result.path = target;
    if (!endsWithNoCase(target, ".KEL")) {
        const std::string renamed = target + ".Kel";
        fs::remove(renamed, ec);
        fs::rename(target, renamed, ec);
        if (ec)
            return discard(renamed + ": " + ec.message());
        result.path = renamed;
    }
    return result;
}

} // namespace kel
