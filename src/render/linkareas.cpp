#include "render/linkareas.h"

namespace kel {

void LinkAreas::place(int number, const QRectF &rect, std::string target)
{
    if (number < 1 || number > kMaxAreas) {
        ++m_dropped;
        return;
    }
    for (LinkArea &area : m_areas) {
        if (area.number == number) {
            area.rect = rect;
            area.target = std::move(target);
            return;
        }
    }
    m_areas.push_back({number, rect, std::move(target)});
}

void LinkAreas::clear()
{
    m_areas.clear();
    m_dropped = 0;
}

const LinkArea *LinkAreas::find(int number) const
{
    for (const LinkArea &area : m_areas) {
        if (area.number == number)
            return &area;
    }
    return nullptr;
}

const LinkArea *LinkAreas::at(double x, double y) const
{
    // Later areas lie over earlier ones.
    for (auto it = m_areas.rbegin(); it != m_areas.rend(); ++it) {
        const QRectF r = it->rect.normalized();
        if (x >= r.left() && x <= r.right() && y >= r.top() && y <= r.bottom())
            return &*it;
    }
    return nullptr;
}

} // namespace kel
