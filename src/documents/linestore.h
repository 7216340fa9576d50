// The data lines of the open report as numbered records.
//
// Record 1 is a single blank standing for the "[DATA]" line, records 2.. are
// the data lines in file order and the last record is "END_OF_FILE". The
// data records are views into the buffer the store was given (the working
// copy as it was read) and the two others are constants, so a report of a
// million lines is held once, with one offset per line.
#pragma once

#include "app/files.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

// The largest document the loader holds: its working copy may not grow past
// kMaxDocumentBytes (the most the system reads whole, 1 GiB). Each record
// costs 16 bytes on top of its bytes, so the lines are limited too, or a
// gigabyte of empty lines would cost eight more: 32 Mi lines is sixteen
// times a 100 MB report.
inline constexpr uint64_t kMaxDocumentBytes = kMaxReadBytes;
inline constexpr int64_t kMaxDocumentLines = int64_t{1} << 25;

class LineStore
{
public:
    static constexpr size_t kMaxRecordLength = 500;

    // Where a line lies in the buffer, in 8 bytes (a million records cost
    // 8 MB): offsets up to 1 TB, lengths up to 16 MB (records are at most
    // kMaxRecordLength; a longer line is refused when a document is opened).
    class Span
    {
    public:
        Span(uint64_t begin, uint64_t length)
            : m_packed(begin << kLengthBits | std::min<uint64_t>(length, kMaxLength))
        {
        }
        uint64_t begin() const { return m_packed >> kLengthBits; }
        uint64_t length() const { return m_packed & kMaxLength; }

    private:
        static constexpr int kLengthBits = 24;
        static constexpr uint64_t kMaxLength = (uint64_t(1) << kLengthBits) - 1;
        uint64_t m_packed;
    };

    LineStore();
    // A store over `data` (moved in, never copied), whose data lines are the
    // given spans of it.
    LineStore(std::string data, std::vector<Span> lines);
    static LineStore fromLines(const std::vector<std::string> &lines);

    // Number of records, the blank and the end record included.
    int count() const { return static_cast<int>(m_records.size()) + 2; }
    // Record n (1-based), untrimmed; empty outside 1..count().
    std::string_view raw(int n) const;
    // Record n trimmed of surrounding blanks, as the page walk reads it.
    std::string_view record(int n) const { return trimmedView(raw(n)); }

private:
    static std::string_view trimmedView(std::string_view s);
    std::string m_data;          // the working copy
    std::vector<Span> m_records; // its data lines, records 2 to count() - 1
};

} // namespace kel
