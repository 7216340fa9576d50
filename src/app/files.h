// Reading the files that documents, queues and other machines name.
//
// Every path the system reads from (a report, an include, a listing, a
// template, a picture, a conversion table, a container) may come from a
// hostile document. Only regular files are read: "{COPY=/dev/zero}" would
// read forever, a FIFO or /dev/stdin would block the program, a folder reads
// nothing sensible. Anything that is not a regular file is treated exactly
// as a missing file. A file is opened without blocking (opening a FIFO would
// otherwise wait for a writer) and its kind and size are taken from the open
// file, so what was checked is what is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kel {

// The largest file the system reads whole, and the largest document it holds
// in memory: 1 GiB. A report of a million lines is about 60 MB; anything near
// this size is refused at once by its size, before a byte is read.
inline constexpr uint64_t kMaxReadBytes = uint64_t{1} << 30;

// A regular file opened for reading. Move-only; closed by the destructor.
class InputFile
{
public:
    InputFile() = default;
    // Opens `path` when it names a regular file (links are followed) that
    // can be read; isOpen() says whether it did.
    explicit InputFile(const std::string &path);
    ~InputFile();
    InputFile(InputFile &&other) noexcept;
    InputFile &operator=(InputFile &&other) noexcept;
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // The size in bytes at the time of opening.
    uint64_t size() const { return m_size; }

    // Reads up to `length` bytes from the current position: the number of
    // bytes read, 0 at the end of the file, -1 on a read error.
    int64_t read(char *buffer, size_t length);
    // Reads exactly `length` bytes at `offset` without moving the current
    // position; false when the file holds fewer or cannot be read.
    bool readAt(uint64_t offset, char *buffer, size_t length);

private:
    void close();

    int m_fd = -1;
    uint64_t m_size = 0;
};

// True when `path` names a regular file (links followed) that can be opened
// for reading.
bool isRegularFile(const std::string &path);

enum class ReadOutcome {
    Read,
    NotAFile, // missing, unreadable, or not a regular file
    TooLarge, // more than the limit; nothing is read
    Failed,   // a read error part way
};

// Reads a whole regular file of at most `maxBytes` into `out`. The size is
// looked at before reading, so a file that is too large costs nothing; a
// file that grows past the limit while it is read is refused too.
ReadOutcome readRegularFile(const std::string &path, std::string &out,
                            uint64_t maxBytes = kMaxReadBytes);

// Reads a regular file line by line in blocks, holding one block and the
// current line. Lines end at CR LF, LF or a lone CR (as LineSplitter); the
// end marks are not part of the line; a last line without an end mark counts.
// A line longer than `maxLine` is not held: reading stops there as failed.
class LineReader
{
public:
    explicit LineReader(InputFile &file, size_t blockSize = 1 << 20,
                        uint64_t maxLine = kMaxReadBytes);

    // The next line in `line`, valid until the next call; false at the end
    // of the file, on a read error or at a line that is too long (failed()
    // then says so).
    bool next(std::string_view &line);
    bool failed() const { return m_failed; }

private:
    // Appends the next block to the buffer; false at the end or on error.
    bool fill();

    InputFile &m_file;
    size_t m_blockSize;
    uint64_t m_maxLine;
    std::string m_buffer;
    size_t m_pos = 0;
    size_t m_scanned = 0; // bytes from m_pos known to hold no line end
    bool m_end = false;
    bool m_failed = false;
};

} // namespace kel
