// Bad markup never crashes or hangs a page, on any surface, and warns as
// the markup rules say.
#include "harness.h"
#include "render/paintersurface.h"

#include <QImage>
#include <QPainter>
#include <chrono>
#include <gtest/gtest.h>
#include <random>

using namespace kel;
using test::Harness;
using Lines = std::vector<std::string>;

namespace {

// Draws page 1 on the screen (recording and painted) and on the printer.
void drawEverywhere(Harness &h)
{
    test::ensureGuiApplication();
    h.screen(1, 3);
    h.printer();
    QImage image(400, 600, QImage::Format_RGB32);
    QPainter painter(&image);
    PainterSurface surface(painter, {QPointF(720, 720), 15});
    h.engine().drawing().zoomFactor = 0.25;
    h.engine().drawPage(1, surface);
}

std::string repeated(const std::string &s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

} // namespace

TEST(Malformed, HugeNegativeAndBrokenValues)
{
    test::ensureGuiApplication();
    test::TempDir dir;
    QImage small(4, 4, QImage::Format_RGB32);
    small.fill(Qt::blue);
    small.save(QString::fromStdString(dir.file("pic.png")), "PNG");
    dir.write("corrupt.jpg", std::string(300, '\xff'));
    dir.write("empty.bmp", "");

    const Lines lines = {
        "{1e308}x",
        "{999999999999999999999999}x",
        "{S=1e308}x{S=-3}{S=0.0001}{S=nan}",
        "{TAB=1e308}x{TAB=-1e308}y",
        "{W=1e308}{W=-5}{LINE=0,1000}",
        "{SPACING=1e308;\\N;\\P;SPACING=-1e308;\\N}x",
        "{CIRCLE=1e308,1e308,1e308}{CIRCLE=1,1,-1}{CIRCLE=-5,-5,5}",
        "{PIC=pic.png,0,0,1e308,1e308}{PIC=pic.png,10,10,-50,-50}{PIC=pic.png,1,1,0,0}",
        "{PIC=corrupt.jpg,1,1,100,100}{PIC=empty.bmp,1,1,100,100}{PIC=/,1,1,1,1}",
        "{XY=1e308,1e308}x{XY=-1e308,-1e308}y",
        "{LINE=-1e308,1e308}{XYLINE=1e308,-1e308,1e308,1}{BOX=-5,-5,-1e9,-1e9}",
        "{C=1e308}{C=1e308,1e308,1e308}{C=,,}{C=0,0}{C=a}",
        "{A=}{B=}{TR=}{F=" + std::string(300, 'f') + "}x",
        "{" + std::string(400, '{') + "}" + std::string(50, '}'),
        "}}}}{{{{;;;;}}}}",
        std::string("a\0b{B=Y\0}c", 11),
        "\x81\x8d\x8f\x90\x9d\xff\xfe{F=\xe9\xe8}\xe9t\xe9",
        "{EXEC=,,,,}{EXEC=}{LINK=}{LINK}{SND=}{REM}",
        "{$}{$$$}{$" + std::string(200, 'X') + "}x",
        "{BAR}" + std::string(300, '*') + "{NOBAR}",
    };
    for (const std::string &line : lines) {
        SCOPED_TRACE(line.substr(0, 60));
        Harness h({line, "after"});
        h.document.settings.originalPath = dir.file("r.kel");
        drawEverywhere(h);
        EXPECT_EQ(h.engine().countPages(), 1);
    }
}

TEST(Malformed, TenThousandGroupsOnOneLine)
{
    const struct
    {
        const char *name;
        std::string group;
        size_t prompts; // with every warning answered Yes (the default)
    } cases[] = {
        {"unknown commands warn once, then the warnings are off", "{FOO}", 1},
        {"refused values show the failure message each time", "{S=-1}", 10000},
        {"line feeds", "{\\N}", 0},
        {"attributes", "{B=Y;A=C;TAB=1;U=N}x", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h({repeated(c.group, 10000)});
        const auto start = std::chrono::steady_clock::now();
        h.screen();
        h.printer();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        const size_t perWalk = c.prompts == 10000 ? 10000 : c.prompts;
        EXPECT_EQ(h.env.prompter.prompts().size(), c.prompts == 1 ? 1 : 2 * perWalk);
    }
}

TEST(Malformed, StrangeDelimiters)
{
    const struct
    {
        char open;
        char close;
    } cases[] = {{'|', '|'}, {';', '}'}, {'{', ';'}, {' ', '\t'}, {'\0', '}'}};
    for (const auto &c : cases) {
        Harness h({"a|B=Y;\\N|b{B=Y;\\N}c; d", "{\\NP}", "x"});
        h.document.settings.openDelimiter = c.open;
        h.document.settings.closeDelimiter = c.close;
        drawEverywhere(h);
        EXPECT_GE(h.engine().countPages(), 1);
    }
}

// Random lines made of markup pieces: every page walk must finish, and the
// scanning and drawing walks must still agree on the page breaks.
TEST(Malformed, RandomMarkup)
{
    test::ensureGuiApplication();
    const char *pieces[] = {
        "{",        "}",     ";",     "=",      ",",    "\\N",  "\\P",     "\\NP",  "TOP",
        "SPACING=", "B=Y",   "A=R",   "A=C",    "TR=N", "300",  "-5",      "1e9",   "$X",
        "BAR",      "NOBAR", "LINK=", "EXEC=x", "PIC=", "BOX=", "CIRCLE=", "LINE=", "XY=",
        "W=",       "S=",    "C=",    "F=",     "TAB=", "text", " ",       "PAG",   "DATE"};
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        Lines data;
        for (int i = 0; i < 60; ++i) {
            std::string line;
            const int n = static_cast<int>(rng() % 30);
            for (int k = 0; k < n; ++k)
                line += pieces[rng() % std::size(pieces)];
            data.push_back(line.substr(0, 500));
        }
        Harness scanned(data);
        scanned.document.settings.maxY = "3000";
        const int pages = scanned.engine().countPages();
        Harness drawn(data);
        drawn.document.settings.maxY = "3000";
        RecordingSurface surface;
        for (int p = 1; !drawn.engine().pages().lastPageKnown(); ++p)
            ASSERT_TRUE(drawn.engine().drawPage(p, surface));
        EXPECT_EQ(drawn.engine().pages().lastPage(), pages);
        for (int p = 1; p <= pages; ++p)
            EXPECT_EQ(drawn.engine().pages().pageStart(p), scanned.engine().pages().pageStart(p));
        drawEverywhere(drawn);
    }
}
