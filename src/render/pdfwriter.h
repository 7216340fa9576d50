// The bytes of a PDF file: numbered objects, deflated streams, the
// cross-reference table and the trailer. It knows nothing of pages, fonts
// or pictures; PdfDocument builds those from it.
//
// Objects are written as soon as they are complete and only their offsets
// are kept, so a file of any length costs a few bytes of memory per object.
// Object numbers may be reserved before the object is written (a page names
// its parent and its resources before they exist). Writing stops at the
// first failure of the file; failed() then stays true and finish() fails.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct libdeflate_compressor;

namespace kel {

enum class Compression { None, Deflate };

class PdfWriter
{
public:
    // Writes into `file` (opened for binary writing, not owned, closed by
    // the caller after finish()). The header is written at once.
    explicit PdfWriter(std::FILE *file);
    ~PdfWriter();
    PdfWriter(const PdfWriter &) = delete;
    PdfWriter &operator=(const PdfWriter &) = delete;

    // A new object number, for an object written later.
    int reserve();
    // "N 0 obj" for a reserved number, the body through write(), "endobj".
    void beginObject(int number);
    void endObject();
    void write(std::string_view bytes);
    // A whole stream object: `entries` are the dictionary's own entries
    // (without "<<", ">>", /Length or /Filter); `data` is deflated (zlib
    // format, one compressor reused for every object) when asked.
    void streamObject(int number, std::string_view entries, std::string_view data,
                      Compression compression);

    // The cross-reference table and the trailer naming the catalog and the
    // information dictionary; flushes the file. False when anything failed
    // or an object reserved was never written.
    bool finish(int catalog, int info);
    bool failed() const { return m_failed; }

private:
    void deflate(std::string_view data);

    std::FILE *m_file;
    uint64_t m_offset = 0;
    std::vector<uint64_t> m_offsets; // per object number - 1; 0 when not written
    libdeflate_compressor *m_deflater = nullptr;
    std::vector<unsigned char> m_deflated;
    bool m_failed = false;
};

// Appends a number as PDF writes it: at most two decimals, no exponent, no
// "-0". Values beyond the range of a page are clamped to +-1e9.
void appendPdfNumber(std::string &out, double v);
// The number appendPdfNumber() writes for `v`, in hundredths, so that
// differences of written positions can be written exactly.
long long pdfHundredths(double v);
// Appends a number given in hundredths, as appendPdfNumber() writes it.
void appendPdfHundredths(std::string &out, long long hundredths);
// A name made of the printable bytes of `text` other than the delimiters,
// so it can follow "/" as it stands.
std::string pdfNameOf(std::string_view text);

} // namespace kel
