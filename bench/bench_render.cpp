// The rendering engine on a large report against a plain read of the same
// file in the same run.
//
// The figures to compare: BM_ScanAllPages (the scanning walk over every
// page, as counting pages or finding text does) and BM_DrawPage (one page
// drawn on a 96-dpi QImage through the painter surface) against
// BM_ReadFile (one sequential read of the report's bytes). BM_ReachPage (the
// walk that carries the font and barcode mode of the pages before a single
// page drawn alone) against BM_LocatePage (the scanning walk to the same
// page) gives the cost of drawing a page alone as it is drawn in turn.
// BM_PdfThousandPages (the print job writing pages 1 to 1,000 as a PDF
// file, the pages located first) against BM_ScanAllPages.
// BM_PdfLine/control (one line of text holding a control byte every other
// byte, printed on a PDF page) against BM_PdfLine/plain (a line of the same
// length without them), at two lengths: the ratio stays flat as the line
// grows when each byte is shaped once.
#include "benchenv.h"
#include "documents/opening.h"
#include "printing/pageoutput.h"
#include "printing/printjob.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"
#include "render/paintersurface.h"
#include "render/pdfsurface.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <filesystem>

using namespace kel;

namespace {

struct Fixture : bench::BenchEnvironment
{
    ExternalCommands commands;
    FindState find;
    SystemClock clock;
    SilentDiagnostics diagnostics;
    std::string report;
    std::unique_ptr<Document> document;

    explicit Fixture(int lines) : BenchEnvironment("kel-bench-render")
    {
        report = input("big-" + std::to_string(lines) + ".kel", [lines] {
            std::string text = "REPORT_TITLE=bench\r\nLM=720\r\nTM=720\r\n[HEADER]\r\n"
                               "{F=arial;S=9}\r\n[DATA]\r\n";
            for (int i = 0; i < lines; ++i) {
                text += "{300}Customer " + std::to_string(i) + "{3000}Invoice 2026-" +
                        std::to_string(i % 997) + "{6000;A=R}1250.00{B=Y;7000}" +
                        std::to_string(i % 50) + "{B=N;\\N}\r\n";
            }
            return text;
        });
        Opened r = openDocument(report, {folders, messages, settings, prompter, warnings}, {});
        if (r)
            document = std::move(r.value());
    }

    RenderServices services() { return {messages, diagnostics, commands, find, clock}; }
};

Fixture &fixture()
{
    static Fixture f(1000000);
    return f;
}

void BM_ReadFile(benchmark::State &state)
{
    bench::readWholeFile(state, fixture().report);
}

void BM_ScanAllPages(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.document) {
        state.SkipWithError("open failed");
        return;
    }
    int pages = 0;
    for (auto _ : state) {
        RenderEngine engine(*f.document, f.services());
        pages = engine.countPages();
        benchmark::DoNotOptimize(pages);
    }
    state.counters["pages"] = pages;
}

void BM_LocatePage(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.document) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        RenderEngine engine(*f.document, f.services());
        benchmark::DoNotOptimize(engine.locatePage(5000));
    }
}

void BM_ReachPage(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.document) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        RenderEngine engine(*f.document, f.services());
        benchmark::DoNotOptimize(engine.reachPage(5000, Target::Screen));
    }
}

void BM_DrawPage(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.document) {
        state.SkipWithError("open failed");
        return;
    }
    RenderEngine engine(*f.document, f.services());
    const int page = 5000;
    engine.locatePage(page);
    const DocumentSettings &s = f.document->settings;
    QImage image(static_cast<int>(s.pageWidth / 15), static_cast<int>(s.pageLength / 15),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    QPainter painter(&image);
    PainterSurface surface(painter, {QPointF(s.leftMargin, s.topMargin), 15});
    for (auto _ : state) {
        engine.drawPage(page, surface);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PdfThousandPages(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.document) {
        state.SkipWithError("open failed");
        return;
    }
    const std::string pdf = f.folders.inTemp("bench-thousand.pdf");
    int pages = 0;
    for (auto _ : state) {
        RenderEngine engine(*f.document, f.services());
        PdfFileOutput output(pdf, JobOptions{});
        const Result<PrintReport> printed = printPages(engine, output, false, 1, 1000);
        pages = printed ? printed->pagesPrinted : 0;
    }
    state.counters["pages"] = pages;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(pdf));
}

// One line of `length` bytes printed on a page of a PDF document; with
// `control` true every other byte is a control byte.
void BM_PdfLine(benchmark::State &state, bool control)
{
    const auto length = static_cast<size_t>(state.range(0));
    std::string line(length, 'x');
    if (control) {
        for (size_t i = 1; i < length; i += 2)
            line[i] = '\x01';
    }
    std::FILE *file = std::tmpfile();
    if (!file) {
        state.SkipWithError("no temporary file");
        return;
    }
    {
        PdfDocument pdf(file);
        for (auto _ : state) {
            Surface &surface = pdf.beginPage(12240, 15840, QPointF(), 1);
            surface.setFontName("arial");
            surface.print(line);
            pdf.endPage();
        }
    }
    std::fclose(file);
}

} // namespace

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanAllPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocatePage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReachPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdfThousandPages)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PdfLine, plain, false)->Arg(1000)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PdfLine, control, true)->Arg(1000)->Arg(8000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
