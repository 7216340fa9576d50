// The drawing state the markup interpreter shares across the lines of a
// page walk, and across pages for what the page reset keeps.
#pragma once

#include <string>

namespace kel {

enum class Align { Left, Right, Center };
enum class Target { Screen, Printer };

struct DrawingState
{
    // Surface twips: where the next text segment goes. 0 at every line start.
    double lineX = 0;
    Align align = Align::Left; // reset per page
    bool trimText = true;      // reset per page
    bool barMode = false;      // kept across pages; off in a newly opened document
    double zoomFactor = 1;     // screen only; 1 is 100 %

    // The font as the markup last set it ("F" and "S", before the zoom);
    // kept across pages and applied to the surface at every page start.
    std::string fontName = "arial";
    double fontSize = 8;

    // Link state (screen): areas made on this page, the pending link.
    int linkCount = 0;
    bool linkPending = false;
    std::string linkTarget;

    // A command group still open at the end of a line, collected further on
    // the next lines until its closing delimiter.
    std::string groupText;

    // A document was opened: font "arial" 8, no barcode mode, the link state
    // cleared.
    void resetForDocument();
    // The start of a page walk: alignment "L", trimming on, no link made or
    // pending, no group left open from another page. Font, zoom and barcode
    // mode are kept.
    void resetForPage();
};

} // namespace kel
