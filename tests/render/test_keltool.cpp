// keltool's rendering commands end to end, checked with poppler's tools and
// a real Code 39 decoder where they are installed.
#include "support/testenv.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

using namespace kel;

namespace {

struct Outcome
{
    int code = -1;
    std::string out;
    std::string err;
};

Outcome runProgram(const QString &program, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(120000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

Outcome keltool(const QStringList &args)
{
    return runProgram(QStringLiteral(KEL_BIN_DIR "/keltool"), args);
}

bool have(const char *tool)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

QString q(const std::string &s)
{
    return QString::fromStdString(s);
}

const std::string kSample = KEL_SOURCE_DIR "/data/samples/sample.kel";
// A fixed report whose trace lines the tests spell out.
const std::string kTraced = KEL_TEST_DATA "/render/traced.kel";

// A landscape letter page: margins 720 left and 1440 top, pages ending past
// 2000 twips, two pages.
const std::string kPlaced = test::crlf({
    "LM=720",
    "TM=1440",
    "ORIENTATION=2",
    "PAPERSIZE=LETTER",
    "MAXY=2000",
    "[HEADER]",
    "{F=arial;S=10}",
    "[DATA]",
    "{1440}Hello{\\N;3000}World{\\N}",
    "{\\NP}",
    "Second{\\N}",
});

struct Word
{
    double xMin, yMin, yMax;
    std::string text;
};

std::vector<Word> words(const std::string &pdf, int page)
{
    const Outcome r =
        runProgram(QStringLiteral("pdftotext"), {"-bbox", "-f", QString::number(page), "-l",
                                                 QString::number(page), q(pdf), "-"});
    std::vector<Word> out;
    // A word at the very top of the page may start a hair above it.
    const std::regex word("<word xMin=\"(-?[0-9.]+)\" yMin=\"(-?[0-9.]+)\" xMax=\"-?[0-9.]+\" "
                          "yMax=\"(-?[0-9.]+)\">([^<]*)</word>");
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), word);
         it != std::sregex_iterator(); ++it)
        out.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), (*it)[4]});
    return out;
}

} // namespace

TEST(Keltool, ArgumentsAndRefusals)
{
    test::TempDir dir;
    const std::string png = dir.file("p.png");
    const struct
    {
        const char *name;
        QStringList args;
        int code;
        const char *err; // part of the one line on stderr
    } cases[] = {
        {"pages of the sample", {"pages", q(kSample)}, 0, ""},
        {"a missing document", {"pages", q(dir.file("none.kel"))}, 1, "keltool: "},
        {"a document without sections",
         {"pages", q(dir.write("bad.kel", "no sections\r\nhere\r\n"))},
         1,
         "]"},
        {"page 0", {"render", q(kSample), "--page", "0", "-o", q(png)}, 2, "--page"},
        {"page text", {"render", q(kSample), "--page", "two", "-o", q(png)}, 2, "--page"},
        {"page beyond the end",
         {"render", q(kSample), "--page", "9", "-o", q(png)},
         1,
         "(page 9; the last is 2) [153]"},
        {"trace of a page beyond the end", {"trace", q(kSample), "--page", "3"}, 1, "[153]"},
        {"zoom 0", {"render", q(kSample), "--page", "1", "--zoom", "0", "-o", q(png)}, 2, "--zoom"},
        {"no output", {"render", q(kSample), "--page", "1"}, 2, "usage"},
        {"an unknown option", {"trace", q(kSample), "--page", "1", "--colour"}, 2, "--colour"},
        {"an output that cannot be written",
         {"render", q(kSample), "--page", "1", "-o", q(dir.file("no/such/dir/p.png"))},
         2,
         "cannot write"},
        {"a range backwards",
         {"pdf", q(kSample), "-o", q(dir.file("a.pdf")), "--from", "2", "--to", "1"},
         2,
         "--to"},
        {"a range beyond the document",
         {"pdf", q(kSample), "-o", q(dir.file("a.pdf")), "--from", "3"},
         1,
         "[153]"},
        {"settings of a folder", {"settings", q(dir.path())}, 2, "is a folder, not a document"},
        {"settings of a device", {"settings", "/dev/null"}, 2, "/dev/null: is not a regular file"},
        {"lng decode of no language file",
         {"lng", "decode", q(dir.write("words.txt", "hello\r\nworld\r\n"))},
         1,
         "not a language file"},
        {"a pack that cannot be written",
         {"pack", q(kSample), q(dir.file("no/such/dir/packed.kel"))},
         2,
         "[290]"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome r = keltool(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (c.code != 0) {
            EXPECT_EQ(r.err.rfind("keltool: ", 0), 0u) << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        }
    }
    EXPECT_EQ(keltool({"pages", q(kSample)}).out, "pages=2\n");
    EXPECT_EQ(keltool({"--version"}).out, "keltool (Kel Printing System) 2.2\n");
    EXPECT_EQ(keltool({"lng", "decode", q(dir.file("words.txt"))}).out, "");
    // Every option a usage line names is in the help.
    EXPECT_NE(keltool({"--help"})
                  .out.find("receive --queue DIR [--port N] [--address A] "
                            "[--count K] [--quiet-ms M] [-v]"),
              std::string::npos);
}

TEST(Keltool, RenderIsThePagePictureAtTheZoom)
{
    test::TempDir dir;
    const std::string png = dir.file("page.png");
    const Outcome r = keltool({"render", q(kSample), "--page", "1", "--zoom", "2", "-o", q(png)});
    ASSERT_EQ(r.code, 0) << r.err;
    const QImage image(q(png));
    EXPECT_EQ(image.size(), QSize(1588, 2245)); // A4 in twips * 2 / 15
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
    // The title starts at the margins, 720 twips in and down: 96 pixels.
    bool inkNearMargin = false;
    for (int y = 96; y < 150 && !inkNearMargin; ++y)
        inkNearMargin = qGray(image.pixel(100, y)) < 100;
    EXPECT_TRUE(inkNearMargin);
    for (int y = 0; y < 90; ++y)
        ASSERT_EQ(image.pixel(100, y), qRgb(255, 255, 255)) << y;
}

TEST(Keltool, TraceShowsOperationsAndLinks)
{
    const Outcome r = keltool({"trace", q(kTraced), "--page", "2", "--now", "2026-01-31T08:05:09"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("text 300,280 \"Printed \"\ntext 1100,280 \"31/01/2026\"\n"),
              std::string::npos)
        << r.out;
    const Outcome one = keltool({"trace", q(kTraced), "--page", "1"});
    EXPECT_NE(one.out.find("\nlink 1 300,3360 2300,230 https://example.invalid/kel\n"),
              std::string::npos)
        << one.out;
    const Outcome printer = keltool({"trace", q(kTraced), "--page", "1", "--printer"});
    EXPECT_NE(printer.out.find("text 0,1280 \"Monthly sales report\""), std::string::npos)
        << printer.out;
    EXPECT_EQ(printer.out.find("\nlink "), std::string::npos);
}

TEST(Keltool, PdfHasThePagesSizeAndTextPositions)
{
    if (!have("pdfinfo") || !have("pdftotext"))
        GTEST_SKIP() << "poppler-utils not installed";
    test::TempDir dir;
    const std::string report = dir.write("placed.kel", kPlaced);
    const std::string pdf = dir.file("placed.pdf");
    const Outcome r = keltool({"pdf", q(report), "-o", q(pdf)});
    ASSERT_EQ(r.code, 0) << r.err;

    const Outcome info = runProgram(QStringLiteral("pdfinfo"), {q(pdf)});
    EXPECT_NE(info.out.find("Pages:           2\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Page size:       792 x 612 pts"), std::string::npos) << info.out;

    const std::vector<Word> first = words(pdf, 1);
    ASSERT_EQ(first.size(), 2u);
    const struct
    {
        const char *text;
        double x, y; // points: (margin + markup) / 20
    } expected[] = {{"Hello", (720 + 1440) / 20.0, 1440 / 20.0},
                    {"World", (720 + 3000) / 20.0, (1440 + 200) / 20.0}};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(first[i].text, expected[i].text);
        EXPECT_NEAR(first[i].xMin, expected[i].x, 0.5) << expected[i].text;
        EXPECT_NEAR(first[i].yMin, expected[i].y, 1.5) << expected[i].text;
    }
    // The second page begins where the screen's does.
    const std::vector<Word> second = words(pdf, 2);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].text, "Second");
    EXPECT_NEAR(second[0].yMin, 72, 1.5);
    const Outcome trace = keltool({"trace", q(report), "--page", "2"});
    EXPECT_NE(trace.out.find("\"Second\""), std::string::npos);

    const std::string part = dir.file("part.pdf");
    ASSERT_EQ(keltool({"pdf", q(report), "-o", q(part), "--from", "2", "--to", "2"}).code, 0);
    EXPECT_NE(runProgram(QStringLiteral("pdfinfo"), {q(part)}).out.find("Pages:           1\n"),
              std::string::npos);
    EXPECT_EQ(words(part, 1).front().text, "Second");
}

// trace, render and pdf draw a single page as the whole document draws it:
// with the font size and barcode mode the pages before it leave behind.
TEST(Keltool, SinglePagesCarryTheStateOfThePagesBefore)
{
    test::TempDir dir;
    const std::string report = dir.write(
        "carried.kel", test::crlf({"BARWIDTH=3", "[HEADER]", "[DATA]", "{S=24}Big{\\NP}",
                                   "Second{\\N}", "{BAR}ABC{\\NP}", "DEF{NOBAR}{\\N}", "after"}));
    for (const char *where : {"", "--printer"}) {
        SCOPED_TRACE(*where ? "printer" : "screen");
        QStringList args = {"trace", q(report), "--page", "2"};
        if (*where)
            args << where;
        const Outcome second = keltool(args);
        ASSERT_EQ(second.code, 0) << second.err;
        EXPECT_NE(second.out.find("\nsize 24\n"), std::string::npos) << second.out;
        args[3] = "3";
        const Outcome third = keltool(args);
        EXPECT_EQ(third.out.find("\"DEF\""), std::string::npos) << third.out;
        EXPECT_NE(third.out.find("\nfill "), std::string::npos) << third.out;
        EXPECT_NE(third.out.find("\"after\""), std::string::npos) << third.out;
    }

    // The picture of page 3: bars where DEF stands, as on paper.
    const std::string png = dir.file("third.png");
    ASSERT_EQ(keltool({"render", q(report), "--page", "3", "--zoom", "2", "-o", q(png)}).code, 0);
    const QImage image(q(png));
    int darkColumns = 0;
    for (int x = 0; x < 400; ++x)
        darkColumns += qGray(image.pixel(x, 10)) < 100;
    EXPECT_GT(darkColumns, 100);
    if (have("zbarimg")) {
        const Outcome decoded = runProgram(QStringLiteral("zbarimg"), {"-q", "--raw", q(png)});
        EXPECT_NE(decoded.out.find("DEF\n"), std::string::npos) << decoded.out;
    }

    if (!have("pdftotext"))
        GTEST_SKIP() << "poppler-utils not installed";
    const std::string whole = dir.file("whole.pdf");
    const std::string part = dir.file("part.pdf");
    ASSERT_EQ(keltool({"pdf", q(report), "-o", q(whole)}).code, 0);
    ASSERT_EQ(keltool({"pdf", q(report), "-o", q(part), "--from", "2"}).code, 0);
    std::filesystem::create_directory(dir.file("printed"));
    const Outcome printed = keltool({"print", q(report), "--printer",
                                     q("pdf:" + dir.file("printed")), "--from", "2", "--to", "3"});
    ASSERT_EQ(printed.code, 0) << printed.err;
    const size_t file = printed.out.find("file=");
    ASSERT_NE(file, std::string::npos) << printed.out;
    const std::string spooled =
        printed.out.substr(file + 5, printed.out.find('\n', file) - file - 5);
    std::vector<double> heights;
    for (const auto &[pdf, first] :
         {std::pair{whole, 2}, std::pair{part, 1}, std::pair{spooled, 1}}) {
        SCOPED_TRACE(pdf);
        const std::vector<Word> second = words(pdf, first);
        ASSERT_EQ(second.size(), 1u);
        EXPECT_EQ(second[0].text, "Second");
        heights.push_back(second[0].yMax - second[0].yMin);
        const std::vector<Word> third = words(pdf, first + 1);
        ASSERT_EQ(third.size(), 1u); // DEF is bars, not text
        EXPECT_EQ(third[0].text, "after");
    }
    EXPECT_GT(heights[0], 20); // 24 points, not the 8 of an opening
    EXPECT_NEAR(heights[0], heights[1], 0.01);
    EXPECT_NEAR(heights[0], heights[2], 0.01);
}

TEST(Keltool, PagesPastTwentyThousand)
{
    test::TempDir dir;
    std::string text = test::crlf({"[HEADER]", "[DATA]"});
    for (int p = 1; p <= 25000; ++p)
        text += "page " + std::to_string(p) + "{\\NP}\r\n";
    const std::string report = dir.write("long.kel", text);

    const Outcome pages = keltool({"pages", q(report)});
    EXPECT_EQ(pages.out, "pages=25001\n"); // the last holds only the end of the data
    EXPECT_EQ(pages.err, "");
    const Outcome trace = keltool({"trace", q(report), "--page", "25000"});
    ASSERT_EQ(trace.code, 0) << trace.err;
    EXPECT_NE(trace.out.find("\"page 25000\""), std::string::npos);
    std::filesystem::create_directory(dir.file("printed"));
    const Outcome printed =
        keltool({"print", q(report), "--printer", q("pdf:" + dir.file("printed")), "--from",
                 "24999", "--to", "25000"});
    ASSERT_EQ(printed.code, 0) << printed.err;
    EXPECT_EQ(printed.out.rfind("printed=2\n", 0), 0u) << printed.out;

    if (!have("pdftotext"))
        GTEST_SKIP() << "poppler-utils not installed";
    const std::string pdf = dir.file("end.pdf");
    ASSERT_EQ(keltool({"pdf", q(report), "-o", q(pdf), "--from", "24999", "--to", "25000"}).code,
              0);
    EXPECT_EQ(words(pdf, 1).front().text + " " + words(pdf, 1).back().text, "page 24999");
    EXPECT_EQ(words(pdf, 2).front().text + " " + words(pdf, 2).back().text, "page 25000");
}

TEST(Keltool, BarcodesDecode)
{
    if (!have("zbarimg") || !have("pdftoppm"))
        GTEST_SKIP() << "zbar-tools or poppler-utils not installed";
    test::TempDir dir;
    const struct
    {
        const char *barWidth;
        const char *how; // "render ZOOM" or "pdf DPI"
        const char *value;
    } cases[] = {
        {"3", "render 1", nullptr}, {"3", "render 2", nullptr}, {"2", "render 2", nullptr},
        {"3", "pdf 150", nullptr},  {"1", "pdf 600", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("BARWIDTH ") + c.barWidth + " " + c.how);
        const std::string report =
            dir.write("bar.kel", test::crlf({std::string("BARWIDTH=") + c.barWidth, "[HEADER]",
                                             "[DATA]", "{300;S=20;BAR}KEL-39 AB{NOBAR;\\N;\\N;\\N}",
                                             "{300;BAR}hello 42{NOBAR}"}));
        const std::string how = c.how;
        const std::string number = how.substr(how.find(' ') + 1);
        std::string png = dir.file("bar.png");
        if (how.rfind("render", 0) == 0) {
            ASSERT_EQ(
                keltool({"render", q(report), "--page", "1", "--zoom", q(number), "-o", q(png)})
                    .code,
                0);
        } else {
            const std::string pdf = dir.file("bar.pdf");
            ASSERT_EQ(keltool({"pdf", q(report), "-o", q(pdf)}).code, 0);
            ASSERT_EQ(
                runProgram(QStringLiteral("pdftoppm"),
                           {"-r", q(number), "-png", "-singlefile", q(pdf), q(dir.file("bar"))})
                    .code,
                0);
        }
        const Outcome decoded = runProgram(QStringLiteral("zbarimg"), {"-q", "--raw", q(png)});
        EXPECT_EQ(decoded.code, 0);
        // Lower-case letters are drawn as their capitals.
        EXPECT_NE(decoded.out.find("KEL-39 AB\n"), std::string::npos) << decoded.out;
        EXPECT_NE(decoded.out.find("HELLO 42\n"), std::string::npos) << decoded.out;
    }
}

TEST(Keltool, ExecRunsOnlyWhenAsked)
{
    test::TempDir dir;
    const std::string viewed = dir.file("viewed");
    const std::string printed = dir.file("printed");
    const std::string report = dir.write(
        "exec.kel", test::crlf({"[HEADER]", "[DATA]", "{EXEC=touch " + viewed + ",ALWAYS}x",
                                "{EXEC=touch " + printed + ",ALWAYS,PRINT}y"}));
    auto appears = [](const std::string &path) {
        for (int i = 0; i < 50 && !std::filesystem::exists(path); ++i)
            QThread::msleep(100);
        return std::filesystem::exists(path);
    };
    ASSERT_EQ(keltool({"render", q(report), "--page", "1", "-o", q(dir.file("a.png"))}).code, 0);
    ASSERT_EQ(keltool({"pdf", q(report), "-o", q(dir.file("a.pdf"))}).code, 0);
    QThread::msleep(300);
    EXPECT_FALSE(std::filesystem::exists(viewed));
    EXPECT_FALSE(std::filesystem::exists(printed));

    ASSERT_EQ(
        keltool({"render", q(report), "--page", "1", "--exec", "-o", q(dir.file("b.png"))}).code,
        0);
    EXPECT_TRUE(appears(viewed));
    EXPECT_FALSE(std::filesystem::exists(printed));
    ASSERT_EQ(keltool({"pdf", q(report), "--exec", "-o", q(dir.file("b.pdf"))}).code, 0);
    EXPECT_TRUE(appears(printed));
}
