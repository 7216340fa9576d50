// The viewer from its window's creation to the first page painted, for a
// one-line and a 1,000,000-line report, against creating and painting the
// window with no document, all in the same run; and how long until the page
// count of the large report is known (counted on the event loop after page
// 1 is shown).
//
// BM_WindowNoDocument is the baseline; BM_FirstPagePainted/1 and /1000000
// open the report as the start-up does (the window shown, then the
// document) and stop when the page picture has been painted.
// BM_PageCountKnown goes on from there, running the event loop as an idle
// window would, until "page 1 of +" has become the number. The platform is
// offscreen, so painting costs what it costs without a display server.
#include "app/text.h"
#include "render/clock.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/pagearea.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

using namespace kel;

namespace {

// A listing-like report: about 82 lines a page at the default MAXY.
std::string report(int lines)
{
    std::string text = "[HEADER]\r\n{F=arial;S=9}\r\n[DATA]\r\n";
    text.reserve(static_cast<size_t>(lines) * 48);
    for (int l = 1; l <= lines; ++l)
        text += "{300}Customer " + std::to_string(l) + "{4000;A=R}1250.00{A=L}{\\N}\r\n";
    return text;
}

struct Fixture
{
    test::TestEnvironment env;
    ExternalCommands commands;
    SystemClock clock;
    std::string oneLine = env.dir.write("one.kel", report(1));
    std::string million = env.dir.write("million.kel", report(1000000));
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
        window.resize(960, 720);
    }
    ViewerContext context;
    ViewerWindow window;
};

class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// Runs the event loop until `widget` has had a paint event.
void waitUntilPainted(QWidget *widget)
{
    PaintWatch watch;
    widget->installEventFilter(&watch);
    while (!watch.painted)
        QApplication::processEvents();
    widget->removeEventFilter(&watch);
}

void BM_WindowNoDocument(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        Viewer v(f);
        v.window.show();
        waitUntilPainted(v.window.pageArea());
    }
}

void BM_FirstPagePainted(benchmark::State &state)
{
    Fixture &f = fixture();
    const std::string &path = state.range(0) == 1 ? f.oneLine : f.million;
    for (auto _ : state) {
        Viewer v(f);
        v.window.show();
        if (!v.window.openDocument(path))
            state.SkipWithError("the report was refused");
        waitUntilPainted(v.window.pageArea()->picture());
    }
}

void BM_PageCountKnown(benchmark::State &state)
{
    Fixture &f = fixture();
    double afterFirstPage = 0;
    for (auto _ : state) {
        Viewer v(f);
        v.window.show();
        v.window.openDocument(f.million);
        waitUntilPainted(v.window.pageArea()->picture());
        QElapsedTimer counting;
        counting.start();
        while (!v.window.pageCountSettled())
            QApplication::processEvents();
        afterFirstPage += static_cast<double>(counting.nsecsElapsed()) / 1e6;
        if (v.window.statusText().endsWith(QStringLiteral(" +")))
            state.SkipWithError("the count did not reach the status bar");
    }
    state.counters["after first page ms"] =
        benchmark::Counter(afterFirstPage / static_cast<double>(state.iterations()));
}

} // namespace

BENCHMARK(BM_WindowNoDocument)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstPagePainted)->Arg(1)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PageCountKnown)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
