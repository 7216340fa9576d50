// Page navigation without a window: last page, go to page, find and the
// page count in slices, on reports of one, two and many pages.
#include "harness.h"
#include "render/navigator.h"

#include <gtest/gtest.h>
#include <set>

using namespace kel;
using test::Harness;

namespace {

// A report of `pages` pages; "needle" stands on the pages of `needles`.
std::vector<std::string> report(int pages, std::set<int> needles = {})
{
    std::vector<std::string> data;
    for (int p = 1; p <= pages; ++p) {
        data.push_back("page " + std::to_string(p) + "{\\N}");
        if (needles.count(p))
            data.push_back("a needle here{\\N}");
        if (p < pages)
            data.push_back("{\\NP}");
    }
    return data;
}

struct Walk
{
    explicit Walk(std::vector<std::string> data) : h(std::move(data)), nav(h.engine())
    {
        nav.onProgress([this](int page) { scanned.push_back(page); });
    }
    PageState &pages() { return h.engine().pages(); }

    Harness h;
    Navigator nav;
    std::vector<int> scanned;
};

} // namespace

TEST(Navigator, LastPageScansOnlyWhatIsNotKnown)
{
    const struct
    {
        const char *name;
        int pages;
        int goFirst; // a page reached before, 0 none
    } cases[] = {
        {"one page", 1, 0},
        {"two pages", 2, 0},
        {"many pages", 60, 0},
        {"many pages, some already walked", 60, 40},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Walk w(report(c.pages));
        if (c.goFirst) {
            ASSERT_EQ(w.nav.goTo(c.goFirst).page, c.goFirst);
        }
        w.scanned.clear();
        const Navigation n = w.nav.last();
        EXPECT_EQ(n.page, c.pages);
        EXPECT_EQ(n.message, 0);
        EXPECT_EQ(w.pages().currentPage(), c.pages);
        EXPECT_EQ(w.pages().lastPage(), c.pages);
        // Each page from the highest known one is scanned once.
        const int from = std::max(1, c.goFirst);
        ASSERT_EQ(static_cast<int>(w.scanned.size()), c.pages - from + 1);
        EXPECT_EQ(w.scanned.front(), from);
        // Known now: a second time walks nothing.
        w.scanned.clear();
        EXPECT_EQ(w.nav.last().page, c.pages);
        EXPECT_TRUE(w.scanned.empty());
    }
}

TEST(Navigator, GoToPage)
{
    const struct
    {
        const char *name;
        int pages;
        std::vector<int> requests;
        std::vector<Navigation> expected; // page shown, message
        int highestKnown;                 // after the last request
    } cases[] = {
        {"one page: the page itself", 1, {1}, {{1, 0}}, 1},
        {"one page: past the end, then past the known end", 1, {2, 2}, {{1, 0}, {1, 167}}, 1},
        {"two pages", 2, {2, 1}, {{2, 0}, {1, 0}}, 2},
        {"many pages: only the pages before the target are walked", 50, {30}, {{30, 0}}, 30},
        {"many pages: back and forward among known pages",
         50,
         {30, 5, 12},
         {{30, 0}, {5, 0}, {12, 0}},
         30},
        {"many pages: beyond the end stops at the last page",
         50,
         {80, 80},
         {{50, 0}, {50, 167}},
         50},
        {"zero and negative numbers show the page shown again",
         50,
         {7, 0, -3},
         {{7, 0}, {7, 0}, {7, 0}},
         7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Walk w(report(c.pages));
        for (size_t i = 0; i < c.requests.size(); ++i) {
            SCOPED_TRACE("request " + std::to_string(c.requests[i]));
            const Navigation n = w.nav.goTo(c.requests[i]);
            EXPECT_EQ(n.page, c.expected[i].page);
            EXPECT_EQ(n.message, c.expected[i].message);
            EXPECT_EQ(w.pages().currentPage(), c.expected[i].page);
        }
        EXPECT_EQ(w.pages().highestKnownPage(), c.highestKnown);
    }
}

TEST(Navigator, NextAndPreviousStopAtTheEnds)
{
    Walk w(report(2));
    EXPECT_FALSE(w.nav.previous().showsPage());
    EXPECT_EQ(w.nav.next().page, 2);
    EXPECT_EQ(w.nav.last().page, 2);
    EXPECT_FALSE(w.nav.next().showsPage());
    EXPECT_EQ(w.pages().currentPage(), 2);
    EXPECT_EQ(w.nav.previous().page, 1);
    EXPECT_EQ(w.nav.first().page, 1);
}

TEST(Navigator, FindAndFindAgain)
{
    struct Step
    {
        const char *what; // "find", "find first", "find case", "again"
        const char *text;
        Navigation expected;
        int currentAfter;
    };
    const struct
    {
        const char *name;
        int pages;
        std::set<int> needles;
        std::vector<Step> steps;
    } cases[] = {
        {"one page: found, found again on the same last page, not found",
         1,
         {1},
         {{"find", "needle", {1, 0}, 1},
          {"again", "", {1, 0}, 1},
          {"find", "haystack", {0, 280}, 1}}},
        {"two pages: found on the last page, found there again",
         2,
         {2},
         {{"find", "needle", {2, 0}, 2}, {"again", "", {2, 0}, 2}}},
        {"many pages: the page shown counts, again goes on, the end keeps the page",
         40,
         {1, 17, 33},
         {{"find", "needle", {1, 0}, 1},
          {"again", "", {17, 0}, 17},
          {"again", "", {33, 0}, 33},
          {"again", "", {0, 280}, 33}}},
        {"many pages: match case and from the first page",
         40,
         {17, 33},
         {{"find", "needle", {17, 0}, 17},
          {"find case", "NEEDLE", {0, 280}, 17},
          {"find first", "NeEdLe", {17, 0}, 17},
          {"find case", "needle", {17, 0}, 17}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Walk w(report(c.pages, c.needles));
        EXPECT_FALSE(w.nav.findAgain().showsPage()); // nothing searched yet
        EXPECT_EQ(w.pages().currentPage(), 1);
        for (const Step &s : c.steps) {
            SCOPED_TRACE(std::string(s.what) + " " + s.text);
            const std::string what = s.what;
            Navigation n;
            if (what == "again")
                n = w.nav.findAgain();
            else
                n = w.nav.find(s.text,
                               {what == "find case" ? MatchCase::Yes : MatchCase::No,
                                what == "find first" ? FindFrom::FirstPage : FindFrom::PageShown});
            EXPECT_EQ(n.page, s.expected.page);
            EXPECT_EQ(n.message, s.expected.message);
            EXPECT_EQ(w.pages().currentPage(), s.currentAfter);
        }
    }
}

TEST(Navigator, CountsPagesInSlicesWithoutMovingThePageShown)
{
    for (int pages : {1, 2, 250}) {
        SCOPED_TRACE(std::to_string(pages) + " pages");
        Walk w(report(pages));
        w.nav.goTo(std::min(pages, 2));
        w.scanned.clear();
        const int shown = w.pages().currentPage();
        int slices = 0;
        while (!w.nav.countSome(100))
            ++slices;
        EXPECT_EQ(slices, pages / 100); // 100 pages a slice
        EXPECT_TRUE(w.nav.countSettled());
        EXPECT_EQ(w.pages().lastPage(), pages);
        EXPECT_EQ(w.pages().currentPage(), shown);
        EXPECT_TRUE(w.scanned.empty()); // counting is quiet
    }
}
