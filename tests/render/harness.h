// A document in memory with its render engine, for the render tests.
#pragma once

#include "documents/opening.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"
#include "render/recordingsurface.h"
#include "support/testenv.h"

#include <memory>
#include <string>
#include <vector>

namespace kel::test {

// Remembers the targets it was asked to open.
class RecordingOpener : public TargetOpener
{
public:
    void open(const std::string &target) override { opened.push_back(target); }
    std::vector<std::string> opened;
};

struct Harness
{
    // A report whose data lines are `data`; settings as a header without
    // keys gives them, adjusted by the caller before engine() is first used.
    explicit Harness(std::vector<std::string> data);

    // The engine over the document (made on first use).
    RenderEngine &engine();

    // Screen drawing of page p (pages before it located by scanning) on a
    // recording surface; the lines after the page reset, empty texts left out.
    std::vector<std::string> screen(int p = 1, double zoom = 1);
    // The same on the printer.
    std::vector<std::string> printer(int p = 1);
    // Every line of the last drawing, page reset included.
    std::vector<std::string> allLines;

    TestEnvironment env;
    // Each diagnostic of a walk is prompted at once, through env.warnings.
    PromptingDiagnostics diagnostics{env.warnings};
    RecordingOpener opener;
    ExternalCommands commands{&opener};
    FindState find;
    FixedClock clock{QDateTime(QDate(2026, 2, 3), QTime(8, 5, 9))};
    Document document;

private:
    std::vector<std::string> draw(int p, Target target, double zoom);
    std::unique_ptr<RenderEngine> m_engine;
};

// The lines after the page reset ("style solid"), without empty texts.
std::vector<std::string> afterReset(const std::vector<std::string> &lines);
// Lines that start with `prefix`.
std::vector<std::string> only(const std::vector<std::string> &lines, std::string_view prefix);

// A QGuiApplication for the tests that paint with real fonts.
void ensureGuiApplication();

} // namespace kel::test
