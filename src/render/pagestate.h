// The page index of the open document and the vertical line position.
//
// A report has no page table of its own: pageStart(p) becomes known when
// page p - 1 has been walked (see pagewalk.h). The index has no fixed size:
// it grows by one int per page as pages become known, so every page of a
// report can be reached. The state lives as long as the open document;
// reset() is called by every opening.
#pragma once

#include <limits>
#include <string>
#include <vector>

namespace kel {

class PageState
{
public:
    // The highest page number the index can address, so that p + 1 is
    // still an int. It is no table size and no limit a report meets: every
    // page holds at least one record of the line store.
    static constexpr int kMaxPages = std::numeric_limits<int>::max() - 1;

    PageState() { reset(200); }
    // The state of a document just opened: page 1 current, last page
    // unknown, pageStart(1) = 1, linePos 0, spacing from the header.
    void reset(double defaultSpacing);

    // The record just before the first record of page p; 0 while unknown
    // and for p outside 1..kMaxPages.
    int pageStart(int p) const;
    // Grows the index by the page after the highest in it; ignored for p
    // outside 1..kMaxPages and for pages further on.
    void setPageStart(int p, int record);
    bool isKnown(int p) const { return pageStart(p) != 0; }
    // The highest page whose start is known (at least 1).
    int highestKnownPage() const { return m_highestKnown; }

    int currentPage() const { return m_currentPage; }
    void setCurrentPage(int p) { m_currentPage = p; }

    // The last page once the end of the data has been met, else 0 ("+").
    int lastPage() const { return m_lastPage; }
    bool lastPageKnown() const { return m_lastPage != 0; }
    void setLastPage(int p) { m_lastPage = p; }
    // "+" while unknown, else the number: the status text's "page x of y".
    std::string lastPageText() const;
    // True when p lies past a known last page (never while it is unknown).
    bool isBeyondLastPage(int p) const { return m_lastPage != 0 && p > m_lastPage; }

    // Page moves for the viewer: change currentPage only and say whether it
    // changed; the caller then draws. Next is refused at a known last page,
    // previous at page 1.
    bool stepNext();
    bool stepPrevious();

    // Page units (twips at 100 %): the vertical line position on the page
    // being walked, the spacing in force and the header's spacing.
    double linePos = 0;
    double spacing = 200;
    double defaultSpacing = 200;

    // Whether page 1 has been drawn since opening: its first drawing starts
    // at the blank record 1, later ones at record 2.
    bool firstPageDrawn = false;

private:
    std::vector<int> m_pageStart; // index 0..the highest page known, 0 for unknown
    int m_highestKnown = 1;
    int m_currentPage = 1;
    int m_lastPage = 0;
};

} // namespace kel
