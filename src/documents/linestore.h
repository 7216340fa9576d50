// The data lines of the open report as numbered records.
//
// Record 1 is a single blank standing for the "[DATA]" line, records 2.. are
// the data lines in file order and the last record is "END_OF_FILE". The
// records are views into one buffer holding the working copy, so a report of
// a million lines costs one copy of its bytes and one offset per line.
#pragma once

#include "app/files.h"

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

    struct Span
    {
        uint64_t begin;
        uint32_t length;
    };

    LineStore();
    // A store over `data`, whose data lines are the given spans of it.
    LineStore(std::string data, std::vector<Span> lines);
    static LineStore fromLines(const std::vector<std::string> &lines);

    // Number of records, the blank and the end record included.
    int count() const { return static_cast<int>(m_records.size()); }
    // Record n (1-based), untrimmed; empty outside 1..count().
    std::string_view raw(int n) const;
    // Record n trimmed of surrounding blanks, as the page walk reads it.
    std::string_view record(int n) const { return trimmedView(raw(n)); }

private:
    static std::string_view trimmedView(std::string_view s);
    std::string m_data; // the blank, the buffer's lines, "END_OF_FILE"
    std::vector<Span> m_records;
};

} // namespace kel
