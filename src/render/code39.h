// Code 39 barcodes in the element widths of this system.
//
// A segment is wrapped in the start/stop mark "#" and each character drawn
// after a gap as five bars and four spaces (the start/stop pattern carries a
// fifth, trailing narrow space). Widths in twips for the module multiplier
// w (BARWIDTH 1 to 3, any other value drawn as 1): gap 33w, narrow bar 10w,
// wide bar 30w, narrow space 16w, wide space 36w, all times the zoom on the
// screen. Lower-case letters take the patterns of their capitals.
// Characters outside the 44 of the symbology are skipped: they draw
// nothing, not even their gap, so the rest of the segment stays readable.
#pragma once

#include <string_view>

namespace kel {

class Surface;

// The nine (start/stop: ten) pattern digits of a byte: "4" wide bar, "3"
// narrow bar, "2" wide space, "1" narrow space. Empty when the byte has none.
std::string_view code39Pattern(char c);

// The multiplier the BARWIDTH text stands for: 1, 2 or 3; anything else is 1.
int code39Multiplier(std::string_view barWidth);

// Draws "#" + text + "#" from the surface's current point, bars as filled
// boxes from the current y down one line of text in the current font. The
// current point, the line width and the line style are as they were after.
// `scale` is the zoom factor (1 on the printer). Nothing for an empty text.
void drawCode39(Surface &surface, std::string_view text, int multiplier, double scale);

} // namespace kel
