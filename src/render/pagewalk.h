// The render engine of the open document: page index, page walks and the
// state they share.
//
// Walking page p: the drawing state is reset, the prologue lines (up to
// "[DATA]") and the COMMON line are rendered, then records from
// pageStart(p) + 1 until "END_OF_FILE" or until linePos rises above MAXY;
// the record that crosses MAXY belongs to the page. The walk then knows
// pageStart(p + 1), or the last page. Drawing runs the markup interpreter on
// a surface; scanning runs a cheap examiner that only follows the commands
// that move linePos (and counts find hits), so both give the same breaks.
#pragma once

#include "render/drawingstate.h"
#include "render/findstate.h"
#include "render/linkareas.h"
#include "render/pagestate.h"
#include "render/picturecache.h"

#include <string>

namespace kel {

class Clock;
struct Document;
class ExternalCommands;
class Surface;
class Warnings;

// What lives longer than one document: the warning routine (its messages
// and prompter), the external command list, the find state of the viewer
// and the clock.
struct RenderServices
{
    Warnings &warnings;
    ExternalCommands &commands;
    FindState &find;
    const Clock &clock;
};

class RenderEngine
{
public:
    // A document just opened: page 1 current, last page unknown, the font
    // "arial" 8. The document and the services must outlive the engine.
    RenderEngine(const Document &document, const RenderServices &services);

    const Document &document() const { return m_document; }
    PageState &pages() { return m_pages; }
    const PageState &pages() const { return m_pages; }
    DrawingState &drawing() { return m_drawing; }
    LinkAreas &linkAreas() { return m_links; }
    FindState &find() { return m_services.find; }

    // Folder of pictures named without a folder; by default the folder of the
    // document's original file.
    void setPictureFolder(std::string folder) { m_pictureFolder = std::move(folder); }
    const std::string &pictureFolder() const { return m_pictureFolder; }

    // Screen drawing of page p at drawing().zoomFactor: clears the surface and
    // walks the page. False (nothing done) while pageStart(p) is unknown.
    bool drawPage(int p, Surface &surface);
    // Printer drawing of page p, unzoomed: linePos starts at the top margin
    // and the page ends past MAXY + the top margin, as on the screen.
    bool printPage(int p, Surface &surface);
    // The walk of page p with the scanning examiner; draws nothing.
    bool scanPage(int p);

    // Scans forward from the highest known page until pageStart(p) is known
    // or the last page has been met; true when page p exists.
    bool locatePage(int p);
    // Scans every page and gives their number (the table's limit,
    // PageState::kMaxPages, when the report has more).
    int countPages();

private:
    enum class Mode { Drawing, Scanning };
    bool walk(int p, Mode mode, Surface *surface, Target target);

    const Document &m_document;
    RenderServices m_services;
    PageState m_pages;
    DrawingState m_drawing;
    LinkAreas m_links;
    std::string m_pictureFolder;
    PictureCache m_pictures; // read once per document, for every page
};

} // namespace kel
