#include "documents/opening.h"
#include "opensupport.h"
#include "support/testenv.h"
#include "viewer/refusals.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

using namespace kel;
using test::crlf;
using test::dataRecords;
using test::open;

namespace {

Opened openText(test::TestEnvironment &env, const std::string &text,
                const std::string &name = "r.kel")
{
    return open(env, env.dir.write(name, text));
}

} // namespace

TEST(OpenDocument, EmptySettingsPartIsA4Portrait)
{
    test::TestEnvironment env;
    const Opened r = openText(env, crlf({"[HEADER]", "[DATA]", "hello"}));
    ASSERT_TRUE(r.ok()) << r.message();
    const DocumentSettings &s = r.value()->settings;
    EXPECT_EQ(s.pageLength, 16840);
    EXPECT_EQ(s.pageWidth, 11907);
    EXPECT_EQ(s.spacing, 200);
    EXPECT_EQ(s.defaultSpacing, 200);
    EXPECT_EQ(s.maxY, "16340");
    EXPECT_EQ(s.openDelimiter, '{');
    EXPECT_EQ(s.closeDelimiter, '}');
    EXPECT_EQ(s.printAllowed, "Y");
    EXPECT_EQ(s.saveAllowed, "Y");
    EXPECT_EQ(s.orientation, "1");
    EXPECT_EQ(s.barWidth, "1");
    EXPECT_EQ(s.linkTips, "Y");
    EXPECT_EQ(s.title, env.dir.file("r.kel"));
    EXPECT_TRUE(env.prompter.prompts().empty());
}

struct SettingsCase
{
    const char *name;
    std::vector<std::string_view> header;
    double length;
    double width;
    const char *maxY;
};

TEST(OpenDocument, PageSizeRules)
{
    const SettingsCase cases[] = {
        {"LETTER landscape", {"ORIENTATION=2", "PAPERSIZE=LETTER"}, 12240, 15840, "11740"},
        {"letter lower case", {"PAPERSIZE=letter"}, 15840, 12240, "15340"},
        {"length 0 replaces width too", {"PAGELENGTH=0", "PAGEWIDTH=5000"}, 16840, 11907, "16340"},
        {"width 0 with a length stays 0", {"PAGELENGTH=9000", "PAGEWIDTH=0"}, 9000, 0, "8500"},
        {"unknown paper keeps the keys",
         {"PAPERSIZE=FOLIO", "PAGELENGTH=10000", "PAGEWIDTH=8000"},
         10000,
         8000,
         "9500"},
        {"paper overrides keys", {"PAGELENGTH=10000", "PAPERSIZE=A4"}, 16840, 11907, "16340"},
        {"orientation other than 2",
         {"ORIENTATION=landscape", "PAPERSIZE=LEGAL"},
         20160,
         12240,
         "19660"},
        {"maxy as written", {"MAXY=abc"}, 16840, 11907, "abc"},
        {"A4 fallback then landscape", {"ORIENTATION=2"}, 11907, 16840, "11407"},
        {"envelope", {"PAPERSIZE=ENVELOPEDL"}, 12474, 6237, "11974"},
    };
    for (const SettingsCase &c : cases) {
        test::TestEnvironment env;
        std::vector<std::string_view> lines = c.header;
        lines.insert(lines.end(), {"[HEADER]", "[DATA]", "x"});
        std::string text;
        for (auto l : lines)
            text += std::string(l) + "\r\n";
        const Opened r = openText(env, text);
        ASSERT_TRUE(r.ok()) << c.name;
        EXPECT_EQ(r.value()->settings.pageLength, c.length) << c.name;
        EXPECT_EQ(r.value()->settings.pageWidth, c.width) << c.name;
        EXPECT_EQ(r.value()->settings.maxY, c.maxY) << c.name;
    }
}

TEST(OpenDocument, SettingValues)
{
    test::TestEnvironment env;
    const Opened r = openText(env, crlf({
                                       "# a comment",
                                       "OPEN=<",
                                       "CLOSE=>>",
                                       "LM=720",
                                       "TM=360.5",
                                       "Report_Title=Monthly sales",
                                       "SAVE_ALLOWED=y",
                                       "PRINT_ALLOWED=N",
                                       "COMMON=<100>Page <PAG>",
                                       "BARWIDTH=2.5",
                                       "SPACING=240",
                                       "LINKTIPS=n",
                                       "SEND_ALLOWED =N",
                                       "$COL1=1000=ignored",
                                       "$col2=2000",
                                       "[HEADER]",
                                       "<F=arial;S=10>",
                                       "SPACING=999",
                                       "[DATA]",
                                       "line",
                                   }));
    ASSERT_TRUE(r.ok());
    const DocumentSettings &s = r.value()->settings;
    EXPECT_EQ(s.openDelimiter, '<');
    EXPECT_EQ(s.closeDelimiter, '>');
    EXPECT_EQ(s.leftMargin, 720);
    EXPECT_EQ(s.topMargin, 360.5);
    EXPECT_EQ(s.title, "Monthly sales");
    EXPECT_EQ(s.saveAllowed, "y"); // exact comparison with "Y" disables saving
    EXPECT_EQ(s.printAllowed, "N");
    EXPECT_EQ(s.sendAllowed, "Y"); // key with a blank before "=" is not found
    EXPECT_EQ(s.common, "<100>Page <PAG>");
    EXPECT_EQ(s.barWidth, "2.5");
    EXPECT_EQ(s.spacing, 240); // the prologue's SPACING line is markup, not a setting
    EXPECT_EQ(s.linkTips, "N");
    ASSERT_EQ(s.namedPositions.size(), 2u);
    EXPECT_EQ(s.namedPositions[0], std::make_pair(std::string("$COL1"), std::string("1000")));
    EXPECT_EQ(s.namedPositions[1], std::make_pair(std::string("$COL2"), std::string("2000")));
    const std::vector<std::string> prologue = {"<F=arial;S=10>", "SPACING=999", "[DATA]"};
    EXPECT_EQ(s.prologueLines, prologue);
}

TEST(OpenDocument, BarWidthAboveThreeReadsOne)
{
    test::TestEnvironment env;
    const Opened r = openText(env, crlf({"BARWIDTH=4", "[HEADER]", "[DATA]", "x"}));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()->settings.barWidth, "1");
}

TEST(OpenDocument, KeyAfterTheHundredthLineIsNotFound)
{
    test::TestEnvironment env;
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += "# filler\r\n";
    text += crlf({"SPACING=300", "[HEADER]", "[DATA]", "x"});
    const Opened r = openText(env, text);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()->settings.spacing, 200);
}

TEST(OpenDocument, LineStoreRecords)
{
    test::TestEnvironment env;
    const Opened r = openText(env, crlf({"[header]", "  [data]  ", "  one  ", "", "two"}));
    ASSERT_TRUE(r.ok());
    const LineStore &ls = r.value()->lines;
    ASSERT_EQ(ls.count(), 5);
    EXPECT_EQ(ls.raw(1), " ");
    EXPECT_EQ(ls.raw(2), "  one  ");
    EXPECT_EQ(ls.record(2), "one");
    EXPECT_EQ(ls.record(3), "");
    EXPECT_EQ(ls.record(4), "two");
    EXPECT_EQ(ls.record(5), "END_OF_FILE");
    EXPECT_EQ(ls.record(6), "");
    EXPECT_EQ(ls.record(0), "");
}

TEST(OpenDocument, PrologueStopsAt199Lines)
{
    test::TestEnvironment env;
    std::string text = "[HEADER]\r\n";
    for (int i = 0; i < 250; ++i)
        text += "{REM=" + std::to_string(i) + "}\r\n";
    text += "[DATA]\r\nx\r\n";
    const Opened r = openText(env, text);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()->settings.prologueLines.size(), 199u);
    EXPECT_EQ(r.value()->lines.count(), 3);
}

TEST(OpenDocument, HeaderAfterDataStillPasses)
{
    test::TestEnvironment env;
    const Opened r = openText(env, crlf({"[DATA]", "a", "[HEADER]", "b"}));
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.value()->settings.prologueLines.empty());
    EXPECT_EQ(r.value()->lines.count(), 5); // blank, a, [HEADER], b, end
}

TEST(OpenDocument, Refusals)
{
    struct Case
    {
        const char *name;
        std::string text;
        int message;
        bool ends;
    };
    const Case cases[] = {
        {"nine bytes", "[HEADER]\n", 136, false},
        {"no sections", crlf({"just some text", "more text"}), 141, true},
        {"data without header", crlf({"[DATA]", "text here"}), 142, true},
        {"header without data", crlf({"[HEADER]", "text here"}), 143, true},
        {"line over 500", crlf({"[HEADER]", "[DATA]", std::string(501, 'x')}), 145, true},
        {"line over 500 in the settings part", crlf({std::string(501, '#'), "[HEADER]", "[DATA]"}),
         145, true},
        // The refusals come in the loader's order: size, sections, line length.
        {"nine bytes of one line", "[DATA]abc", 136, false},
        {"long line without data", crlf({"[HEADER]", std::string(501, 'x')}), 143, true},
    };
    for (const Case &c : cases) {
        test::TestEnvironment env;
        const Opened r = openText(env, c.text);
        EXPECT_FALSE(r.ok()) << c.name;
        EXPECT_EQ(r.message(), c.message) << c.name;
        EXPECT_EQ(refusalEndsViewer(r.message()), c.ends) << c.name;
    }
    test::TestEnvironment env;
    const Opened fits = openText(env, crlf({"[HEADER]", "[DATA]", std::string(500, 'x')}));
    EXPECT_TRUE(fits.ok());
}

TEST(OpenDocument, OneLineDocumentWarnsAndGoesOn)
{
    test::TestEnvironment env;
    const Opened r = openText(env, "[HEADER] and nothing else");
    EXPECT_EQ(env.prompter.numbers(), std::vector<int>{138});
    EXPECT_EQ(r.message(), 141); // "[HEADER]" is not alone on its line: no sections
}

TEST(OpenDocument, PaperSizeWarnsOnceUntilSwitchedOff)
{
    test::TestEnvironment env;
    env.prompter.queueAnswer(Answer::No);
    const Opened r = openText(env, crlf({"PAPERSIZE=FOLIO", "[HEADER]", "[DATA]", "x"}));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(env.prompter.numbers(), std::vector<int>{144});
    EXPECT_TRUE(env.warnings.enabled());
    EXPECT_NE(env.prompter.prompts()[0].text.indexOf(QStringLiteral("FOLIO")), -1);
    EXPECT_NE(env.prompter.prompts()[0].text.indexOf(QStringLiteral("message 208")), -1);
}

TEST(OpenDocument, IncludesExpandAndMissingOnesLeaveTheErrorLine)
{
    test::TestEnvironment env;
    env.dir.write("part.txt", "included 1\r\nincluded 2\r\n");
    std::filesystem::create_directory(env.dir.file("folder"));
    const std::string text =
        crlf({"[HEADER]", "[DATA]", "before", "  {copy=" + env.dir.file("part.txt") + "}",
              "{COPY=nothing.txt}", "{COPY=part.txt}", "{COPY=folder}", "after"});
    const Opened r = openText(env, text);
    ASSERT_TRUE(r.ok());
    const LineStore &ls = r.value()->lines;
    std::vector<std::string> records;
    for (int i = 2; i < ls.count(); ++i)
        records.emplace_back(ls.record(i));
    const std::vector<std::string> want = {"before",
                                           "included 1",
                                           "included 2",
                                           "{100}message 147{\\n}",
                                           "included 1",
                                           "included 2",
                                           "{100}message 147{\\n}",
                                           "after"};
    EXPECT_EQ(records, want);
}

TEST(OpenDocument, IncludedLinesAreNotExaminedForIncludesAgain)
{
    test::TestEnvironment env;
    env.dir.write("secret.txt", "SECRET\r\n");
    env.dir.write("part.txt", "inner\r\n{COPY=secret.txt}\r\n");
    const Opened r = openText(env, crlf({"[HEADER]", "[DATA]", "{COPY=part.txt}"}));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(test::dataRecords(*r.value()),
              (std::vector<std::string>{"inner", "{COPY=secret.txt}"}));
}

TEST(OpenDocument, IncludeUsesThePreviousDocumentsDelimiter)
{
    test::TestEnvironment env;
    env.dir.write("part.txt", "inc\r\n");
    const std::string text =
        crlf({"OPEN=<", "[HEADER]", "[DATA]", "<COPY=part.txt>", "{COPY=part.txt}"});
    OpenOptions options;
    options.openDelimiter = '<';
    options.closeDelimiter = '>';
    const Opened r = open(env, env.dir.write("r.kel", text), options);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()->lines.record(2), "inc");
    EXPECT_EQ(r.value()->lines.record(3), "{COPY=part.txt}");
}

TEST(OpenDocument, EndOfFileInTheMiddleStaysARecord)
{
    test::TestEnvironment env;
    const Opened r = openText(env, crlf({"[HEADER]", "[DATA]", "a", "END_OF_FILE", "b"}));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()->lines.record(3), "END_OF_FILE");
    EXPECT_EQ(r.value()->lines.count(), 5); // blank, a, END_OF_FILE, b, end record
}

TEST(OpenDocument, WorkingFiles)
{
    test::TestEnvironment env;
    const std::string text = crlf({"TM=10", "[HEADER]", "{F=arial}", "[DATA]", "x"});
    const Opened missing = open(env, env.dir.file("noext"));
    EXPECT_EQ(missing.message(), 41);
    // Folders by those names are no documents: refused, not read.
    for (const auto &[name, message] : {std::pair{"folder.kel", 41}, {"folder.txt", 135}}) {
        std::filesystem::create_directory(env.dir.file(name));
        EXPECT_EQ(open(env, env.dir.file(name)).message(), message) << name;
    }

    env.dir.write("noext.kel", text);
    const Opened r = open(env, env.dir.file("noext"));
    ASSERT_TRUE(r.ok());
    const DocumentSettings &s = r.value()->settings;
    EXPECT_EQ(s.givenPath, env.dir.file("noext.kel"));
    EXPECT_EQ(std::filesystem::path(s.workingPath).parent_path(), env.folders.temp);
    EXPECT_EQ(std::filesystem::path(s.workingPath).extension(), ".$$1");
    std::string extract;
    ASSERT_TRUE(readFile(s.workingPath + "$", extract));
    EXPECT_EQ(extract, crlf({"TM=10", "[HEADER]"}));
}

TEST(OpenDocument, DeleteAfter)
{
    for (bool openCommand : {false, true}) {
        test::TestEnvironment env;
        const std::string path =
            env.dir.write("d.kel", crlf({"DELETE_AFTER=y", "[HEADER]", "[DATA]", "x"}));
        OpenOptions options;
        options.openedWithOpenCommand = openCommand;
        ASSERT_TRUE(open(env, path, options).ok());
        EXPECT_EQ(std::filesystem::exists(path), openCommand);
    }
}

TEST(OpenDocument, RefusedDocumentIsNeverDeleted)
{
    test::TestEnvironment env;
    const std::string path = env.dir.write(
        "d.kel", crlf({"DELETE_AFTER=Y", "[HEADER]", "[DATA]", std::string(600, 'x')}));
    const Opened r = open(env, path);
    EXPECT_EQ(r.message(), 145);
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(OpenDocument, TwoOpeningsInOneSecondKeepTheirOwnWorkingCopies)
{
    // Two viewers, or a viewer and keltool, share one temporary folder; a
    // working copy named after the time of day alone was written by both.
    test::TestEnvironment env;
    const std::string a = env.dir.write("a.kel", crlf({"[HEADER]", "[DATA]", "report a"}));
    const std::string b = env.dir.write("b.kel", crlf({"[HEADER]", "[DATA]", "report b"}));
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string second = hmsName();
        const Opened ra = open(env, a);
        const Opened rb = open(env, b);
        ASSERT_TRUE(ra.ok() && rb.ok());
        if (hmsName() != second)
            continue; // the clock turned over in between: try again
        const DocumentSettings &sa = ra.value()->settings;
        const DocumentSettings &sb = rb.value()->settings;
        EXPECT_NE(sa.workingPath, sb.workingPath);
        EXPECT_EQ(fs::path(sa.workingPath).filename().string().rfind(second + "-", 0), 0u)
            << sa.workingPath;
        std::string bytes;
        ASSERT_TRUE(readFile(sa.workingPath, bytes));
        EXPECT_EQ(bytes, crlf({"[HEADER]", "[DATA]", "report a"}));
        ASSERT_TRUE(readFile(sb.workingPath + "$", bytes));
        EXPECT_EQ(bytes, crlf({"[HEADER]"}));
        return;
    }
    FAIL() << "the clock turned over during every attempt";
}

TEST(IncludePass, AnySplitIntoPiecesMakesTheSameWorkingCopy)
{
    // The loader feeds the report in blocks: a CR LF, an include line or a
    // marker may fall across two of them.
    auto reader = [](const std::string &name, uint64_t, const IncludePiece &piece) {
        if (name != "part")
            return IncludeOutcome::Unreadable;
        piece("p1\r");
        piece("\np2");
        return IncludeOutcome::Read;
    };
    const std::string report = "A=1\r\n[HEADER]\n\r\n{COPY=part}\r{copy=part}\r\n  {COPY=none}  "
                               "\n[DATA]\rx\r\n{COPY=part}";
    const std::string want = crlf({"A=1", "[HEADER]", "", "p1", "p2", "p1", "p2", "{100}gone{\\n}",
                                   "[DATA]", "x", "p1", "p2"});
    for (size_t piece = 1; piece <= report.size(); ++piece) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        IncludePass pass('{', '}', "gone", reader);
        for (size_t i = 0; i < report.size(); i += piece)
            pass.feed(std::string_view(report).substr(i, piece));
        ASSERT_TRUE(pass.finish());
        EXPECT_EQ(pass.documentLines(), 9);
        EXPECT_EQ(pass.take(), want);
    }
}

TEST(ReadReport, BytesInMemoryOpenAsTheFileDoes)
{
    // The loader's pure steps, as fuzzers and tests use them: no file is read
    // or written, and the document is the one openDocument makes.
    test::TestEnvironment env;
    env.dir.write("program/DOS.cnv", "130=233\r\n");
    const std::string text =
        crlf({"CONVERSION=dos", "REPORT_TITLE=t\x82", "LM=100", "$POS=500", "PAPERSIZE=LETTER",
              "[HEADER]", "{F=arial}", "[DATA]", "a\x82", "b"});
    const Opened opened = open(env, env.dir.write("r.kel", text));
    ASSERT_TRUE(opened.ok());

    ConversionTable dos;
    dos.parse("130=233\r\n");
    std::string keptWorking;
    ReportSteps steps{env.warnings, [&](const std::string &) { return dos; },
                      [&](std::string_view working, std::string_view) -> Status {
                          keptWorking = working;
                          return {};
                      },
                      nullptr};
    DocumentSettings paths;
    paths.givenPath = "given.kel";
    const Opened read = readReport(text, paths, steps);
    ASSERT_TRUE(read.ok());
    const DocumentSettings &a = opened.value()->settings;
    const DocumentSettings &b = read.value()->settings;
    EXPECT_EQ(b.title, a.title);
    EXPECT_EQ(b.leftMargin, a.leftMargin);
    EXPECT_EQ(b.pageLength, a.pageLength);
    EXPECT_EQ(b.namedPositions, a.namedPositions);
    EXPECT_EQ(b.prologueLines, a.prologueLines);
    EXPECT_EQ(dataRecords(*read.value()), dataRecords(*opened.value()));
    EXPECT_EQ(keptWorking, crlf({"REPORT_TITLE=t\xe9", "LM=100", "$POS=500", "PAPERSIZE=LETTER",
                                 "[HEADER]", "{F=arial}", "[DATA]", "a\xe9", "b"}));

    // The settings alone, from the settings part's bytes.
    DocumentSettings alone;
    EXPECT_TRUE(
        readSettings(alone, crlf({"DELETE_AFTER=y", "ORIENTATION=2", "[HEADER]"}), env.warnings));
    EXPECT_EQ(alone.pageLength, kA4Width);
}
