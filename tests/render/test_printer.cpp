// The printer target of the interpreter against the screen: no zoom, the
// top margin added to vertical positions, relative line feeds, W times 4,
// and the screen-only commands unknown.
#include "harness.h"

#include <gtest/gtest.h>

using namespace kel;
using test::Harness;
using test::only;
using Lines = std::vector<std::string>;

TEST(Printer, DiffersFromTheScreenWhereItShould)
{
    const struct
    {
        const char *name;
        std::string line;
        Lines screen;  // at zoom 2
        Lines printer; // top margin 1000
    } cases[] = {
        {"a position is not zoomed", "{300}x", {"text 600,0 \"x\""}, {"text 300,1000 \"x\""}},
        {"a font size is not zoomed",
         "{S=10}x",
         {"size 20", "text 0,0 \"x\""},
         {"size 10", "text 0,1000 \"x\""}},
        {"a line width is four printer units per unit", "{W=2}", {"width 4"}, {"width 8"}},
        {"line feeds are relative to the y XY set",
         "{XY=0,500;\\N}x",
         {"text 0,400 \"x\""},
         {"text 0,1700 \"x\""}},
        {"TOP goes to the top margin", "{\\N;\\N;TOP}x", {"text 0,0 \"x\""}, {"text 0,1000 \"x\""}},
        {"TAB also moves the printer's x",
         "{300}a{TAB=200;PAG}",
         {"text 600,0 \"a\"", "text 760,0 \" 1 \""},
         {"text 300,1000 \"a\"", "text 580,1000 \" 1 \""}},
        {"explicit box corners move down by the margin",
         "{BOX=100,100,200,200}",
         {"box 200,200 400,400"},
         {"box 100,1100 200,1200"}},
        {"a defaulted box corner is the current point",
         "{BOX=0,0,200,200}",
         {"box 0,0 400,400"},
         {"box 0,1000 200,1200"}},
        {"both ends of XYLINE move down",
         "{XYLINE=1,2,3,4}",
         {"line 2,4 6,8"},
         {"line 1,1002 3,1004"}},
        {"an explicit circle centre moves down",
         "{CIRCLE=100,200,50}",
         {"circle 200,400 100"},
         {"circle 100,1200 50"}},
        {"a bullet is measured in the printer's font",
         "{CIRCLE=0,0,0}",
         {"circle 122.67,184 122.67"},
         {"circle 61.33,1092 61.33"}},
        {"a barcode is not zoomed", "{BAR}1", {"width 1"}, {"width 1"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h({c.line});
        h.document.settings.topMargin = 1000;
        const Lines screen = h.screen(1, 2);
        const Lines printer = h.printer();
        EXPECT_EQ(
            std::vector(screen.begin(), screen.begin() + std::min(screen.size(), c.screen.size())),
            c.screen);
        EXPECT_EQ(std::vector(printer.begin(),
                              printer.begin() + std::min(printer.size(), c.printer.size())),
                  c.printer);
        EXPECT_TRUE(h.env.prompter.numbers().empty());
    }
}

TEST(Printer, BarcodeIsDrawnWithoutZoom)
{
    Harness h({"{BAR}1"});
    h.document.settings.topMargin = 1000;
    EXPECT_EQ(only(h.screen(1, 2), "fill").front(), "fill 66,0 86,368");
    EXPECT_EQ(only(h.printer(), "fill").front(), "fill 33,1000 43,1184");
}

TEST(Printer, ScreenOnlyCommandsAreUnknown)
{
    Harness h({"{ST=Y;SND=a.wav,1;NOLINK;ENDLINK;LINK=somewhere}x"});
    h.find.text = "x";
    for (int i = 0; i < 8; ++i)
        h.env.prompter.queueAnswer(Answer::No);
    const Lines screen = h.screen();
    EXPECT_TRUE(h.env.prompter.numbers().empty());
    EXPECT_EQ(only(screen, "fill").size(), 1u); // the find highlight
    EXPECT_EQ(h.engine().linkAreas().areas().size(), 1u);

    const Lines printer = h.printer();
    EXPECT_EQ(h.env.prompter.numbers(), (std::vector<int>{205, 205, 205, 205}));
    EXPECT_TRUE(only(printer, "fill").empty()); // no highlight on paper
    EXPECT_TRUE(h.engine().linkAreas().areas().empty());
    EXPECT_EQ(only(printer, "text"), (Lines{"text 0,0 \"x\""}));
}

// A page printed after the screen showed it at 200 % has the sizes of 100 %.
TEST(Printer, ZoomOfTheScreenDoesNotReachThePaper)
{
    const Lines data = {"{S=12;300;W=1;BOX=100,100,500,500}ab{\\N;CIRCLE=100,100,40}"};
    Harness atOne(data);
    const Lines reference = atOne.printer();
    Harness zoomed(data);
    zoomed.screen(1, 2);
    EXPECT_EQ(zoomed.printer(), reference);
}

TEST(Printer, PrintedPagesEndAtMaxYPlusTheTopMargin)
{
    Lines data;
    for (int i = 0; i < 30; ++i)
        data.push_back("line " + std::to_string(i) + "{\\N}");
    Harness h(data);
    h.document.settings.maxY = "2000";
    h.document.settings.topMargin = 1440;
    const Lines page1 = h.printer(1);
    // Ten line feeds reach 2000; the eleventh crosses it and ends the page.
    EXPECT_EQ(only(page1, "text").size(), 11u);
    EXPECT_EQ(only(page1, "text").back(), "text 0,3440 \"line 10\"");
    EXPECT_EQ(h.engine().pages().pageStart(2), 12);
    EXPECT_EQ(only(h.printer(2), "text").front(), "text 0,1440 \"line 11\"");
}
