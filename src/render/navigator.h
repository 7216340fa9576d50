// Page navigation of the open document: what the viewer's page commands,
// go to page and find do, without a window.
//
// A report has no page table, so reaching a page means walking the pages
// before it (see pagewalk.h). The navigator holds that policy: it moves the
// page state's current page, scans forward where a page's start is not yet
// known, and answers with a Navigation the front end shows: the page to
// draw, and the message to show first. It draws nothing itself (the front
// end draws the page it is told to, at its zoom, on its surface) and never
// pumps events: long scans call the progress callback after every page, and
// the front end decides whether to repaint or keep its window alive there.
//
// The scanning walks also let the page count be learnt in slices while the
// window is idle (countSome), so "page x of +" can become the number
// without blocking the window.
#pragma once

#include <functional>
#include <string>

namespace kel {

class RenderEngine;

// What the front end shows after a navigation.
struct Navigation
{
    // The page to draw and show (the page state's current page); 0 when the
    // page on the screen stays as it is.
    int page = 0;
    // A message to show before the page: 167 "the document ends at page"
    // (followed by the last page), 280 "the text was not found"; 0 none.
    int message = 0;

    bool showsPage() const { return page != 0; }
};

enum class MatchCase { No, Yes };
enum class FindFrom { PageShown, FirstPage };

struct FindOptions
{
    MatchCase matchCase = MatchCase::No;
    FindFrom from = FindFrom::PageShown;
};

class Navigator
{
public:
    // Called after each page a long walk scans, with the page number (the
    // current page meanwhile); the front end may show it and repaint.
    using Progress = std::function<void(int page)>;

    // The engine must outlive the navigator.
    explicit Navigator(RenderEngine &engine) : m_engine(engine) {}
    void onProgress(Progress progress) { m_progress = std::move(progress); }

    // The next page; nothing at the last page. The previous page; nothing at
    // page 1.
    Navigation next();
    Navigation previous();
    Navigation first();
    // Scans forward until the end of the data is met, then the last page.
    Navigation last();
    // Page n, walking forward to it while its start is unknown. Below 1 or
    // beyond the page index the page shown is drawn again; past a known last
    // page message 167 and the last page; past the end met on the walk, the
    // last page.
    Navigation goTo(int n);

    // A new search (the find dialog): from the page shown, or from page 1,
    // for the first page on which a line contains `text`. Not found: message
    // 280, and the current page returns to the page shown.
    Navigation find(const std::string &text, FindOptions options);
    // The same search again from the page after the one shown; nothing when
    // no text was ever searched for.
    Navigation findAgain();

    // Scans up to `pages` pages past the highest known one. True when the
    // page count is settled: the last page is known, or the page index is
    // full. The current page does not change.
    bool countSome(int pages);
    bool countSettled() const;
    // Scans to the end of the count at once (a print dialog's page range).
    void countAll();

private:
    enum class FindMode { Normal, Again };
    Navigation findNext(FindMode mode);
    // Walks forward from the highest page whose start is known, a page at a
    // time, until `reached` holds or the end of the data is met. False when
    // the page index filled up first.
    bool walkUntil(const std::function<bool()> &reached);
    // Scans page p (its start known); false when the index cannot hold the
    // page after it.
    bool scan(int p);
    void progress(int page);

    RenderEngine &m_engine;
    Progress m_progress;
    bool m_indexFull = false; // the count stopped at the end of the page index
};

} // namespace kel
