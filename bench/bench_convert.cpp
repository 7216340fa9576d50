// Converting a large text listing into a report and opening it, against
// reading the same listing plainly in the same run.
//
// The listing (200,000 lines) is written once into the system's temporary
// folder. BM_ConvertAndOpen is what the viewer does with a ".txt" file:
// conversion into "$$$.$$$", then the whole opening of the report. The
// figures to compare it with are BM_CountLines (the work of "wc -l") and
// BM_Convert (the conversion alone).
#include "benchenv.h"
#include "documents/opening.h"
#include "documents/textconvert.h"
#include "printing/pageoutput.h"
#include "printing/printjob.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"

#include <QGuiApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>

using namespace kel;

namespace {

struct Fixture : bench::BenchEnvironment
{
    std::string listing;

    explicit Fixture(int lines) : BenchEnvironment("kel-bench")
    {
        settings.row(DocType::Txt) = {"", "PORTRAIT", "16840", "11907", "Courier New", "9"};
        listing = input("listing-" + std::to_string(lines) + "-v2.txt", [lines] {
            std::string text;
            for (int i = 0; i < lines; ++i) {
                // A page break every 60 lines, as printer listings have.
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
    }
};

Fixture &fixture()
{
    static Fixture f(200000);
    return f;
}

void BM_CountLines(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        std::string bytes;
        readFile(f.listing, bytes);
        benchmark::DoNotOptimize(std::count(bytes.begin(), bytes.end(), '\n'));
    }
}

void BM_Convert(benchmark::State &state)
{
    Fixture &f = fixture();
    const std::string out = f.folders.inTemp("bench-converted.kel");
    const ListingSettings s = listingSettings(f.settings, DocType::Txt);
    for (auto _ : state) {
        if (convertTextToReport(f.listing, out, s) != ConvertResult::Converted)
            state.SkipWithError("conversion failed");
    }
}

void BM_ConvertAndOpen(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        OpenResult r = openDocument(
            f.listing, {f.folders, f.messages, f.settings, f.prompter, f.warnings}, {});
        if (!r.ok()) {
            state.SkipWithError("open failed");
            break;
        }
        benchmark::DoNotOptimize(r.document->lines.count());
    }
}

// The whole way of a listing to paper: conversion, opening, and the print
// job drawing every page into a PDF file.
void BM_ConvertOpenAndPdf(benchmark::State &state)
{
    Fixture &f = fixture();
    const std::string pdf = f.folders.inTemp("bench-listing.pdf");
    int pages = 0;
    for (auto _ : state) {
        OpenResult r = openDocument(
            f.listing, {f.folders, f.messages, f.settings, f.prompter, f.warnings}, {});
        if (!r.ok()) {
            state.SkipWithError("open failed");
            break;
        }
        ExternalCommands commands;
        FindState find;
        SystemClock clock;
        SilentDiagnostics diagnostics;
        RenderEngine engine(*r.document,
                            RenderServices{f.messages, diagnostics, commands, find, clock});
        PdfFileOutput output(pdf, JobOptions{});
        const Result<PrintReport> printed = printPages(engine, output, true, 1, 0);
        pages = printed ? printed->pagesPrinted : 0;
    }
    state.counters["pages"] = pages;
}

} // namespace

BENCHMARK(BM_CountLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertAndOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertOpenAndPdf)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
