// Page breaks: the scanning walk and the drawing walk must agree, page by
// page, and a page must break the same way whatever was walked before it.
#include "app/text.h"
#include "harness.h"

#include <gtest/gtest.h>

using namespace kel;
using test::Harness;

namespace {

struct BreakCase
{
    const char *name;
    std::vector<std::string> data;
    std::string maxY = "16340";
    double spacing = 200;
    std::vector<std::string> prologue = {};
    std::string common = {};
    std::vector<int> starts; // pageStart of pages 1..n
    int lastPage;
};

void setUp(Harness &h, const BreakCase &c)
{
    h.document.settings.maxY = c.maxY;
    h.document.settings.spacing = c.spacing;
    h.document.settings.defaultSpacing = c.spacing;
    h.document.settings.prologueLines = c.prologue;
    h.document.settings.common = c.common;
}

std::vector<int> starts(const PageState &pages)
{
    std::vector<int> out;
    for (int p = 1; pages.isKnown(p); ++p)
        out.push_back(pages.pageStart(p));
    return out;
}

const std::string k21LineFeeds = [] {
    std::string s = "{";
    for (int i = 0; i < 21; ++i)
        s += "\\N;";
    s.back() = '}';
    return s;
}();

} // namespace

TEST(PageWalk, ScanningAndDrawingBreakAlike)
{
    const BreakCase cases[] = {
        {"new page command ends the page after its line",
         {"a{\\N}", "b{\\NP}", "c{\\N}", "d"},
         "16340",
         200,
         {},
         {},
         {1, 3},
         2},
        {"record crossing MAXY belongs to the page",
         {"{\\N}", "{\\N}", "{\\N}", "{\\N}", "{\\N}", "{\\N}", "{\\N}"},
         "500",
         200,
         {},
         {},
         {1, 4, 7},
         3},
        {"line position may go negative",
         {"{\\P;\\P}", "{\\N}", "{\\N}", "{\\N}", "{\\N}", "{\\N;\\N}", "x"},
         "500",
         200,
         {},
         {},
         {1, 7},
         2},
        {"SPACING holds for the next line feed only",
         {"{SPACING=1000}", "{\\N}", "{\\N}", "{\\N}"},
         "1100",
         200,
         {},
         {},
         {1, 4},
         2},
        {"bold with a line feed moves, bold alone does not",
         {"{B=Y;\\N}", "{B=Y}", "{b=n;\\n}"},
         "300",
         200,
         {},
         {},
         {1, 4},
         2},
        {"STOP=1 is no TOP, TOPOFPAGE is",
         {"{\\N;\\N}", "{STOP=1}", "{\\N}", "{\\N;\\N}", "{TOPOFPAGE}", "{\\N;\\N}"},
         "500",
         200,
         {},
         {},
         {1, 4},
         2},
        {"non-numeric MAXY reads as 0",
         {"a", "{\\N}", "b", "{\\N}"},
         "abc",
         200,
         {},
         {},
         {1, 3, 5},
         3},
        {"group closed on a later line",
         {"a{\\N;B=Y", "b{}", "{\\N}"},
         "300",
         200,
         {},
         {},
         {1, 4},
         2},
        {"only 20 commands of a group run", {k21LineFeeds, "x"}, "205", 10, {}, {}, {1}, 1},
        {"prologue and COMMON move every page",
         {"{\\N}", "{\\N}", "{\\N}"},
         "500",
         200,
         {"{\\N}", "[DATA]"},
         "{\\N}",
         {1, 2, 3, 4},
         4},
        {"prologue stops at its [DATA] line",
         {"{\\N}", "{\\N}"},
         "1000",
         200,
         {"{\\N}", " [data] ", "{\\N;\\N;\\N}"},
         {},
         {1},
         1},
    };
    for (const BreakCase &c : cases) {
        SCOPED_TRACE(c.name);
        Harness scanned(c.data);
        setUp(scanned, c);
        EXPECT_EQ(scanned.engine().countPages(), c.lastPage);
        EXPECT_EQ(starts(scanned.engine().pages()), c.starts);

        Harness drawn(c.data);
        setUp(drawn, c);
        RecordingSurface surface;
        for (int p = 1; !drawn.engine().pages().lastPageKnown() && p <= 100; ++p)
            ASSERT_TRUE(drawn.engine().drawPage(p, surface));
        EXPECT_EQ(drawn.engine().pages().lastPage(), c.lastPage);
        EXPECT_EQ(starts(drawn.engine().pages()), c.starts);

        Harness printed(c.data);
        setUp(printed, c);
        printed.document.settings.topMargin = 700;
        for (int p = 1; !printed.engine().pages().lastPageKnown() && p <= 100; ++p)
            ASSERT_TRUE(printed.engine().printPage(p, surface));
        EXPECT_EQ(starts(printed.engine().pages()), c.starts);
    }
}

// The walks compare keywords in place: a move written in any case breaks
// the scanned pages where the drawing breaks them, and as the same move in
// upper case does.
TEST(PageWalk, MovesInAnyCaseBreakAsInUpperCase)
{
    const std::vector<std::vector<std::string>> cases = {
        {"a{\\n}", "b{\\np}", "c{\\N}", "d{\\nP}", "e"},
        {"{spacing=6000;\\n}a{Spacing=6000}{\\n}", "b{\\n}", "c{\\p;\\P}{\\n}", "d{\\N}"},
        {"{\\n;\\n}", "{top}", "{\\n}", "{ToPoFpAgE;\\n}", "{sPaCiNgS=12000;\\n}", "x{\\n}"},
        {"{B=y;\\n}", "{stop=1;\\n}", "{\\Np;b=n}", "z"},
    };
    for (const std::vector<std::string> &data : cases) {
        SCOPED_TRACE(data.front());
        std::vector<std::string> upperData;
        for (const std::string &line : data)
            upperData.push_back(upper(line));
        auto scannedStarts = [](const std::vector<std::string> &lines, int &last) {
            Harness h(lines);
            h.document.settings.maxY = "10000";
            last = h.engine().countPages();
            return starts(h.engine().pages());
        };
        int last = 0;
        int upperLast = 0;
        const std::vector<int> scanned = scannedStarts(data, last);
        EXPECT_EQ(scanned, scannedStarts(upperData, upperLast));
        EXPECT_EQ(last, upperLast);
        EXPECT_GT(last, 1);

        Harness drawn(data);
        drawn.document.settings.maxY = "10000";
        RecordingSurface surface;
        for (int p = 1; !drawn.engine().pages().lastPageKnown() && p <= 100; ++p)
            ASSERT_TRUE(drawn.engine().drawPage(p, surface));
        EXPECT_EQ(starts(drawn.engine().pages()), scanned);
    }
}

// A pending SPACING or an open group at the end of a page must not change
// the next page depending on which page was walked before it.
TEST(PageWalk, PageDoesNotDependOnThePageWalkedBefore)
{
    Harness h(
        {"a{SPACING=5000}{\\NP}", "{\\N}", "{\\N}", "{\\N}", "b{SPACING=300}{\\NP}{\\N", "c"});
    h.document.settings.maxY = "500";
    EXPECT_EQ(h.engine().countPages(), 4);
    const std::vector<int> known = starts(h.engine().pages());
    EXPECT_EQ(known, (std::vector<int>{1, 2, 5, 6}));

    const std::vector<std::string> afterFirst = h.screen(2);
    h.screen(3);
    const std::vector<std::string> afterThird = h.screen(2);
    EXPECT_EQ(afterFirst, afterThird);
    EXPECT_EQ(starts(h.engine().pages()), known);
}

TEST(PageWalk, NavigationStopsAtBothEnds)
{
    Harness h({"a{\\NP}", "b{\\NP}", "c{\\NP}", "d{\\NP}", "e"});
    RenderEngine &e = h.engine();
    PageState &pages = e.pages();
    EXPECT_FALSE(pages.stepPrevious());
    EXPECT_EQ(pages.lastPageText(), "+");
    EXPECT_TRUE(e.locatePage(3));
    EXPECT_EQ(pages.highestKnownPage(), 3);
    EXPECT_FALSE(pages.lastPageKnown());

    EXPECT_FALSE(e.locatePage(7)); // walks to the end and stops there
    EXPECT_EQ(pages.lastPage(), 5);
    EXPECT_EQ(pages.lastPageText(), "5");
    EXPECT_FALSE(e.drawPage(6, *std::make_unique<RecordingSurface>()));

    pages.setCurrentPage(5);
    EXPECT_FALSE(pages.stepNext());
    EXPECT_EQ(pages.currentPage(), 5);
    EXPECT_TRUE(pages.stepPrevious());
    EXPECT_EQ(pages.currentPage(), 4);
}

TEST(PageWalk, FirstDrawingOfPageOneStartsAtTheBlankRecord)
{
    Harness h({"x"});
    h.screen(1);
    const std::vector<std::string> first = h.allLines;
    h.screen(1);
    const std::vector<std::string> second = h.allLines;
    ASSERT_EQ(first.size(), second.size() + 1);
    // The blank record draws an empty segment at the top left, nothing else.
    std::vector<std::string> withoutBlank = first;
    withoutBlank.erase(std::find(withoutBlank.begin() + 10, withoutBlank.end(), "text 0,0 \"\""));
    EXPECT_EQ(withoutBlank, second);
}

// A page index of no fixed size: more pages than the 20,000 of old are
// reached, counted, drawn and stepped through.
TEST(PageWalk, PageIndexHasNoFixedSize)
{
    constexpr int kPages = 25000;
    std::vector<std::string> data;
    for (int p = 1; p <= kPages; ++p)
        data.push_back("page " + std::to_string(p) + (p < kPages ? "{\\NP}" : ""));
    Harness h(data);
    RenderEngine &e = h.engine();
    EXPECT_TRUE(e.locatePage(kPages));
    EXPECT_FALSE(e.locatePage(kPages + 1));
    EXPECT_EQ(e.countPages(), kPages);
    EXPECT_EQ(e.pages().pageStart(kPages), kPages); // the record before the last line
    EXPECT_EQ(test::only(h.screen(kPages), "text"),
              (std::vector<std::string>{"text 0,0 \"page 25000\""}));
    EXPECT_EQ(test::only(h.printer(20001), "text"),
              (std::vector<std::string>{"text 0,0 \"page 20001\""}));

    e.pages().setCurrentPage(20000);
    EXPECT_TRUE(e.pages().stepNext());
    EXPECT_EQ(e.pages().currentPage(), 20001);
    e.pages().setCurrentPage(kPages);
    EXPECT_FALSE(e.pages().stepNext());

    // Found on a page past the old limit by the scanning walk.
    Harness found(data);
    found.find.text = "page 24999";
    int page = 0;
    do
        ++page;
    while (found.engine().scanPage(page) && found.find.hits == 0);
    EXPECT_EQ(page, 24999);
}

// A single page is drawn as when it is reached by drawing every page before
// it: a page hands its font, size and barcode mode on to the next.
TEST(PageWalk, ReachedPageCarriesTheStateOfThePagesBefore)
{
    const struct
    {
        const char *name;
        std::vector<std::string> data;
        double zoom = 1;
    } cases[] = {
        {"barcode mode", {"{BAR}ABC{\\NP}", "DEF{NOBAR}{\\NP}", "GHI"}},
        {"font and size", {"{F=courier;S=14}a{\\NP}", "b{F=arial}{\\NP}", "{S=9}c{\\NP}", "d"}},
        {"refused values are not carried", {"{S=12}{S=0;F=}a{\\NP}", "b"}},
        {"a size refused only at this zoom", {"{S=1500}a{\\NP}", "b"}, 2},
        {"a group left open at the end of a page is dropped", {"{\\NP}{S=30", "x}y"}},
        {"carried through a page of its own", {"{BAR}{\\NP}", "{\\NP}", "x{\\NP}", "y"}},
        {"in any case",
         {"{f=courier;s=14;bar}a{\\np}", "b{NoBar;F=arial}{\\Np}", "{Bar}c{\\nP}", "d"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (const Target target : {Target::Screen, Target::Printer}) {
            SCOPED_TRACE(target == Target::Screen ? "screen" : "printer");
            Harness paged(c.data);
            paged.document.settings.topMargin = 500;
            paged.engine().drawing().zoomFactor = c.zoom;
            std::vector<std::vector<std::string>> drawnInTurn;
            for (int p = 1; !paged.engine().pages().isBeyondLastPage(p); ++p) {
                RecordingSurface surface;
                ASSERT_TRUE(target == Target::Screen ? paged.engine().drawPage(p, surface)
                                                     : paged.engine().printPage(p, surface));
                drawnInTurn.push_back(surface.lines());
            }
            ASSERT_GE(drawnInTurn.size(), 2u);
            for (int p = 2; p <= static_cast<int>(drawnInTurn.size()); ++p) {
                Harness single(c.data);
                single.document.settings.topMargin = 500;
                RenderEngine &e = single.engine();
                e.drawing().zoomFactor = c.zoom;
                ASSERT_TRUE(e.reachPage(p, target));
                EXPECT_TRUE(single.env.prompter.prompts().empty()); // nothing reported
                RecordingSurface surface;
                target == Target::Screen ? e.drawPage(p, surface) : e.printPage(p, surface);
                EXPECT_EQ(surface.lines(), drawnInTurn[static_cast<size_t>(p - 1)]) << "page " << p;
            }
        }
    }
    Harness h({"a{\\NP}", "b"});
    EXPECT_TRUE(h.engine().reachPage(2, Target::Screen));
    EXPECT_FALSE(h.engine().reachPage(3, Target::Screen));
    EXPECT_FALSE(h.engine().reachPage(0, Target::Screen));
}
