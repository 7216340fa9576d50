#include "render/pdfwriter.h"

#include <charconv>
#include <cmath>
#include <zlib.h>

namespace kel {
namespace {

constexpr int kDeflateLevel = 6;

} // namespace

PdfWriter::PdfWriter(std::FILE *file) : m_file(file)
{
    m_zlib = new z_stream{};
    if (deflateInit(m_zlib, kDeflateLevel) != Z_OK) {
        delete m_zlib;
        m_zlib = nullptr;
    }
    // The binary comment tells transfer programs that the file is binary.
    write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
}

PdfWriter::~PdfWriter()
{
    if (m_zlib) {
        deflateEnd(m_zlib);
        delete m_zlib;
    }
}

int PdfWriter::reserve()
{
    m_offsets.push_back(0);
    return static_cast<int>(m_offsets.size());
}

void PdfWriter::beginObject(int number)
{
    if (number < 1 || number > static_cast<int>(m_offsets.size())) {
        m_failed = true;
        return;
    }
    m_offsets[static_cast<size_t>(number - 1)] = m_offset;
    char head[32];
    const auto end = std::to_chars(head, head + sizeof head - 8, number).ptr;
    const std::string_view tail = " 0 obj\n";
    write(std::string_view(head, static_cast<size_t>(end - head)));
    write(tail);
}

void PdfWriter::endObject()
{
    write("\nendobj\n");
}

void PdfWriter::write(std::string_view bytes)
{
    if (m_failed || bytes.empty())
        return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
        m_failed = true;
        return;
    }
    m_offset += bytes.size();
}

void PdfWriter::deflate(std::string_view data)
{
    m_deflated.resize(deflateBound(m_zlib, static_cast<uLong>(data.size())) + 16);
    deflateReset(m_zlib);
    m_zlib->next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    m_zlib->avail_in = static_cast<uInt>(data.size());
    m_zlib->next_out = m_deflated.data();
    m_zlib->avail_out = static_cast<uInt>(m_deflated.size());
    if (::deflate(m_zlib, Z_FINISH) != Z_STREAM_END) {
        m_failed = true;
        m_deflated.clear();
        return;
    }
    m_deflated.resize(m_deflated.size() - m_zlib->avail_out);
}

void PdfWriter::streamObject(int number, std::string_view entries, std::string_view data,
                             Compression compression)
{
    // zlib takes at most 4 GB at once; no page or picture comes near it.
    const bool deflated =
        compression == Compression::Deflate && m_zlib && data.size() < (uint64_t(1) << 32) - 1024;
    if (deflated)
        deflate(data);
    const std::string_view body =
        deflated
            ? std::string_view(reinterpret_cast<const char *>(m_deflated.data()), m_deflated.size())
            : data;
    std::string dict = "<<";
    dict += entries;
    dict += deflated ? "/Filter/FlateDecode/Length " : "/Length ";
    dict += std::to_string(body.size());
    dict += ">>\nstream\n";
    beginObject(number);
    write(dict);
    write(body);
    write("\nendstream");
    endObject();
}

bool PdfWriter::finish(int catalog, int info)
{
    const uint64_t xref = m_offset;
    std::string table = "xref\n0 " + std::to_string(m_offsets.size() + 1) + "\n";
    table += "0000000000 65535 f \n";
    char entry[24];
    for (uint64_t offset : m_offsets) {
        if (offset == 0)
            m_failed = true; // reserved and never written
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n",
                      static_cast<unsigned long long>(offset));
        table += entry;
    }
    table += "trailer\n<</Size " + std::to_string(m_offsets.size() + 1) + "/Root " +
             std::to_string(catalog) + " 0 R/Info " + std::to_string(info) + " 0 R>>\nstartxref\n" +
             std::to_string(xref) + "\n%%EOF\n";
    write(table);
    if (std::fflush(m_file) != 0)
        m_failed = true;
    return !m_failed;
}

void appendPdfNumber(std::string &out, double v)
{
    if (!std::isfinite(v))
        v = 0;
    v = std::fmax(-1e9, std::fmin(1e9, v));
    long long hundredths = std::llround(v * 100);
    if (hundredths < 0) {
        out += '-';
        hundredths = -hundredths;
    }
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, hundredths / 100).ptr;
    out.append(digits, static_cast<size_t>(end - digits));
    const int fraction = static_cast<int>(hundredths % 100);
    if (fraction != 0) {
        out += '.';
        out += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0)
            out += static_cast<char>('0' + fraction % 10);
    }
}

void appendPdfString(std::string &out, std::string_view bytes)
{
    out += '(';
    for (char c : bytes) {
        switch (c) {
        case '(':
        case ')':
        case '\\':
            out += '\\';
            out += c;
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    out += ')';
}

std::string pdfNameOf(std::string_view text)
{
    std::string name;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u > 32 && u < 127 && std::string_view("()<>[]{}/%#").find(c) == std::string_view::npos)
            name += c;
    }
    return name.empty() ? "Font" : name;
}

} // namespace kel
