// Loading a large report against plain reads of the same file.
//
// The file is written once into the system's temporary folder; the figures
// to compare are BM_Open against BM_ReadFile (one sequential read) and
// BM_CountLines (the work of "wc -l").
#include "benchenv.h"
#include "documents/opening.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>

using namespace kel;

namespace {

struct Fixture : bench::BenchEnvironment
{
    std::string report;

    explicit Fixture(int lines) : BenchEnvironment("kel-bench")
    {
        report = input("big-" + std::to_string(lines) + ".kel", [lines] {
            std::string text = "REPORT_TITLE=bench\r\n[HEADER]\r\n{F=arial;S=9}\r\n[DATA]\r\n";
            for (int i = 0; i < lines; ++i) {
                text += "{300}Customer " + std::to_string(i) + "{3000}Invoice 2026-" +
                        std::to_string(i % 997) + "{6000;A=R}1250.00{\\N}\r\n";
            }
            return text;
        });
    }
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

void BM_CountLines(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        std::string bytes;
        readFile(f.report, bytes);
        benchmark::DoNotOptimize(std::count(bytes.begin(), bytes.end(), '\n'));
    }
}

void BM_Open(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        Opened r =
            openDocument(f.report, {f.folders, f.messages, f.settings, f.prompter, f.warnings}, {});
        if (!r.ok())
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(r.value()->lines.count());
    }
}

} // namespace

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
