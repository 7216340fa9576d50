// The markup interpreter: the input is opened as a report (in memory) and
// its first pages are drawn on a RecordingSurface, for the screen at a zoom
// and for the printer. No EXEC ever starts a process: the external commands
// have no opener, though commands are marked as started by the user so that
// their bookkeeping runs.
#include "fuzzsupport.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/findstate.h"
#include "render/pagewalk.h"
#include "render/recordingsurface.h"

#include <QDateTime>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte: the zoom (1 to 4) and whether a find is active.
    const double zoom = 1 + (data[0] & 3);
    const bool finding = (data[0] & 4) != 0;
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    const kel::Opened r = kel::fuzz::openReportBytes(bytes);
    if (!r.ok())
        return 0;

    kel::fuzz::Environment &env = kel::fuzz::environment();
    static const kel::FixedClock clock(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58)));
    kel::ExternalCommands commands; // no opener: nothing is ever started
    commands.setStartedByCommand(true);
    kel::FindState find;
    if (finding)
        find.text = "a";
    // What the walks report is kept (up to the collector's bound) and
    // dropped: the fuzzer looks for crashes, not for boxes.
    kel::CollectingDiagnostics diagnostics;
    kel::RenderEngine engine(*r.value(), {env.messages, diagnostics, commands, find, clock});
    engine.setPictureFolder("/nonexistent");
    engine.drawing().zoomFactor = zoom;
    kel::RecordingSurface surface;
    constexpr int kPages = 4;
    for (int p = 1; p <= kPages && engine.locatePage(p); ++p) {
        engine.drawPage(p, surface);
        surface.clearLines();
        engine.printPage(p, surface);
        surface.clearLines();
        diagnostics.clear();
    }
    return 0;
}
