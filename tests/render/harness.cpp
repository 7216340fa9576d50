#include "harness.h"

#include <QGuiApplication>

namespace kel::test {

Harness::Harness(std::vector<std::string> data)
{
    document.lines = LineStore::fromLines(data);
    document.settings.maxY = "16340";
}

RenderEngine &Harness::engine()
{
    if (!m_engine) {
        m_engine = std::make_unique<RenderEngine>(
            document, RenderServices{env.messages, diagnostics, commands, find, clock});
    }
    return *m_engine;
}

std::vector<std::string> Harness::draw(int p, Target target, double zoom)
{
    RenderEngine &e = engine();
    if (!e.locatePage(p))
        return {"page not found"};
    RecordingSurface surface;
    if (target == Target::Printer) {
        e.printPage(p, surface);
    } else {
        e.drawing().zoomFactor = zoom;
        e.drawPage(p, surface);
    }
    allLines = surface.lines();
    return afterReset(allLines);
}

std::vector<std::string> Harness::screen(int p, double zoom)
{
    return draw(p, Target::Screen, zoom);
}

std::vector<std::string> Harness::printer(int p)
{
    return draw(p, Target::Printer, 1);
}

std::vector<std::string> afterReset(const std::vector<std::string> &lines)
{
    std::vector<std::string> out;
    bool started = false;
    for (const std::string &l : lines) {
        if (!started) {
            started = l == "style solid";
            continue;
        }
        if (l.size() > 3 && l.compare(l.size() - 3, 3, " \"\"") == 0 && l.rfind("text ", 0) == 0)
            continue;
        out.push_back(l);
    }
    return out;
}

std::vector<std::string> only(const std::vector<std::string> &lines, std::string_view prefix)
{
    std::vector<std::string> out;
    for (const std::string &l : lines) {
        if (l.rfind(prefix, 0) == 0)
            out.push_back(l);
    }
    return out;
}

void ensureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_render";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

} // namespace kel::test

// LeakSanitizer reads this in sanitizer builds: fontconfig keeps the
// fallback patterns Qt asks it for (unknown family names) until exit.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
