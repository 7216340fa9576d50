// The viewer on a long report, and printing a long report, against plain
// reads of the same file in the same run.
//
// BM_ViewerLastPage opens a 20,000-page report and goes to its last page;
// BM_ViewerFindOnLastPage opens it and finds a text that stands only on the
// last page; BM_ReadFile is the baseline. BM_PrintToPdfPrinter prints a
// 1,000-page report through the viewer's print job to a "pdf:" printer, and
// BM_KeltoolPdf runs `keltool pdf` on the same report.
#include "app/text.h"
#include "render/clock.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/printdialog.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <benchmark/benchmark.h>

using namespace kel;

namespace {

std::string pagedReport(int pages)
{
    std::string text = "MAXY=100000\r\n[HEADER]\r\n{F=arial;S=9}\r\n[DATA]\r\n";
    for (int p = 1; p <= pages; ++p) {
        for (int l = 0; l < 4; ++l)
            text += "{300}Customer " + std::to_string(p) + "{4000;A=R}1250.00{A=L}{\\N}\r\n";
        text += p == pages ? "{300}GRAND TOTAL{\\N}\r\n" : "{\\NP}\r\n";
    }
    return text;
}

struct Fixture
{
    test::TestEnvironment env;
    ExternalCommands commands;
    SystemClock clock;
    std::string longReport = env.dir.write("long.kel", pagedReport(20000));
    std::string printReport = env.dir.write("print.kel", pagedReport(1000));
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

struct Viewer
{
    explicit Viewer(Fixture &f)
        : context{f.env.folders,  f.env.messages, f.env.settings, f.env.prompter,
                  f.env.warnings, f.commands,     f.clock,        {}},
          window(context)
    {
    }
    ViewerContext context;
    ViewerWindow window;
};

void BM_ReadFile(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        std::string bytes;
        readFile(f.longReport, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
}

void BM_ViewerOpen(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        Viewer v(f);
        v.window.openDocument(f.longReport);
    }
}

void BM_ViewerLastPage(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        Viewer v(f);
        v.window.openDocument(f.longReport);
        v.window.lastPage();
        if (v.window.currentPage() != 20000)
            state.SkipWithError("not on the last page");
    }
}

void BM_ViewerFindOnLastPage(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        Viewer v(f);
        v.window.openDocument(f.longReport);
        v.window.find(QStringLiteral("GRAND TOTAL"), {MatchCase::Yes, FindFrom::PageShown});
        if (v.window.currentPage() != 20000)
            state.SkipWithError("not found on the last page");
    }
}

void BM_PrintToPdfPrinter(benchmark::State &state)
{
    Fixture &f = fixture();
    const QString folder = QString::fromStdString(f.env.dir.path() + "/pdf");
    for (auto _ : state) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        Viewer v(f);
        v.window.openDocument(f.printReport);
        v.window.print({"pdf:" + folder.toStdString(), true, 1, 1, 1});
    }
    state.counters["pages/s"] = benchmark::Counter(1000.0 * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

void BM_KeltoolPdf(benchmark::State &state)
{
    Fixture &f = fixture();
    const QString out = QString::fromStdString(f.env.dir.file("keltool.pdf"));
    for (auto _ : state) {
        QProcess p;
        p.start(QStringLiteral(KEL_BIN_DIR "/keltool"),
                {QStringLiteral("pdf"), QString::fromStdString(f.printReport), QStringLiteral("-o"),
                 out});
        p.waitForFinished(-1);
        if (p.exitCode() != 0)
            state.SkipWithError("keltool pdf failed");
    }
    state.counters["pages/s"] = benchmark::Counter(1000.0 * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerLastPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerFindOnLastPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintToPdfPrinter)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeltoolPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
