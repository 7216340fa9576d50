#include "render/navigator.h"

#include "render/pagewalk.h"

#include <algorithm>

namespace kel {

void Navigator::progress(int page)
{
    if (m_progress)
        m_progress(page);
}

bool Navigator::scan(int p)
{
    PageState &pages = m_engine.pages();
    if (!m_engine.scanPage(p))
        return false;
    // The walk of p either met the end of the data or recorded where page
    // p + 1 starts; neither means the page index has no room left.
    return pages.lastPageKnown() || pages.isKnown(p + 1);
}

bool Navigator::walkUntil(const std::function<bool()> &reached)
{
    PageState &pages = m_engine.pages();
    while (!reached() && !pages.lastPageKnown()) {
        const int h = pages.highestKnownPage();
        pages.setCurrentPage(h);
        const bool more = scan(h);
        progress(h);
        if (!more)
            return false;
    }
    return true;
}

Navigation Navigator::next()
{
    if (!m_engine.pages().stepNext())
        return {};
    return {m_engine.pages().currentPage()};
}

Navigation Navigator::previous()
{
    if (!m_engine.pages().stepPrevious())
        return {};
    return {m_engine.pages().currentPage()};
}

Navigation Navigator::first()
{
    m_engine.pages().setCurrentPage(1);
    return {1};
}

Navigation Navigator::last()
{
    PageState &pages = m_engine.pages();
    // Pages already walked need no second walk: go on from the highest one
    // whose start is known until the end of the data. When the index is
    // full first, its last page is as far as anyone can go.
    if (!walkUntil([] { return false; }) && !pages.lastPageKnown())
        pages.setLastPage(pages.highestKnownPage());
    pages.setCurrentPage(pages.lastPage());
    return {pages.lastPage()};
}

Navigation Navigator::goTo(int n)
{
    PageState &pages = m_engine.pages();
    const int shown = pages.currentPage();
    if (n < 1 || n > PageState::kMaxPages)
        return {shown};
    if (pages.isBeyondLastPage(n)) {
        pages.setCurrentPage(pages.lastPage());
        return {pages.lastPage(), 167};
    }
    walkUntil([&] { return pages.isKnown(n); });
    if (pages.isKnown(n) && !pages.isBeyondLastPage(n)) {
        pages.setCurrentPage(n);
        return {n};
    }
    // The end of the data came first: its last page is as near as it gets.
    if (pages.lastPageKnown()) {
        pages.setCurrentPage(pages.lastPage());
        return {pages.lastPage()};
    }
    pages.setCurrentPage(shown);
    return {shown};
}

Navigation Navigator::find(const std::string &text, FindOptions options)
{
    FindState &find = m_engine.find();
    find.text = text;
    find.matchCase = options.matchCase == MatchCase::Yes;
    PageState &pages = m_engine.pages();
    if (options.from == FindFrom::FirstPage)
        pages.setCurrentPage(1);
    // The search steps to the next page before it scans: one back, so that
    // its first step lands on the page shown (or on page 1).
    pages.setCurrentPage(pages.currentPage() - 1);
    return findNext(FindMode::Normal);
}

Navigation Navigator::findAgain()
{
    if (!m_engine.find().active())
        return {};
    return findNext(FindMode::Again);
}

Navigation Navigator::findNext(FindMode mode)
{
    PageState &pages = m_engine.pages();
    FindState &find = m_engine.find();
    find.hits = 0;
    // Where to stay when nothing is found: the page that was shown.
    const int shown = mode == FindMode::Again ? pages.currentPage() : pages.currentPage() + 1;
    int page = pages.currentPage();
    // The search never wraps: at the last page it scans that page again.
    do {
        if (!pages.lastPageKnown() || page < pages.lastPage())
            ++page;
        pages.setCurrentPage(page);
        const bool more = scan(page);
        progress(page);
        if (!more)
            break;
    } while (!(pages.lastPageKnown() && page == pages.lastPage()) && find.hits == 0);
    if (find.hits == 0) {
        pages.setCurrentPage(std::max(1, shown));
        return {0, 280};
    }
    return {page};
}

bool Navigator::countSome(int pages)
{
    PageState &state = m_engine.pages();
    for (int i = 0; i < pages && !countSettled(); ++i) {
        if (!scan(state.highestKnownPage()) && !state.lastPageKnown())
            m_indexFull = true;
    }
    return countSettled();
}

bool Navigator::countSettled() const
{
    return m_engine.pages().lastPageKnown() || m_indexFull;
}

void Navigator::countAll()
{
    while (!countSome(1000)) {
    }
}

} // namespace kel
