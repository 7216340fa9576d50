// Converting a large text listing into a report and opening it, against
// reading the same listing plainly in the same run.
//
// The listing (200,000 lines) is written once into the system's temporary
// folder. BM_ConvertAndOpen is what the viewer does with a ".txt" file:
// conversion into "$$$.$$$", then the whole opening of the report. The
// figures to compare it with are BM_CountLines (the work of "wc -l") and
// BM_Convert (the conversion alone).
//
// BM_ConvertOpenAndPdf goes on to a PDF of every page, as "keltool pdf"
// does with a listing; BM_TextToPdf is cups-filters' texttopdf making a PDF
// of the same listing in a child process (skipped when it is not
// installed). Compare their processor times: the CPU column of the first
// (this process) with the Time column of the second (the child's user and
// system time, which the machine's other load does not inflate); "bytes"
// is the size of each PDF.
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
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
        Opened r = openDocument(f.listing,
                                {f.folders, f.messages, f.settings, f.prompter, f.warnings}, {});
        if (!r.ok()) {
            state.SkipWithError("open failed");
            break;
        }
        benchmark::DoNotOptimize(r.value()->lines.count());
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
        Opened r = openDocument(f.listing,
                                {f.folders, f.messages, f.settings, f.prompter, f.warnings}, {});
        if (!r.ok()) {
            state.SkipWithError("open failed");
            break;
        }
        ExternalCommands commands;
        FindState find;
        SystemClock clock;
        SilentDiagnostics diagnostics;
        RenderEngine engine(*r.value(),
                            RenderServices{f.messages, diagnostics, commands, find, clock});
        PdfFileOutput output(pdf, JobOptions{});
        const Result<PrintReport> printed = printPages(engine, output, true, 1, 0);
        pages = printed ? printed->pagesPrinted : 0;
    }
    state.counters["pages"] = pages;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(pdf));
}

double childSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_TextToPdf(benchmark::State &state)
{
    static const char *const kFilter = "/usr/lib/cups/filter/texttopdf";
    if (access(kFilter, X_OK) != 0) {
        state.SkipWithError("cups-filters' texttopdf is not installed");
        return;
    }
    Fixture &f = fixture();
    const std::string pdf = f.folders.inTemp("bench-texttopdf.pdf");
    // A filter's arguments: job, user, title, copies, options, file.
    const char *args[] = {kFilter, "1", "bench", "listing", "1", "", f.listing.c_str(), nullptr};
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, pdf.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const double before = childSeconds();
        pid_t child = 0;
        int status = 0;
        const bool ran = posix_spawn(&child, kFilter, &actions, nullptr, const_cast<char **>(args),
                                     environ) == 0 &&
                         waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                         WEXITSTATUS(status) == 0;
        posix_spawn_file_actions_destroy(&actions);
        if (!ran) {
            state.SkipWithError("texttopdf failed");
            return;
        }
        state.SetIterationTime(childSeconds() - before);
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(pdf));
}

} // namespace

BENCHMARK(BM_CountLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertAndOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertOpenAndPdf)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextToPdf)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
