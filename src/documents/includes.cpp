#include "documents/includes.h"

#include "app/text.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace kel {
namespace {

constexpr size_t kIncludeBlock = 256 * 1024;

std::string includeName(std::string_view line, const IncludeRules &rules)
{
    // The text after the "=" (up to the next "=" where the rules say so),
    // without its last character (the close delimiter).
    const std::string_view value =
        rules.nameEndsAtEquals ? field(line, '=', 2) : line.substr(line.find('=') + 1);
    return std::string(value.substr(0, value.empty() ? 0 : value.size() - 1));
}

std::string directiveOf(const IncludeRules &rules)
{
    return std::string(1, upperChar(rules.open)) + "COPY=";
}

std::string_view candidate(std::string_view line, const IncludeRules &rules)
{
    return rules.trimLine ? trimmed(line) : line;
}

IncludeOutcome readInPieces(InputFile &file, uint64_t room, const IncludePiece &piece,
                            std::string &block)
{
    if (!file.isOpen())
        return IncludeOutcome::Unreadable;
    if (file.size() > room)
        return IncludeOutcome::TooLarge;
    block.resize(kIncludeBlock);
    for (;;) {
        const int64_t n = file.read(block.data(), block.size());
        if (n < 0)
            return IncludeOutcome::Unreadable;
        if (n == 0 || !piece(std::string_view(block.data(), static_cast<size_t>(n))))
            return IncludeOutcome::Read;
    }
}

} // namespace

IncludeReader includesFromFolder(std::string baseFolder, bool onlyInFolder)
{
    auto block = std::make_shared<std::string>();
    return [baseFolder = std::move(baseFolder), block,
            onlyInFolder](const std::string &name, uint64_t room, const IncludePiece &piece) {
        const bool relative = fs::path(name).is_relative();
        InputFile file;
        if (!(onlyInFolder && relative))
            file = InputFile(name);
        if (!file.isOpen() && !baseFolder.empty() && relative)
            file = InputFile((fs::path(baseFolder) / name).string());
        return readInPieces(file, room, piece, *block);
    };
}

IncludeReader includesFromAllowedFolders(
    std::string baseFolder, AllowedFolders allowed,
    std::function<void(const std::string &name, const std::string &resolved)> refused)
{
    auto block = std::make_shared<std::string>();
    return [baseFolder = std::move(baseFolder), allowed = std::move(allowed),
            refused = std::move(refused),
            block](const std::string &name, uint64_t room, const IncludePiece &piece) {
        const std::optional<std::string> path = allowed.resolve(name, baseFolder);
        if (!path) {
            if (refused) {
                const fs::path p(name);
                refused(name, p.is_relative() ? (fs::path(baseFolder) / p).string() : name);
            }
            return IncludeOutcome::Unreadable;
        }
        InputFile file(*path);
        return readInPieces(file, room, piece, *block);
    };
}

bool mayHoldIncludes(std::string_view report, const IncludeRules &rules)
{
    // Only the "=" of a "COPY=" can begin a directive: each "=" is found with
    // memchr, and only a line that holds "COPY=" is looked at closely. Most
    // reports hold none, and then no line is split.
    const std::string directive = directiveOf(rules);
    const char *data = report.data();
    const size_t n = report.size();
    for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, '=', n - (p - data))));
         ++p) {
        const size_t at = static_cast<size_t>(p - data);
        if (at < 4 || !equalsNoCase(report.substr(at - 4, 4), "COPY"))
            continue;
        const size_t lineStart = report.find_last_of("\r\n", at);
        const size_t begin = lineStart == std::string_view::npos ? 0 : lineStart + 1;
        const size_t end = std::min(report.find_first_of("\r\n", at), n);
        if (startsWithNoCase(candidate(report.substr(begin, end - begin), rules), directive))
            return true;
    }
    return false;
}

IncludePass::IncludePass(char open, char close, std::string_view errorText, IncludeReader reader,
                         uint64_t maxBytes, int64_t maxLines)
    : IncludePass(IncludeRules{open, close, true, true, std::string(errorText), "\\n",
                               kMaxDocumentBytes, true},
                  std::move(reader), maxBytes, maxLines)
{
}

IncludePass::IncludePass(IncludeRules rules, IncludeReader reader, uint64_t maxBytes,
                         int64_t maxLines)
    : m_rules(std::move(rules)), m_reader(std::move(reader)), m_maxBytes(maxBytes),
      m_maxLines(maxLines)
{
    m_directive = directiveOf(m_rules);
    m_errorLine = std::string(1, m_rules.open) + "100" + m_rules.close + m_rules.errorText +
                  m_rules.open + m_rules.lineEnd + m_rules.close + "\r\n";
}

void IncludePass::reserve(uint64_t bytes)
{
    m_out.reserve(static_cast<size_t>(std::min(bytes, m_maxBytes)));
}

bool IncludePass::checkLimits()
{
    if (m_out.size() > m_maxBytes || m_lines > m_maxLines) {
        m_tooLarge = true;
        std::string().swap(m_out);
    }
    return !m_tooLarge;
}

void IncludePass::append(std::string_view bytes, LineState &state, bool reportLines)
{
    const char *data = bytes.data();
    const size_t n = bytes.size();
    size_t i = 0;
    // The next CR and LF at or after i, found with memchr and kept until
    // passed, so each byte is searched once per mark.
    size_t nextCr = 0;
    size_t nextLf = 0;
    auto find = [&](char c, size_t from) {
        const void *p = std::memchr(data + from, c, n - from);
        return p ? static_cast<size_t>(static_cast<const char *>(p) - data) : n;
    };
    nextCr = find('\r', 0);
    nextLf = find('\n', 0);
    while (i < n && !m_tooLarge) {
        if (state.skipLf) {
            state.skipLf = false;
            if (data[i] == '\n') {
                ++i;
                continue;
            }
        }
        if (nextCr < i)
            nextCr = find('\r', i);
        if (nextLf < i)
            nextLf = find('\n', i);
        const size_t end = std::min(nextCr, nextLf);
        if (end > i) {
            m_out.append(data + i, end - i);
            state.open = true;
            if (!checkLimits())
                return;
        }
        if (end == n)
            return;
        state.skipLf = data[end] == '\r';
        i = end + 1;
        endLine(state, reportLines);
    }
}

void IncludePass::endLine(LineState &state, bool reportLine)
{
    state.open = false;
    if (reportLine) {
        ++m_documentLines;
        const std::string_view line = candidate(
            std::string_view(m_out).substr(m_lineStart, m_out.size() - m_lineStart), m_rules);
        if (startsWithNoCase(line, m_directive)) {
            ++m_includes;
            const std::string name = includeName(line, m_rules);
            m_out.resize(m_lineStart);
            include(name);
            m_lineStart = m_out.size();
            return;
        }
    }
    m_out += "\r\n";
    ++m_lines;
    checkLimits();
    m_lineStart = m_out.size();
}

void IncludePass::include(const std::string &name)
{
    const size_t before = m_out.size();
    const int64_t linesBefore = m_lines;
    LineState state;
    IncludeOutcome outcome = IncludeOutcome::Unreadable;
    if (!name.empty() && m_reader) {
        const uint64_t room =
            std::min(m_maxBytes - std::min<uint64_t>(m_out.size(), m_maxBytes),
                     m_rules.maxIncludedBytes - std::min(m_included, m_rules.maxIncludedBytes));
        outcome = m_reader(name, room, [&](std::string_view piece) {
            append(piece, state, false);
            return !m_tooLarge;
        });
    }
    if (outcome == IncludeOutcome::TooLarge && m_rules.oversizedRefuses) {
        m_tooLarge = true;
        std::string().swap(m_out);
    }
    if (m_tooLarge)
        return;
    const bool read = outcome == IncludeOutcome::Read;
    if (read && state.open)
        endLine(state, false);
    // A file that cannot be read (or is no regular file), a read error part
    // way, and an empty file all leave the one error line.
    if (!read || m_out.size() == before) {
        m_out.resize(before);
        m_lines = linesBefore;
        m_out += m_errorLine;
        ++m_lines;
        checkLimits();
        return;
    }
    m_included += m_out.size() - before;
}

bool IncludePass::feed(std::string_view bytes)
{
    if (!m_tooLarge)
        append(bytes, m_report, true);
    return !m_tooLarge;
}

bool IncludePass::finish()
{
    if (!m_tooLarge && m_report.open)
        endLine(m_report, true);
    return !m_tooLarge;
}

} // namespace kel
