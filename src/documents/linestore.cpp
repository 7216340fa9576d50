#include "documents/linestore.h"

#include "app/text.h"

namespace kel {
namespace {
constexpr std::string_view kBlank = " ";
constexpr std::string_view kEnd = "END_OF_FILE";
} // namespace

LineStore::LineStore() : LineStore(std::string(), {}) {}

LineStore::LineStore(std::string data, std::vector<Span> lines)
    : m_data(std::move(data)), m_records(std::move(lines))
{
}

LineStore LineStore::fromLines(const std::vector<std::string> &lines)
{
    std::string data;
    std::vector<Span> spans;
    spans.reserve(lines.size());
    for (const std::string &l : lines) {
        spans.emplace_back(data.size(), l.size());
        data += l;
    }
    return LineStore(std::move(data), std::move(spans));
}

std::string_view LineStore::raw(int n) const
{
    if (n < 1 || n > count())
        return {};
    // The blank and the end record are not in the buffer: appending them
    // would copy a whole report once more.
    if (n == 1)
        return kBlank;
    if (n == count())
        return kEnd;
    const Span &s = m_records[static_cast<size_t>(n - 2)];
    return std::string_view(m_data).substr(s.begin(), s.length());
}

std::string_view LineStore::trimmedView(std::string_view s)
{
    return trimmed(s);
}

} // namespace kel
