// Packed files: the zip archive around a container, made and read with
// libzip.
#include "documents/packed.h"

#include "app/text.h"

#include <filesystem>
#include <fstream>
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

bool unpackPackedFile(std::string &path, const Folders &folders, std::string &error)
{
    const std::string copy = folders.tempSub + "/" + fs::path(path).filename().string();
    std::error_code ec;
    if (!fs::exists(copy, ec) || !fs::equivalent(path, copy, ec)) {
        fs::remove(copy, ec);
        if (!fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec)) {
            error = path + ": cannot be copied to " + copy;
            return false;
        }
    }
    if (!patchStart(copy, "PK")) {
        error = copy + ": cannot be written";
        return false;
    }

    int code = 0;
    zip_t *archive = zip_open(copy.c_str(), ZIP_RDONLY, &code);
    if (!archive) {
        error = path + ": not a readable packed report (" + zipOpenError(code) + ")";
        return false;
    }
    bool ok = false;
    std::string target;
    if (zip_get_num_entries(archive, 0) < 1) {
        error = path + ": the packed report holds no entry";
    } else if (const char *raw = zip_get_name(archive, 0, ZIP_FL_ENC_RAW); !raw) {
        error = path + ": " + zipError(archive);
    } else if (const std::string name = safeFileName(raw); name.empty()) {
        error = path + ": the entry has the unsafe name \"" + std::string(raw) + "\"";
    } else if (zip_file_t *entry = zip_fopen_index(archive, 0, 0); !entry) {
        error = path + ": " + zipError(archive);
    } else {
        target = folders.temp + "/" + name;
        fs::remove(target, ec);
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        std::string block(64 * 1024, '\0');
        zip_int64_t n = 0;
        while (out && (n = zip_fread(entry, block.data(), block.size())) > 0)
            out.write(block.data(), static_cast<std::streamsize>(n));
        out.close();
        ok = n == 0 && static_cast<bool>(out);
        if (!ok) {
            error = path + ": the entry cannot be extracted (" +
                    std::string(zip_file_strerror(entry)) + ")";
            fs::remove(target, ec);
        }
        zip_fclose(entry);
    }
    zip_discard(archive);
    if (ok)
        path = target;
    return ok;
}

} // namespace kel
