// The markup interpreter on the screen: placement, attributes and their
// warnings, drawing commands, fields, links, external commands and find.
// Text is measured by the recording surface: 10 twips per byte and point
// (80 per byte at the opening size 8), 23 twips of height per point.
#include "harness.h"
#include "render/linkareas.h"

#include <QImage>
#include <algorithm>
#include <gtest/gtest.h>

using namespace kel;
using test::Harness;
using test::only;
using Lines = std::vector<std::string>;

namespace {

struct DrawCase
{
    const char *name;
    Lines data;
    Lines expected; // the page after its reset, empty texts left out
    double zoom = 1;
};

void checkDrawCases(std::initializer_list<DrawCase> cases)
{
    for (const DrawCase &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.data);
        h.document.settings.namedPositions = {{"$QTY", "6000"}};
        EXPECT_EQ(h.screen(1, c.zoom), c.expected);
    }
}

std::vector<int> promptNumbers(Harness &h)
{
    return h.env.prompter.numbers();
}

} // namespace

TEST(Interpreter, PlacesTextSegments)
{
    checkDrawCases({
        {"a line without groups is one segment at 0", {"plain text"}, {"text 0,0 \"plain text\""}},
        {"text after a group continues where the first ended",
         {"ab{B=Y}cd"},
         {"text 0,0 \"ab\"", "bold on", "text 160,0 \"cd\""}},
        {"300 then a word starts there", {"{300}word"}, {"text 300,0 \"word\""}},
        {"300 with A=R ends there", {"{300;A=R}word"}, {"text -20,0 \"word\""}},
        {"A=C with 300 centres there", {"{A=C;300}word"}, {"text 140,0 \"word\""}},
        {"trimmed blanks are neither drawn nor measured",
         {"{300;A=R}  ab  "},
         {"text 140,0 \"ab\""}},
        {"untrimmed leading blanks shift the text",
         {"{TR=N;A=R;300}  ab  "}, // records are read trimmed
         {"text -20,0 \"  ab\""}},
        {"a close outside a group is text", {"a}b"}, {"text 0,0 \"a}b\""}},
        {"a value ends at its second =", {"{F=A=B}x"}, {"font A", "text 0,0 \"x\""}},
        {"commands in lower case work", {"{a=r;b=y;300}x"}, {"bold on", "text 220,0 \"x\""}},
        {"a named position, upper-cased", {"{$qty;A=R}12"}, {"text 5840,0 \"12\""}},
        {"zoom multiplies positions and sizes",
         {"{300;S=10}ab"},
         {"size 20", "text 600,0 \"ab\""},
         2},
        {"a line feed moves y, and x to 99; lineX stays",
         {"{300}a{\\N}b{PAG}"},
         {"text 300,0 \"a\"", "text 380,200 \"b\"", "text 460,200 \" 1 \""}},
        {"a field right after a line feed starts at 99", {"{\\N;PAG}"}, {"text 99,200 \" 1 \""}},
        {"the screen line feed follows linePos times the zoom",
         {"{SPACING=300;\\N}a"},
         {"text 0,600 \"a\""},
         2},
        {"XY with only y keeps the horizontal place",
         {"{300}a{XY=0,500}b"},
         {"text 300,0 \"a\"", "text 380,500 \"b\""}},
        {"XY with x moves lineX", {"{XY=700,0}b"}, {"text 700,0 \"b\""}},
        {"TAB is a relative move", {"{300;TAB=200}x"}, {"text 500,0 \"x\""}},
        {"a group split across lines runs at its close",
         {"{B=Y", "}x"},
         {"bold on", "text 0,0 \"}x\""}},
        {"REM, E and T do nothing", {"{REM=a=b;E;T}x"}, {"text 0,0 \"x\""}},
        {"fields print at the current point",
         {"{DATE}", "{\\N;TIME}", "{\\N;DAY;MONTH;YEAR;HOUR;MINUTE;SECOND}"},
         {"text 0,0 \"03/02/2026\"", "text 99,200 \"08:05:09\"", "text 99,400 \"3\"",
          "text 179,400 \"2\"", "text 259,400 \"2026\"", "text 579,400 \"8\"", "text 659,400 \"5\"",
          "text 739,400 \"9\""}},
    });
}

TEST(Interpreter, DrawingCommands)
{
    checkDrawCases({
        {"BOX from the current point to an absolute corner",
         {"{\\N;BOX=0,0,2000,300}"},
         {"box 99,200 2000,300"}},
        {"BOX corners are zoomed, the current point is not",
         {"{\\N;BOX=0,0,2000,300}"},
         {"box 99,400 4000,600"},
         2},
        {"BOX keeps the current point",
         {"{\\N;BOX=100,100,200,200,1;PAG}"},
         {"style dotted", "box 100,100 200,200", "style solid", "text 99,200 \" 1 \""}},
        {"only 1 makes a line dotted",
         {"{LINE=10,20,1}{LINE=10,20,2}"},
         {"style dotted", "line 10,0 20,0", "style solid", "line 10,0 20,0"}},
        {"XYLINE keeps the current point",
         {"{XYLINE=1,2,3,4;PAG}"},
         {"line 1,2 3,4", "text 0,0 \" 1 \""}},
        {"CIRCLE with all fields 0 is a bullet after the word",
         {"ab{CIRCLE=0,0,0}cd"},
         {"text 0,0 \"ab\"", "circle 221.33,92 61.33", "text 282.67,0 \"cd\""}},
        {"CIRCLE with explicit fields is zoomed",
         {"{CIRCLE=100,200,50}"},
         {"circle 200,400 100"},
         2},
        {"BOXF fills in the fore colour of the palette",
         {"{C=12;BOXF=1,2,3,4}"},
         {"color 255,0,0", "fill 1,2 3,4"}},
        {"an RGB colour is rounded", {"{C=10.5,20.4,255}"}, {"color 10,20,255"}},
        {"a line width is zoomed and rounded", {"{W=3}"}, {"width 4"}, 1.5},
        {"a line width is at least 1", {"{W=0.2}"}, {"width 1"}},
    });
}

TEST(Interpreter, WarnsAboutBadMarkup)
{
    const struct
    {
        const char *line;
        std::vector<int> numbers;
        const char *textPart; // part of the first prompt's text
    } cases[] = {
        {"{B=X}x", {199}, "message 199 B=X\n\nmessage 200\n\nmessage 208"},
        {"{A=Q}x", {197}, "message 198"},
        {"{TR=maybe}x", {197}, "message 197 TR=MAYBE\n\nmessage 274"},
        {"{U=2}x", {201}, "message 202"},
        {"{I=?}x", {203}, "message 204"},
        {"{ST=maybe}x", {205}, "message 206"},
        {"{FOO}x", {205}, "message 205 FOO\n\nmessage 206"},
        {"{FOO=1}x", {205}, "FOO=1"},
        {"{SPACINGX=5}x", {205}, "SPACINGX=5"},
        {"{}x", {205}, "message 205 \n"},
        {"a}x", {205}, "message 205 \n"},
        {"{0}x", {205}, "message 205 0"},
        {"{$NOPE}x", {209}, "message 209 $NOPE\n\nmessage 208"},
        {"{S=-5}x", {207}, "S=-5. message 207"},
        {"{S=0}x", {207}, "S=0. "},
        {"{S=5000}x", {207}, "S=5000. "},
        {"{C=300,0,0}x", {207}, "C=300,0,0. "},
        {"{C=16}x", {207}, "C=16. "},
        {"{C=-1}x", {207}, "C=-1. "},
        {"{F=}x", {207}, "F=. "},
        {"{TAB=1e300}x", {207}, "TAB=1e300. "},
        {"{CIRCLE=0,0,-5}x", {207}, "CIRCLE=0,0,-5. "},
        {"{BOX=0,0,1e30,5}x", {207}, "BOX=0,0,1e30,5. "},
        {"{BOXF=1e30,0,1,1}x", {207}, "BOXF"},
        {"{PIC=nothere.png,0,0,100,100}x", {207}, "PIC=nothere.png,0,0,100,100. "},
        {"{PIC=}x", {207}, "PIC=. "},
        {"{W=abc;REM=a=b;E;T;LINE=0,100;XYLINE=1e300,0,0,0;SND=x.wav;NOLINK;ENDLINK}x", {}, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        Harness h({c.line});
        for (int i = 0; i < 5; ++i)
            h.env.prompter.queueAnswer(Answer::No);
        const Lines drawn = h.screen();
        EXPECT_EQ(promptNumbers(h), c.numbers);
        if (!c.numbers.empty()) {
            const Prompt &p = h.env.prompter.prompts().front();
            EXPECT_TRUE(p.text.toStdString().find(c.textPart) != std::string::npos)
                << p.text.toStdString();
            const bool failure = c.numbers.front() == 207;
            EXPECT_EQ(p.icon, failure ? PromptIcon::Exclamation : PromptIcon::Critical);
            EXPECT_EQ(p.buttons, failure ? PromptButtons::Ok : PromptButtons::YesNo);
        }
        // The line is drawn on after any warning.
        ASSERT_FALSE(drawn.empty());
        EXPECT_EQ(drawn.back().substr(drawn.back().size() - 2), "x\"");
    }
}

TEST(Interpreter, YesSwitchesWarningsOffButNotFailures)
{
    for (const Answer answer : {Answer::Yes, Answer::No}) {
        Harness h({"{FOO}{BAR2}{S=-1}x", "{B=Q}"});
        h.env.prompter.queueAnswer(answer);
        h.env.prompter.queueAnswer(answer);
        h.screen();
        const std::vector<int> expected = answer == Answer::Yes
                                              ? std::vector<int>{205, 207}
                                              : std::vector<int>{205, 205, 207, 199};
        EXPECT_EQ(promptNumbers(h), expected);
        // Opening the next document switches them on again.
        h.env.warnings.reset();
        EXPECT_TRUE(h.env.warnings.enabled());
    }
}

TEST(Interpreter, LinkAreas)
{
    const struct
    {
        const char *name;
        Lines data;
        std::vector<std::string> areas; // "number x,y w,h target"
        int linkCount;
    } cases[] = {
        {"the second of two links before a segment wins",
         {"{LINK=a;LINK=b}word"},
         {"2 0,0 320,184 b"},
         2},
        {"a link followed by another group covers the empty segment",
         {"{LINK=a}{B=Y}word"},
         {"1 0,0 0,184 a"},
         1},
        {"a link in the same group as bold covers the word",
         {"{300;LINK=a;B=Y}word"},
         {"1 300,0 320,184 a"},
         1},
        {"the target keeps = and ,",
         {"{LINK=http://x/?a=1,b=2}w"},
         {"1 0,0 80,184 http://x/?a=1,b=2"},
         1},
        {"a barcode makes no area; the link waits for the next text",
         {"{BAR;LINK=a}12{NOBAR}x"},
         {"1 0,0 80,184 a"},
         1},
        {"NOLINK drops a pending link", {"{LINK=a;NOLINK}w"}, {}, 1},
        {"a link on a line of its own covers the empty end",
         {"{LINK=a}", "w"},
         {"1 0,0 0,184 a"},
         1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.data);
        h.screen();
        std::vector<std::string> areas;
        for (const LinkArea &a : h.engine().linkAreas().areas()) {
            const auto f = &RecordingSurface::formatValue;
            areas.push_back(std::to_string(a.number) + " " + f(a.rect.x()) + "," + f(a.rect.y()) +
                            " " + f(a.rect.width()) + "," + f(a.rect.height()) + " " + a.target);
        }
        EXPECT_EQ(areas, c.areas);
        EXPECT_EQ(h.engine().drawing().linkCount, c.linkCount);
    }
}

TEST(Interpreter, LinksBeyondAHundredAreDrawnButNotMade)
{
    Lines data;
    for (int i = 1; i <= 101; ++i)
        data.push_back("{LINK=t" + std::to_string(i) + "}w{\\N}");
    data.push_back("{\\NP}");
    data.push_back("plain");
    Harness h(data);
    h.document.settings.maxY = "100000";
    const Lines drawn = h.screen();
    EXPECT_EQ(only(drawn, "text ").size(), 101u);
    const LinkAreas &areas = h.engine().linkAreas();
    EXPECT_EQ(areas.areas().size(), 100u);
    EXPECT_EQ(areas.find(100)->target, "t100");
    EXPECT_EQ(areas.find(101), nullptr);
    EXPECT_EQ(areas.droppedCount(), 1);
    // The next page starts without areas.
    h.screen(2);
    EXPECT_TRUE(areas.areas().empty());
    EXPECT_EQ(areas.droppedCount(), 0);
}

TEST(Interpreter, ExternalCommandsRunOnceOrAlways)
{
    Harness h({"{EXEC=prog a,ONCE}{EXECUTE=always,ALWAYS}{EXEC=print only,ONCE,PRINT}"
               "{EXEC=both,ONCE,BOTH}{EXEC=a=b}{EXEC=defaulted}"});
    h.screen();
    EXPECT_TRUE(h.opener.opened.empty()) << "drawn without a user command";

    h.commands.setStartedByCommand(true);
    h.screen();
    EXPECT_EQ(h.opener.opened, (Lines{"prog a", "always", "both", "a", "defaulted"}));
    EXPECT_EQ(h.engine().drawing().linkTarget, "defaulted");
    h.opener.opened.clear();
    h.screen();
    EXPECT_EQ(h.opener.opened, (Lines{"always"}));
    h.opener.opened.clear();
    h.printer();
    // The printer runs PRINT targets; ONCE with BOTH ran on the screen already.
    EXPECT_EQ(h.opener.opened, (Lines{"always", "print only"}));
}

TEST(Interpreter, ExternalCommandFieldsAreReadAsWritten)
{
    const struct
    {
        const char *line;
        Lines opened; // on the screen, drawn by a user command
    } cases[] = {
        {"{exec=p,always,both}", {"p"}}, {"{EXEC= p ,ONCE}", {" p "}}, {"{EXEC=p, ALWAYS}", {}},
        {"{EXEC=p,ONCE, VIEWER}", {}},   {"{EXEC=p,SOMETIMES}", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        Harness h({c.line});
        h.commands.setStartedByCommand(true);
        h.screen();
        EXPECT_EQ(h.opener.opened, c.opened);
    }
}

TEST(Interpreter, ExecutedListHolds250Targets)
{
    std::string line;
    for (int i = 1; i <= 251; ++i)
        line += "{EXEC=t" + std::to_string(i) + "}";
    Harness h({line});
    h.commands.setStartedByCommand(true);
    h.screen();
    EXPECT_EQ(h.opener.opened.size(), 251u);
    h.opener.opened.clear();
    h.screen();
    EXPECT_EQ(h.opener.opened, (Lines{"t251"})); // no slot was left for it
}

TEST(Interpreter, EmptyExecTargetTakesNoSlot)
{
    std::string line = "{EXEC=}";
    for (int i = 1; i <= 250; ++i)
        line += "{EXEC=t" + std::to_string(i) + "}";
    Harness h({line});
    h.commands.setStartedByCommand(true);
    h.screen();
    EXPECT_EQ(h.opener.opened.size(), 250u);
    EXPECT_EQ(h.opener.opened.front(), "t1");
    h.opener.opened.clear();
    h.screen();
    EXPECT_EQ(std::count(h.opener.opened.begin(), h.opener.opened.end(), "t250"), 0);
}

TEST(Interpreter, FindHighlightsMatchingSegments)
{
    const struct
    {
        const char *name;
        std::string find;
        bool matchCase;
        Lines expected;
        int hits;
    } cases[] = {
        {"case-insensitive",
         "total",
         false,
         {"color 255,255,0", "fill 0,0 880,184", "color 0,0,0", "text 0,0 \"Grand TOTAL\"",
          "text 0,200 \"none\""},
         1},
        {"match case", "Total", true, {"text 0,0 \"Grand TOTAL\"", "text 0,200 \"none\""}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h({" Grand TOTAL {\\N}", "none"});
        h.find.text = c.find;
        h.find.matchCase = c.matchCase;
        EXPECT_EQ(h.screen(), c.expected);
        EXPECT_EQ(h.find.hits, c.hits);
    }
    // The scanning walk counts matching lines.
    Harness h({"total a", "b", "x{B=Y}TOTAL"});
    h.find.text = "Total";
    h.engine().scanPage(1);
    EXPECT_EQ(h.find.hits, 2);
}

TEST(Interpreter, Pictures)
{
    test::ensureGuiApplication();
    test::TempDir dir;
    QImage image(2, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(dir.file("pic.png")), "PNG"));
    ASSERT_TRUE(image.save(QString::fromStdString(dir.file("pic.jpg")), "JPEG"));
    std::filesystem::create_directories(dir.file("sub"));
    ASSERT_TRUE(image.save(QString::fromStdString(dir.file("sub/pic.bmp")), "BMP"));
    dir.write("bad.png", "\x89PNG\r\n\x1a\n not really a picture");
    std::string backslashed = dir.file("sub/pic.bmp");
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');

    const struct
    {
        const char *name;
        std::string line;
        Lines expected;
        std::vector<int> prompts;
    } cases[] = {
        {"a bare name is taken from the picture folder",
         "{PIC=pic.png,100,200,300,400}",
         {"picture 100,200 300,400 2x3"},
         {}},
        {"zero x and y take the current point",
         "{\\N;PIC=pic.jpg,0,0,30,40}",
         {"picture 99,200 30,40 2x3"},
         {}},
        {"a name with a folder is used as given, \\ read as /",
         "{PIC=" + backslashed + ",1,1,2,2}",
         {"picture 1,1 2,2 2x3"},
         {}},
        {"a missing file is the failure message",
         "{PIC=gone.png,1,1,2,2}x",
         {"text 0,0 \"x\""},
         {207}},
        {"a corrupt file is the failure message",
         "{PIC=bad.png,1,1,2,2}x",
         {"text 0,0 \"x\""},
         {207}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h({c.line});
        h.document.settings.originalPath = dir.file("report.kel");
        EXPECT_EQ(h.screen(), c.expected);
        EXPECT_EQ(promptNumbers(h), c.prompts);
    }

    // A sixth field makes the picture a link on the screen only.
    Harness h({"{PIC=pic.png,100,200,300,400,other.kel}"});
    h.document.settings.originalPath = dir.file("report.kel");
    h.screen(1, 2);
    ASSERT_EQ(h.engine().linkAreas().areas().size(), 1u);
    const LinkArea &area = h.engine().linkAreas().areas().front();
    EXPECT_EQ(area.rect, QRectF(200, 400, 600, 800));
    EXPECT_EQ(area.target, "other.kel");
    h.printer();
    EXPECT_TRUE(h.engine().linkAreas().areas().empty());
    EXPECT_EQ(only(h.allLines, "picture"), (Lines{"picture 100,200 300,400 2x3"}));
}
