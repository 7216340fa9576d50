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

#include <functional>
#include <memory>
#include <string>

namespace kel {

class AllowedFolders;
class Clock;
struct Document;
class ExternalCommands;
class Surface;
class Diagnostics;
class Messages;

// What lives longer than one document: the messages, the sink of the
// diagnostics of every walk (markup warnings and refused values), the
// external command list, the find state of the viewer and the clock.
struct RenderServices
{
    const Messages &messages;
    Diagnostics &diagnostics;
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
    // Pictures are read only from these folders from now on (the console's
    // reports); the engine keeps a copy.
    void setAllowedPictureFolders(const AllowedFolders &folders);

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
    // Scans every page and gives their number; the last page is then known.
    int countPages();

    // Makes page p ready to be drawn (for `target`, on the screen at
    // drawing().zoomFactor) as the viewer draws it when it is reached by
    // paging from page 1: a page hands its font, font size and barcode mode
    // on to the next, so pages 1 to p - 1 are walked once more, cheaply
    // (nothing drawn, nothing reported, no command run), from the state of
    // a document just opened. False when page p lies beyond the document.
    bool reachPage(int p, Target target);

    // Called after each page walked by locatePage(), countPages() and
    // reachPage() with the page's number, so that a front end can show
    // progress and keep its window alive during a long walk.
    void onPageWalked(std::function<void(int page)> callback)
    {
        m_pageWalked = std::move(callback);
    }

private:
    // Scanning follows the line moves only; carrying follows the commands
    // that carry over to the next page as well.
    enum class Mode { Drawing, Scanning, Carrying };
    bool walk(int p, Mode mode, Surface *surface, Target target);

    const Document &m_document;
    RenderServices m_services;
    PageState m_pages;
    DrawingState m_drawing;
    LinkAreas m_links;
    std::string m_pictureFolder;
    std::shared_ptr<const AllowedFolders> m_allowedPictures;
    std::function<void(int page)> m_pageWalked;
    PictureCache m_pictures; // read once per document, for every page
};

} // namespace kel
