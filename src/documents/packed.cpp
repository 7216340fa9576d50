// Packed files: the zip archive around a container, made and read with
// libzip.
#include "documents/packed.h"

#include "app/files.h"
#include "app/text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <zip.h>

namespace fs = std::filesystem;

namespace kel {
namespace {

constexpr char kVersionNeeded = 20; // 2.0, what the opening test looks for

std::string zipError(zip_t *archive)
{
    return archive ? zip_strerror(archive) : "unknown zip error";
}

std::string zipOpenError(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

// Overwrites the first bytes of a file.
bool patchStart(const std::string &path, std::string_view bytes)
{
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!f)
        return false;
    f.seekp(0);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    return static_cast<bool>(f);
}

} // namespace

bool isPackedReportStart(std::string_view b)
{
    return b.size() >= 5 && b[0] == '2' && b[1] == '2' && b[2] == 3 && b[3] == 4 && b[4] == 20;
}

bool makePackedFile(const std::string &source, const std::string &packedPath, std::string &error)
{
    int code = 0;
    zip_t *archive = zip_open(packedPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        error = packedPath + ": " + zipOpenError(code);
        return false;
    }
    const std::string entryName = fs::path(source).filename().string();
    zip_source_t *data = zip_source_file(archive, source.c_str(), 0, -1);
    zip_int64_t index = -1;
    if (data) {
        index = zip_file_add(archive, entryName.c_str(), data, ZIP_FL_ENC_GUESS);
        if (index < 0)
            zip_source_free(data);
    }
    if (index < 0 ||
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 0) !=
            0 ||
        zip_set_archive_comment(archive, kPackedComment.data(),
                                static_cast<zip_uint16_t>(kPackedComment.size())) != 0 ||
        zip_close(archive) != 0) {
        error = packedPath + ": " + zipError(archive);
        zip_discard(archive);
        std::error_code ec;
        fs::remove(packedPath, ec);
        return false;
    }

    // Readers recognise a packed report by "22", 3, 4 and version 2.0
    // needed. A deflated entry needs 2.0; an archive that says less (a
    // stored entry) still reads with 2.0, one that needs more would not be
    // recognised and is refused.
    std::string start;
    {
        std::ifstream in(packedPath, std::ios::binary);
        start.resize(5);
        if (!in.read(start.data(), 5))
            start.clear();
    }
    if (start.size() != 5 || start.compare(0, 4, "PK\x03\x04") != 0 || start[4] > kVersionNeeded) {
        error = packedPath + ": the zip archive does not start with a 2.0 local header";
        std::error_code ec;
        fs::remove(packedPath, ec);
        return false;
    }
    const std::string patch =
        start[4] == kVersionNeeded ? std::string("22") : std::string("22\x03\x04\x14", 5);
    if (!patchStart(packedPath, patch)) {
        error = packedPath + ": cannot be written";
        return false;
    }
    return true;
}

uint64_t unpackLimit(uint64_t packedSize)
{
    const uint64_t byRatio = packedSize > kMaxUnpackedBytes / kMaxUnpackRatio
                                 ? kMaxUnpackedBytes
                                 : packedSize * kMaxUnpackRatio;
    return std::min(kMaxUnpackedBytes, std::max(byRatio, kMinUnpackLimit));
}

namespace {

// Streams entry 0 of an open archive to `sink`, at most `limit` bytes; the
// entry's name (made safe) in `name`. False with `error` (`what` names the
// packed report in it).
bool readFirstEntry(zip_t *archive, uint64_t limit, const std::string &what, std::string &name,
                    const std::function<bool(std::string_view)> &sink, std::string &error)
{
    if (zip_get_num_entries(archive, 0) < 1) {
        error = what + ": the packed report holds no entry";
        return false;
    }
    const char *raw = zip_get_name(archive, 0, ZIP_FL_ENC_RAW);
    if (!raw) {
        error = what + ": " + zipError(archive);
        return false;
    }
    name = safeFileName(raw);
    if (name.empty()) {
        error = what + ": the entry has the unsafe name \"" + std::string(raw) + "\"";
        return false;
    }
    zip_file_t *entry = zip_fopen_index(archive, 0, 0);
    if (!entry) {
        error = what + ": " + zipError(archive);
        return false;
    }
    // The size the archive claims is not trusted: the bytes are counted as
    // they come.
    std::string block(64 * 1024, '\0');
    uint64_t total = 0;
    zip_int64_t n = 0;
    bool ok = true;
    while ((n = zip_fread(entry, block.data(), block.size())) > 0) {
        total += static_cast<uint64_t>(n);
        if (total > limit) {
            error = what + ": the entry expands past " + std::to_string(limit) +
                    " bytes, more than a packed report of its size may hold";
            ok = false;
            break;
        }
        if (!sink(std::string_view(block.data(), static_cast<size_t>(n)))) {
            error = what + ": the entry cannot be written";
            ok = false;
            break;
        }
    }
    if (ok && n < 0) {
        error = what + ": the entry cannot be extracted (" + std::string(zip_file_strerror(entry)) +
                ")";
        ok = false;
    }
    zip_fclose(entry);
    return ok;
}

} // namespace

bool unpackPackedFile(std::string &path, const Folders &folders, std::string &error)
{
    {
        InputFile packed(path);
        if (!packed.isOpen()) {
            error = path + ": cannot be read";
            return false;
        }
        if (packed.size() > kMaxUnpackedBytes) {
            error = path + ": " + std::to_string(packed.size()) +
                    " bytes, more than a packed report may have";
            return false;
        }
    }
    // libzip reads a copy with "PK" put back. The copy has a name of its own
    // (two programs may unpack reports of one name at once) and is removed
    // once the entry is out: a packed report may be as large as a gigabyte.
    const std::string copy = folders.tempSub + "/packed-" + uniqueWorkingName();
    std::error_code ec;
    if (!fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(copy, ec);
        error = path + ": cannot be copied to " + copy;
        return false;
    }
    struct RemoveCopy
    {
        const std::string &path;
        ~RemoveCopy()
        {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    } removeCopy{copy};
    if (!patchStart(copy, "PK")) {
        error = copy + ": cannot be written";
        return false;
    }
    const uint64_t limit = unpackLimit(fs::file_size(copy, ec));

    int code = 0;
    zip_t *archive = zip_open(copy.c_str(), ZIP_RDONLY, &code);
    if (!archive) {
        error = path + ": not a readable packed report (" + zipOpenError(code) + ")";
        return false;
    }
    std::string target;
    std::ofstream out;
    std::string name;
    // The file is made only once the entry's name is known to be safe; it
    // is written as the bytes come and deleted when anything goes wrong.
    const bool ok = readFirstEntry(
        archive, limit, path, name,
        [&](std::string_view bytes) {
            if (!out.is_open()) {
                target = folders.temp + "/" + name;
                fs::remove(target, ec);
                out.open(target, std::ios::binary | std::ios::trunc);
            }
            return static_cast<bool>(
                out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
        },
        error);
    zip_discard(archive);
    if (ok && target.empty()) {
        // An empty entry: an empty file.
        target = folders.temp + "/" + name;
        fs::remove(target, ec);
        out.open(target, std::ios::binary | std::ios::trunc);
    }
    if (out.is_open())
        out.close();
    if (!ok || !out) {
        if (ok)
            error = target + ": cannot be written";
        if (!target.empty())
            fs::remove(target, ec);
        return false;
    }
    path = target;
    return true;
}

bool unpackPackedBytes(std::string_view packed, std::string &entry, std::string &error,
                       std::string *entryName, const std::string &what)
{
    entry.clear();
    if (packed.size() < 4 || packed.size() > kMaxUnpackedBytes) {
        error = "not a packed report";
        return false;
    }
    std::string bytes(packed);
    bytes.replace(0, 2, "PK");
    zip_error_t zerror;
    zip_error_init(&zerror);
    zip_source_t *source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &zerror);
    zip_t *archive = source ? zip_open_from_source(source, ZIP_RDONLY, &zerror) : nullptr;
    if (!archive) {
        error = std::string("not a readable packed report (") + zip_error_strerror(&zerror) + ")";
        if (source)
            zip_source_free(source);
        zip_error_fini(&zerror);
        return false;
    }
    zip_error_fini(&zerror);
    std::string name;
    const bool ok = readFirstEntry(
        archive, unpackLimit(packed.size()), what, name,
        [&](std::string_view piece) {
            entry.append(piece);
            return true;
        },
        error);
    zip_discard(archive);
    if (!ok)
        entry.clear();
    else if (entryName)
        *entryName = std::move(name);
    return ok;
}

} // namespace kel
