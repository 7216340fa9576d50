// The link areas of the page on the screen: rectangles the viewer lays over
// the page picture, each opening its target when clicked.
//
// Rectangles are in twips of the screen surface (page coordinates already
// multiplied by the zoom factor), measured from the page's origin at the
// margins. Areas are numbered 1 to kMaxAreas per page; an area whose number
// is already on the page moves to the new place and takes the new target.
// Areas numbered beyond kMaxAreas are not made: the text is drawn but is
// not clickable, and droppedCount() says how many were left out.
#pragma once

#include <QRectF>
#include <string>
#include <vector>

namespace kel {

struct LinkArea
{
    int number = 0;
    QRectF rect;        // twips of the screen surface; width may be 0
    std::string target; // as written in the markup (bytes)
};

class LinkAreas
{
public:
    static constexpr int kMaxAreas = 100;

    // Places area `number` (1..kMaxAreas) over `rect`; see above for others.
    void place(int number, const QRectF &rect, std::string target);
    // Removes every area; the page reset does this.
    void clear();

    const std::vector<LinkArea> &areas() const { return m_areas; }
    // The area with that number, or null.
    const LinkArea *find(int number) const;
    // The topmost area containing the point (twips of the surface), or null.
    const LinkArea *at(double x, double y) const;
    int droppedCount() const { return m_dropped; }

private:
    std::vector<LinkArea> m_areas; // in order of creation
    int m_dropped = 0;
};

} // namespace kel
