// Packing the open report with its pictures and sounds.
//
// The report is written again into the temporary folder (settings part from
// the working copy, data lines from the line store), each PIC= and SND=
// reference rewritten to the member name its file is stored under. The
// report and then every referenced file are appended to a container at the
// target path, and the container is zipped into the packed file that takes
// the target's place.
#include "app/files.h"
#include "app/text.h"
#include "documents/markupline.h"
#include "documents/opening.h"
#include "documents/packed.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace kel {
namespace {

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

// The first bytes of a regular file; false when it cannot be read.
bool readFirstBytes(const std::string &path, std::string &out)
{
    InputFile file(path);
    if (!file.isOpen())
        return false;
    out.resize(kResourceSniffLength);
    const int64_t got = file.read(out.data(), out.size());
    if (got < 0)
        return false;
    out.resize(static_cast<size_t>(got));
    return true;
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

std::string_view ReferenceRewriter::addResource(std::string_view name, bool sound)
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
    m_sounds.push_back(sound);
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

    // Text is copied as it stands; groups are rewritten where they stand on
    // the line. Each line is read on its own: a group left open does not
    // carry its references to the next line.
    struct Copier : MarkupHandler
    {
        ReferenceRewriter &rewriter;
        std::string &out;
        Copier(ReferenceRewriter &r, std::string &o) : rewriter(r), out(o) {}
        void text(std::string_view segment) override { out += segment; }
        void group(const MarkupGroup &group) override { rewriter.rewriteGroup(group.onLine, out); }
        void groupLeftOpen(std::string_view onLine) override { rewriter.rewriteGroup(onLine, out); }
    } copier(*this, out);
    std::string openGroup;
    tokenizeLine(line, {m_open, m_close}, openGroup, copier);
    return true;
}

void ReferenceRewriter::rewriteGroup(std::string_view part, std::string &out)
{
    // `part` runs from the open delimiter to the close delimiter, or to the
    // end of the line (where a group stays open, or the line's end closes
    // it); references are looked for between the two.
    if (part.empty())
        return;
    out += part.front();
    const bool closed = part.size() >= 2 && part.back() == m_close;
    const size_t stop = closed ? part.size() - 1 : part.size();
    size_t i = 1;
    while (i < stop) {
        const std::string_view key = part.substr(i, std::min<size_t>(4, stop - i));
        if (!(equalsNoCase(key, "PIC=") || equalsNoCase(key, "SND="))) {
            out += part[i++];
            continue;
        }
        out += upper(key);
        i += 4;
        // The name runs up to the first ";" or "," or the end of the group,
        // and is written as the member name it is stored under ("$" in
        // front, separators and colons as "_"). A name met before in another
        // spelling of the same member is stored once, and every reference is
        // written with the spelling stored, so that all of them find the one
        // member on a case-sensitive file system.
        const size_t start = i;
        while (i < stop && part[i] != ';' && part[i] != ',')
            ++i;
        out += memberNameFor(addResource(part.substr(start, i - start), upper(key) == "SND="));
    }
    if (closed)
        out += part.back();
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
    std::vector<std::string> leftOut;
    const std::vector<std::string> &resources = rewriter.resources();
    for (size_t i = 0; i < resources.size(); ++i) {
        const std::string &name = resources[i];
        // A "$" name is a member of a report that was itself unpacked: its
        // file waits in the temporary folder.
        std::string source;
        if (name.front() == '$') {
            if (const std::string plain = safeFileName(name); !plain.empty())
                source = folders.inTemp(plain);
        } else {
            source = resolveResource(name, resourceFolder);
        }
        // The report names its files itself: only what is a picture or a
        // sound by its first bytes goes into the attachment.
        std::string first;
        const bool fits = !source.empty() && readFirstBytes(source, first) &&
                          (rewriter.isSound(i) ? isSoundStart(first) : isPictureStart(first));
        if (!fits || !appendMember(source, target, name))
            leftOut.push_back(name);
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
    result.leftOut = std::move(leftOut);
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
