// Deflating the pages of a printed listing: zlib's levels 1 to 6 against
// libdeflate's, on the content streams the PDF writer makes.
//
// The listing (200,000 lines, a form feed on every 60th line of its own:
// 3,334 pages) is printed once into a PDF; its page contents are read back
// and inflated, and each benchmark deflates all of them again, one stream
// per page as the writer does. "bytes" is the deflated size of all pages,
// "vs_gzip6" that size against zlib level 6 of the listing's text as one
// stream (what gzip -6 makes of it), the floor of the size goal. Compare
// the Time column of the rows with each other: same input, same run.
#include "benchenv.h"
#include "documents/opening.h"
#include "printing/pageoutput.h"
#include "printing/printjob.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

using namespace kel;

namespace {

struct Fixture : bench::BenchEnvironment
{
    std::vector<std::string> contents; // the page contents, inflated
    double textDeflated = 0;           // the listing's text at zlib level 6

    Fixture() : BenchEnvironment("kel-bench-deflate")
    {
        settings.row(DocType::Txt) = {"", "PORTRAIT", "16840", "11907", "Courier New", "9"};
        const std::string listing = input("listing-200000-ff.txt", [] {
            std::string text;
            for (int i = 0; i < 200000; ++i) {
                if (i % 60 == 59) {
                    text += "\f\r\n";
                    continue;
                }
                text += "  " + std::to_string(100000 + i) + "  Customer {" + std::to_string(i) +
                        "}   Invoice 2026-" + std::to_string(i % 997) +
                        "        1250.00   caf\xe9\r\n";
            }
            return text;
        });
        std::string text;
        readFile(listing, text);
        uLongf size = compressBound(static_cast<uLong>(text.size()));
        std::vector<Bytef> out(size);
        compress2(out.data(), &size, reinterpret_cast<const Bytef *>(text.data()),
                  static_cast<uLong>(text.size()), 6);
        textDeflated = static_cast<double>(size);

        Opened r = openDocument(listing, {folders, messages, settings, prompter, warnings}, {});
        if (!r.ok())
            return;
        ExternalCommands commands;
        FindState find;
        SystemClock clock;
        SilentDiagnostics diagnostics;
        RenderEngine engine(*r.value(),
                            RenderServices{messages, diagnostics, commands, find, clock});
        const std::string pdf = folders.inTemp("bench-deflate.pdf");
        {
            PdfFileOutput output(pdf, JobOptions{});
            if (!printPages(engine, output, true, 1, 0))
                return;
        }
        readContents(pdf);
    }

    // Every stream without its own dictionary entries is a page content.
    void readContents(const std::string &pdf)
    {
        std::string bytes;
        readFile(pdf, bytes);
        const std::string head = "<</Filter/FlateDecode/Length ";
        for (size_t at = bytes.find(head); at != std::string::npos; at = bytes.find(head, at + 1)) {
            const size_t length = std::stoul(bytes.substr(at + head.size(), 20));
            const size_t start = bytes.find("stream\n", at) + 7;
            std::string out(1 << 22, '\0');
            uLongf outSize = static_cast<uLongf>(out.size());
            if (uncompress(reinterpret_cast<Bytef *>(out.data()), &outSize,
                           reinterpret_cast<const Bytef *>(bytes.data() + start),
                           static_cast<uLong>(length)) != Z_OK)
                continue;
            out.resize(outSize);
            contents.push_back(std::move(out));
        }
    }

    void report(benchmark::State &state, double bytes)
    {
        size_t plain = 0;
        for (const std::string &c : contents)
            plain += c.size();
        state.counters["bytes"] = bytes;
        state.counters["vs_gzip6"] = bytes / textDeflated;
        state.counters["pages"] = static_cast<double>(contents.size());
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain));
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void BM_Zlib(benchmark::State &state)
{
    Fixture &f = fixture();
    if (f.contents.empty()) {
        state.SkipWithError("no listing PDF");
        return;
    }
    z_stream z{};
    deflateInit(&z, static_cast<int>(state.range(0)));
    std::vector<Bytef> out;
    double bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const std::string &c : f.contents) {
            out.resize(deflateBound(&z, static_cast<uLong>(c.size())));
            deflateReset(&z);
            z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(c.data()));
            z.avail_in = static_cast<uInt>(c.size());
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, Z_FINISH);
            bytes += static_cast<double>(out.size() - z.avail_out);
        }
    }
    deflateEnd(&z);
    f.report(state, bytes);
}

void BM_Libdeflate(benchmark::State &state)
{
    Fixture &f = fixture();
    if (f.contents.empty()) {
        state.SkipWithError("no listing PDF");
        return;
    }
    libdeflate_compressor *c = libdeflate_alloc_compressor(static_cast<int>(state.range(0)));
    std::vector<char> out;
    double bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const std::string &page : f.contents) {
            out.resize(libdeflate_zlib_compress_bound(c, page.size()));
            bytes += static_cast<double>(
                libdeflate_zlib_compress(c, page.data(), page.size(), out.data(), out.size()));
        }
    }
    libdeflate_free_compressor(c);
    f.report(state, bytes);
}

} // namespace

BENCHMARK(BM_Zlib)->DenseRange(1, 6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libdeflate)->DenseRange(1, 9)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
