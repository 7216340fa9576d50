#include "render/pagestate.h"

namespace kel {

void PageState::reset(double headerSpacing)
{
    m_pageStart.assign(2, 0);
    m_pageStart[1] = 1;
    m_highestKnown = 1;
    m_currentPage = 1;
    m_lastPage = 0;
    linePos = 0;
    spacing = headerSpacing;
    defaultSpacing = headerSpacing;
    firstPageDrawn = false;
}

int PageState::pageStart(int p) const
{
    if (p < 1 || static_cast<size_t>(p) >= m_pageStart.size())
        return 0;
    return m_pageStart[static_cast<size_t>(p)];
}

void PageState::setPageStart(int p, int record)
{
    // The index grows one page at a time, as each page's walk finds where
    // the next one starts; a page further on cannot be known yet.
    if (p < 1 || p > kMaxPages || static_cast<size_t>(p) > m_pageStart.size())
        return;
    if (static_cast<size_t>(p) == m_pageStart.size())
        m_pageStart.push_back(0);
    m_pageStart[static_cast<size_t>(p)] = record;
    if (record != 0 && p > m_highestKnown)
        m_highestKnown = p;
}

std::string PageState::lastPageText() const
{
    return m_lastPage == 0 ? std::string("+") : std::to_string(m_lastPage);
}

bool PageState::stepNext()
{
    if (m_lastPage != 0 && m_currentPage >= m_lastPage)
        return false;
    if (m_currentPage >= kMaxPages) // the index's own bound, never a report's
        return false;
    ++m_currentPage;
    return true;
}

bool PageState::stepPrevious()
{
    if (m_currentPage <= 1)
        return false;
    --m_currentPage;
    return true;
}

} // namespace kel
