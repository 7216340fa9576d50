// Code 39 as the recording surface sees it. The real decode of the drawn
// symbols is in the keltool tests.
#include "harness.h"
#include "render/code39.h"

#include <gtest/gtest.h>

using namespace kel;
using test::Harness;
using test::only;
using Lines = std::vector<std::string>;

namespace {

Lines bars(const std::string &line, const std::string &barWidth = "1", double zoom = 1)
{
    Harness h({line});
    h.document.settings.barWidth = barWidth;
    return only(h.screen(1, zoom), "fill");
}

// The horizontal extent of each bar: "fill x1,y1 x2,y2" gives "x1-x2".
Lines xs(const Lines &fills)
{
    Lines out;
    for (const std::string &f : fills) {
        const size_t comma1 = f.find(',');
        const size_t space = f.find(' ', comma1);
        const size_t comma2 = f.find(',', space);
        out.push_back(f.substr(5, comma1 - 5) + "-" + f.substr(space + 1, comma2 - space - 1));
    }
    return out;
}

} // namespace

TEST(Code39, ElementWidthsOfStartAndStopAroundOneCharacter)
{
    // Gap 33; narrow bar 10, wide bar 30, narrow space 16, wide space 36;
    // the start mark ends with one more narrow space.
    EXPECT_EQ(bars("{BAR}1"),
              (Lines{
                  "fill 33,0 43,184", "fill 79,0 89,184", "fill 105,0 135,184",
                  "fill 151,0 181,184", "fill 197,0 207,184", // start, then space 16
                  "fill 256,0 286,184", "fill 302,0 312,184", "fill 348,0 358,184",
                  "fill 374,0 384,184", "fill 400,0 430,184", // "1"
                  "fill 463,0 473,184", "fill 509,0 519,184", "fill 535,0 565,184",
                  "fill 581,0 611,184", "fill 627,0 637,184", // stop
              }));
}

TEST(Code39, Table)
{
    // Every character of the symbology: five bars, four spaces, three wide.
    const std::string symbology = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. *$/+%";
    for (char c : symbology) {
        const std::string_view p = code39Pattern(c);
        ASSERT_EQ(p.size(), 9u) << c;
        int wide = 0;
        for (size_t i = 0; i < p.size(); ++i) {
            EXPECT_EQ(p[i] >= '3', i % 2 == 0) << c; // bars at even places
            wide += p[i] == '4' || p[i] == '2';
        }
        EXPECT_EQ(wide, 3) << c;
    }
    EXPECT_EQ(code39Pattern('1'), "413231314");
    EXPECT_EQ(code39Pattern('A'), "413132314");
    EXPECT_EQ(code39Pattern('#'), "3231414131");
    EXPECT_EQ(code39Pattern('q'), code39Pattern('Q'));
    EXPECT_TRUE(code39Pattern('~').empty());
}

TEST(Code39, SegmentsAndSettings)
{
    const struct
    {
        const char *name;
        Lines got;
        Lines expected;
    } cases[] = {
        {"lower case as upper case", bars("{BAR}kel-1a"), bars("{BAR}KEL-1A")},
        {"characters outside the set are skipped", bars("{BAR}A~B\xe9"), bars("{BAR}AB")},
        {"BARWIDTH other than 1 to 3 is drawn as 1", bars("{BAR}A", "2.5"), bars("{BAR}A", "1")},
        {"BARWIDTH 0 is drawn as 1", bars("{BAR}A", "0"), bars("{BAR}A", "1")},
        {"BARWIDTH 2 doubles every element", xs(bars("{BAR}A", "2")), xs(bars("{BAR}A", "1", 2))},
        {"an empty segment draws nothing", bars("{BAR}   {NOBAR}x"), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.got, c.expected);
    }
    // "*" inside the text is a character of its own, not the end.
    EXPECT_EQ(bars("{BAR}A*B").size(), bars("{BAR}AB").size() + 5);
}

TEST(Code39, PlacementAndStateAroundTheSymbol)
{
    // Right alignment places by the width of the text ("AB" is 160 wide).
    EXPECT_EQ(bars("{BAR;300;A=R}AB").front(), "fill 173,0 183,184");
    // Text after a barcode starts where the barcode started.
    Harness h({"{W=3;BAR;300}AB{NOBAR}x"});
    const Lines drawn = h.screen();
    EXPECT_EQ(drawn.front(), "width 3");
    EXPECT_EQ(drawn[1], "width 1");
    EXPECT_EQ(drawn[drawn.size() - 2], "width 3");
    EXPECT_EQ(drawn.back(), "text 300,0 \"x\"");
    // B=Y is bold, not a barcode.
    EXPECT_TRUE(bars("{B=Y}AB").empty());
}
