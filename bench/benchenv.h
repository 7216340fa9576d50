// What the benchmarks share: an environment in a temporary folder of their
// own, generated input files kept between runs, and the plain-read baseline.
#pragma once

#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/warnings.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <functional>
#include <string>

namespace kel::bench {

struct BenchEnvironment
{
    Folders folders;
    Messages messages;
    SettingsRecord settings;
    ScriptedPrompter prompter;
    Warnings warnings{prompter, messages};

    // Folders under the system's temporary folder, in `name`.
    explicit BenchEnvironment(const std::string &name)
    {
        std::string error;
        folders.program = std::filesystem::temp_directory_path().string();
        folders.temp = (std::filesystem::temp_directory_path() / name).string();
        folders.tempSub = folders.temp + "/Temp";
        prepareTempFolder(folders.temp, error);
    }

    // Each opening names its working files for itself, so the iterations of
    // a benchmark leave one set each: they go when the benchmark ends. The
    // generated inputs stay.
    ~BenchEnvironment() { removeWorkingFiles(); }
    BenchEnvironment(const BenchEnvironment &) = delete;
    BenchEnvironment &operator=(const BenchEnvironment &) = delete;

    void removeWorkingFiles() const
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        for (fs::directory_iterator it(folders.temp, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            const bool working = name.find(".$$1") != std::string::npos ||
                                 name.rfind("$$$", 0) == 0 || name.rfind("KELTMP", 0) == 0 ||
                                 name.rfind("EXP-", 0) == 0;
            std::error_code rm;
            if (working && it->is_regular_file(rm))
                fs::remove(it->path(), rm);
        }
    }

    // The path of a generated input in the folder, written by `make` when
    // it is not there yet (inputs are large; later runs reuse them).
    std::string input(const std::string &fileName, const std::function<std::string()> &make) const
    {
        const std::string path = folders.inTemp(fileName);
        if (!std::filesystem::exists(path))
            writeFile(path, make());
        return path;
    }
};

// The baseline of every figure: one sequential read of the whole file.
inline void readWholeFile(benchmark::State &state, const std::string &path)
{
    for (auto _ : state) {
        std::string bytes;
        readFile(path, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
}

} // namespace kel::bench
