// Text listings converted into reports, alone and through opening.
#include "documents/opening.h"
#include "documents/textconvert.h"
#include "opensupport.h"
#include "support/testenv.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;
using test::open;

namespace {

const std::string kOpen = "\x01";
const std::string kClose = "\x02";

std::string cmd(std::string_view text)
{
    return kOpen + std::string(text) + kClose;
}

ListingSettings portrait()
{
    return {"", "", "PORTRAIT", "16840", "11907", "Courier New", "10"};
}

// The data lines of a converted listing (the lines after "[DATA]").
std::vector<std::string> dataLines(std::string_view report)
{
    std::vector<std::string> out;
    bool inData = false;
    for (std::string_view l : splitLines(report)) {
        if (inData)
            out.emplace_back(l);
        if (l == "[DATA]")
            inData = true;
    }
    return out;
}

} // namespace

TEST(TextConversion, SettingsPartAndPrologue)
{
    ListingSettings s = portrait();
    s.printer = "Office Laser";
    s.conversion = "dos";
    EXPECT_EQ(
        listingToReport("x\r\n", "/data/a.txt", s),
        crlf({"CONVERSION=dos", "ORIENTATION=1", "REPORT_TITLE=/data/a.txt", "PAGELENGTH=16840",
              "PAGEWIDTH=11907", "SPACING=250", "MAXY=16340", "PRINTER=Office Laser",
              "OPEN=" + kOpen, "CLOSE=" + kClose, "[HEADER]", cmd("Trim=N"),
              cmd("F=Courier New;S=10"), cmd("\\N"), "[DATA]", cmd("50") + "x" + cmd("\\N")}));

    // Landscape takes MAXY from the width; the page is written unexchanged.
    s = portrait();
    s.orientation = " landscape ";
    s.fontSize = "12";
    EXPECT_EQ(listingToReport("", "a.lst", s),
              crlf({"ORIENTATION=2", "REPORT_TITLE=a.lst", "PAGELENGTH=16840", "PAGEWIDTH=11907",
                    "SPACING=300", "MAXY=11307", "OPEN=" + kOpen, "CLOSE=" + kClose, "[HEADER]",
                    cmd("Trim=N"), cmd("F=Courier New;S=12"), cmd("\\N"), "[DATA]"}));
}

TEST(TextConversion, FontSizeAndPageThatCannotBeLaidOutAsWritten)
{
    struct Case
    {
        const char *name;
        const char *length;
        const char *width;
        const char *orientation;
        const char *fontSize;
        const char *spacing;
        const char *maxY;
        const char *font;
    };
    const Case cases[] = {
        {"empty size reads 10", "16840", "11907", "", "", "250", "16340", "F=c;S=10"},
        {"text size reads 10", "16840", "11907", "", "big", "250", "16340", "F=c;S=10"},
        {"zero size reads 10", "16840", "11907", "", "0", "250", "16340", "F=c;S=10"},
        {"negative size reads 10", "16840", "11907", "", "-8", "250", "16340", "F=c;S=10"},
        {"fractional size kept", "16840", "11907", "", "10.5", "262.5", "16315", "F=c;S=10.5"},
        {"empty length is A4", "", "", "", "10", "250", "16340", "F=c;S=10"},
        {"empty length is A4 landscape", "", "", "LANDSCAPE", "10", "250", "11407", "F=c;S=10"},
        {"letter", "15840", "12240", "", "8", "200", "15440", "F=c;S=8"},
    };
    for (const Case &c : cases) {
        const ListingSettings s{"", "", c.orientation, c.length, c.width, "c", c.fontSize};
        const std::string report = listingToReport("x", "a.txt", s);
        EXPECT_NE(report.find(std::string("\r\nSPACING=") + c.spacing + "\r\n"), std::string::npos)
            << c.name;
        EXPECT_NE(report.find(std::string("\r\nMAXY=") + c.maxY + "\r\n"), std::string::npos)
            << c.name;
        EXPECT_NE(report.find(cmd(c.font)), std::string::npos) << c.name;
        EXPECT_NE(report.find(std::string("\r\nPAGELENGTH=") + c.length + "\r\n"),
                  std::string::npos)
            << c.name;
    }
}

TEST(TextConversion, Directives)
{
    const std::string esc = "\x1b";
    struct Case
    {
        std::string line;
        std::string report;
    };
    const auto text = [](std::string_view t) { return cmd("50") + std::string(t) + cmd("\\N"); };
    const Case cases[] = {
        {".\\NP", cmd("\\NP")},
        {".np", cmd("\\NP")},
        {"\f", cmd("\\NP")},
        {"   \f  ", cmd("\\NP")},
        // A form feed that opens a line breaks the page before the rest of
        // it; one later in the line is text.
        {"\fPage 2", cmd("\\NP") + "\n" + text("Page 2")},
        {"  \f\f  Page 3", cmd("\\NP") + "\n" + cmd("\\NP") + "\n" + text("  Page 3")},
        {"\f.b=y", cmd("\\NP") + "\n" + cmd("B=Y")},
        {"Page\f4", text("Page\f4")},
        {".B=Y", cmd("B=Y")},
        {" .b=y ", cmd("B=Y")},
        {esc + "<", cmd("B=Y")},
        {".B=N", cmd("B=N")},
        {esc + "F", cmd("B=N")},
        {".I=Y", cmd("I=Y")},
        {esc + "4", cmd("I=Y")},
        {".I=N", cmd("I=N")},
        {esc + "5", cmd("I=N")},
        {".U=Y", cmd("U=Y")},
        {".u=n", cmd("U=N")},
        {esc + "E", text(esc + "E")},
        {"Total " + esc + "< 5", text("Total " + esc + "< 5")},
        {"END_OF_FILE", text("END_OF_FILE")},
        {"  {braces} kept  ", text("  {braces} kept  ")},
        {"caf\xe9 \x80 10", text("caf\xe9 \x80 10")},
        {"", text("")},
    };
    for (const Case &c : cases) {
        std::string lines;
        for (const std::string &l :
             dataLines(listingToReport(c.line + "\r\n", "a.txt", portrait())))
            lines += (lines.empty() ? "" : "\n") + l;
        EXPECT_EQ(lines, c.report) << c.line;
    }
}

TEST(TextConversion, LongLinesContinueWithinTheRecordLimit)
{
    const std::string line = std::string(kMaxListingPiece, 'a') + std::string(10, 'b');
    const std::vector<std::string> lines =
        dataLines(listingToReport(line + "\n", "a.txt", portrait()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], cmd("50") + std::string(kMaxListingPiece, 'a') + cmd("\\N"));
    EXPECT_EQ(lines[0].size(), 500u);
    EXPECT_EQ(lines[1], cmd("50") + std::string(10, 'b') + cmd("\\N"));
}

TEST(TextConversion, OpensAsAReport)
{
    test::TestEnvironment env;
    TypeRow &row = env.settings.row(DocType::Lst);
    row = {"", "LANDSCAPE", "15840", "12240", "Courier New", "9"};
    env.settings.conversions[1] = "up";
    env.dir.write("program/UP.cnv", "97=65\r\n");
    const std::string path = env.dir.write("listing.LS", "first {line}\r\n.B=Y\r\n\f\r\n" +
                                                             std::string(600, 'x') + "\r\n");
    const Opened r = open(env, path);
    ASSERT_TRUE(r.ok()) << r.message() << r.refusal().detail;
    const DocumentSettings &s = r.value()->settings;
    EXPECT_EQ(s.openDelimiter, '\x01');
    EXPECT_EQ(s.closeDelimiter, '\x02');
    EXPECT_EQ(s.pageLength, 12240); // exchanged by the loader
    EXPECT_EQ(s.pageWidth, 15840);
    EXPECT_EQ(s.spacing, 225);
    EXPECT_EQ(s.maxY, "11790");
    std::string convertedPath = path; // the table reaches the title too
    std::replace(convertedPath.begin(), convertedPath.end(), 'a', 'A');
    EXPECT_EQ(s.title, convertedPath);
    const std::vector<std::string> prologue = {cmd("Trim=N"), cmd("F=Courier New;S=9"), cmd("\\N"),
                                               "[DATA]"};
    EXPECT_EQ(s.prologueLines, prologue);
    const LineStore &ls = r.value()->lines;
    ASSERT_EQ(ls.count(), 7);
    EXPECT_EQ(ls.record(2), cmd("50") + "first {line}" + cmd("\\N")); // table: "a" is 97 only
    EXPECT_EQ(ls.record(3), cmd("B=Y"));
    EXPECT_EQ(ls.record(4), cmd("\\NP"));
    EXPECT_EQ(ls.record(6).size(), 8u + 600 - kMaxListingPiece);
    EXPECT_TRUE(env.prompter.prompts().empty());
}

TEST(TextConversion, ConversionTableOfTheTypeApplies)
{
    test::TestEnvironment env;
    env.settings.conversions[0] = "up";
    env.dir.write("program/UP.cnv", "97=65\r\n");
    const Opened r = open(env, env.dir.write("l.txt", "banana\r\n"));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()->lines.record(2), cmd("50") + "bAnAnA" + cmd("\\N"));
}

TEST(TextConversion, OpeningRefusesMissingAndWarnsOnEmpty)
{
    test::TestEnvironment env;
    for (const char *name : {"none.txt", "none.TX", "none.lst", "none.prn", "none.PR"}) {
        const Opened r = open(env, env.dir.file(name));
        EXPECT_EQ(r.message(), 135) << name;
        EXPECT_FALSE(r.ok()) << name;
    }
    const Opened empty = open(env, env.dir.write("empty.prn", ""));
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(env.prompter.numbers(), std::vector<int>{210});
    EXPECT_EQ(empty.value()->lines.count(), 2); // the blank and the end record
}
