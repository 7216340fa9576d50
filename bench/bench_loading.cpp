// Loading a large report against plain reads of the same file.
//
// The file is written once into the system's temporary folder; the figures
// to compare are BM_Open against BM_ReadFile (one sequential read) and
// BM_CountLines (the work of "wc -l").
#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/warnings.h"
#include "documents/opening.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>

using namespace kel;

namespace {

struct Fixture
{
    Folders folders;
    Messages messages;
    SettingsRecord settings;
    ScriptedPrompter prompter;
    Warnings warnings{prompter, messages};
    std::string report;

    explicit Fixture(int lines)
    {
        std::string error;
        folders.program = std::filesystem::temp_directory_path().string();
        folders.temp = std::filesystem::temp_directory_path() / "kel-bench";
        folders.tempSub = folders.temp + "/Temp";
        prepareTempFolder(folders.temp, error);
        report = folders.temp + "/big-" + std::to_string(lines) + ".kel";
        if (!std::filesystem::exists(report)) {
            std::string text = "REPORT_TITLE=bench\r\n[HEADER]\r\n{F=arial;S=9}\r\n[DATA]\r\n";
            for (int i = 0; i < lines; ++i) {
                text += "{300}Customer " + std::to_string(i) + "{3000}Invoice 2026-" +
                        std::to_string(i % 997) + "{6000;A=R}1250.00{\\N}\r\n";
            }
            writeFile(report, text);
        }
    }
};

Fixture &fixture()
{
    static Fixture f(1000000);
    return f;
}

void BM_ReadFile(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        std::string bytes;
        readFile(f.report, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
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
        OpenResult r =
            openDocument(f.report, {f.folders, f.messages, f.settings, f.prompter, f.warnings}, {});
        if (!r.ok())
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(r.document->lines.count());
    }
}

} // namespace

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
