#include "render/drawingstate.h"

namespace kel {

void DrawingState::resetForDocument()
{
    lineX = 0;
    align = Align::Left;
    trimText = true;
    barMode = false;
    fontName = "arial";
    fontSize = 8;
    linkCount = 0;
    linkPending = false;
    linkTarget.clear();
    groupText.clear();
}

void DrawingState::resetForPage()
{
    lineX = 0;
    align = Align::Left;
    trimText = true;
    linkCount = 0;
    linkPending = false;
    groupText.clear();
}

} // namespace kel
