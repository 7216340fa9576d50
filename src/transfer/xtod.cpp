#include "transfer/xtod.h"

#include "app/prompter.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace kel {
namespace {

constexpr size_t kChunk = 64 * 1024;
const QString kTitle = QStringLiteral("Error XTOD");

struct FileCloser
{
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Whether the file holds a CR LF, also across two chunks.
bool hasCrLf(std::FILE *f, bool &readError)
{
    std::string chunk(kChunk, '\0');
    char previous = '\0';
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) {
        if (previous == '\r' && chunk[0] == '\n')
            return true;
        if (std::string_view(chunk.data(), got).find("\r\n") != std::string_view::npos)
            return true;
        previous = chunk[got - 1];
    }
    readError = std::ferror(f) != 0;
    return false;
}

// Appends `piece` with a CR before every LF.
void appendWithCrLf(std::string_view piece, std::string &out)
{
    for (char c : piece) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
}

} // namespace

std::string xtod(std::string_view bytes)
{
    if (bytes.find("\r\n") != std::string_view::npos)
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 32);
    appendWithCrLf(bytes, out);
    return out;
}

Status xtodFile(const std::string &source, const std::string &destination, Prompter &prompter)
{
    std::error_code ec;
    if (source == destination || std::filesystem::equivalent(source, destination, ec)) {
        prompter.error(-1,
                       QStringLiteral("Can't continue. Source and destination must be different."),
                       kTitle);
        return refusal(kNoMessage, "source and destination are the same file");
    }
    File in(std::fopen(source.c_str(), "rb"));
    if (!in)
        return refusal(kNoMessage, "cannot read " + source);
    File out(std::fopen(destination.c_str(), "wb"));
    if (!out) {
        prompter.error(-1,
                       QStringLiteral("XTOD operation will not be completed because system "
                                      "couldn't open destination file."),
                       kTitle);
        return refusal(kNoMessage, "cannot write " + destination);
    }
    bool failed = false;
    const bool unchanged = hasCrLf(in.get(), failed);
    std::rewind(in.get());
    std::string chunk(kChunk, '\0');
    std::string converted;
    size_t got = 0;
    while (!failed && (got = std::fread(chunk.data(), 1, chunk.size(), in.get())) > 0) {
        std::string_view piece(chunk.data(), got);
        if (!unchanged) {
            converted.clear();
            appendWithCrLf(piece, converted);
            piece = converted;
        }
        failed = std::fwrite(piece.data(), 1, piece.size(), out.get()) != piece.size();
    }
    failed = failed || std::ferror(in.get()) != 0;
    failed = std::fclose(out.release()) != 0 || failed;
    if (failed) {
        std::filesystem::remove(destination, ec);
        return refusal(kNoMessage, "cannot convert " + source + " into " + destination);
    }
    return {};
}

} // namespace kel
