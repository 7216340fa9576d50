// keltool convert, merge, pack and unpack, run as a user would run them.
#include "support/testenv.h"

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>

using namespace kel;
using test::crlf;
namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string &s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string read(const std::string &path)
{
    std::string bytes;
    readFile(path, bytes);
    return bytes;
}

struct ToolRun
{
    int code = -1;
    std::string out;
    std::string err;
};

// A private program folder (KEL.LNG of the build, a KEL.INI of the test's
// own) and a private TEMP, both inside one test folder.
class Keltool
{
public:
    Keltool()
    {
        fs::create_directories(dir.file("program"));
        fs::create_directories(dir.file("tmp"));
        fs::create_directories(dir.file("work"));
        fs::copy_file(std::string(KEL_BIN_DIR) + "/KEL.LNG", dir.file("program/KEL.LNG"));
    }

    ToolRun run(const std::vector<std::string> &args) const
    {
        std::string command = "cd " + quoted(dir.file("work")) +
                              " && KEL_HOME=" + quoted(dir.file("program")) +
                              " TEMP=" + quoted(dir.file("tmp")) + " " +
                              quoted(std::string(KEL_BIN_DIR) + "/keltool");
        for (const std::string &a : args)
            command += " " + quoted(a);
        command += " >" + quoted(dir.file("out.txt")) + " 2>" + quoted(dir.file("err.txt"));
        const int status = std::system(command.c_str());
        ToolRun r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = read(dir.file("out.txt"));
        r.err = read(dir.file("err.txt"));
        return r;
    }

    // Every file of the test folder outside the private TEMP and the
    // captured output.
    std::set<std::string> filesOutsideTemp() const
    {
        std::set<std::string> out;
        for (const auto &e : fs::recursive_directory_iterator(dir.path())) {
            const std::string rel = fs::relative(e.path(), dir.path()).string();
            if (!e.is_directory() && rel.rfind("tmp/", 0) != 0 && rel != "out.txt" &&
                rel != "err.txt")
                out.insert(rel);
        }
        return out;
    }

    std::string work(const std::string &name) const { return dir.file("work/" + name); }

    test::TempDir dir;
};

// A 4 x 4 picture of one colour, as a 24-bit BMP file.
std::string solidBmp(unsigned char r, unsigned char g, unsigned char b)
{
    auto le = [](std::string &out, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string out = "BM";
    le(out, 54 + 48, 4);
    le(out, 0, 4);
    le(out, 54, 4);
    le(out, 40, 4);
    le(out, 4, 4);
    le(out, 4, 4);
    le(out, 1, 2);
    le(out, 24, 2);
    for (int i = 0; i < 6; ++i)
        le(out, 0, 4);
    for (int i = 0; i < 16; ++i) {
        out += static_cast<char>(b);
        out += static_cast<char>(g);
        out += static_cast<char>(r);
    }
    return out;
}

bool haveTool(const char *name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

TEST(KeltoolPack, PackedReportIsAZipOnceItsFirstBytesAreRestored)
{
    Keltool k;
    k.dir.write("work/pics/rel.png", "relative picture");
    const std::string abs = k.dir.write("elsewhere/abs.png", std::string("\x89PNG\0abs", 8));
    k.dir.write("work/r.kel", crlf({"[HEADER]", "[DATA]", "{PIC=pics/rel.png,0,0,100,100}",
                                    "{100;PIC=" + abs + ",0,200,100,100}text"}));
    const ToolRun packed = k.run({"pack", "r.kel", "out"});
    ASSERT_EQ(packed.code, 0) << packed.err;
    EXPECT_EQ(packed.out, "out.Kel\n");

    std::string zip = read(k.work("out.Kel"));
    ASSERT_EQ(zip.substr(0, 5), std::string("22\x03\x04\x14"));
    zip.replace(0, 2, "PK");
    k.dir.write("check/out.zip", zip);
    if (!haveTool("unzip") || !haveTool("zip"))
        GTEST_SKIP() << "zip and unzip are not installed";
    const std::string list = k.dir.file("check/list.txt");
    ASSERT_EQ(
        std::system(
            ("unzip -l " + quoted(k.dir.file("check/out.zip")) + " >" + quoted(list)).c_str()),
        0);
    const std::string listing = read(list);
    EXPECT_NE(listing.find("Kel Packed File"), std::string::npos) << listing;
    EXPECT_NE(listing.find(" out\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("1 file"), std::string::npos) << listing;
    EXPECT_EQ(
        std::system(("zip -T " + quoted(k.dir.file("check/out.zip")) + " >/dev/null").c_str()), 0);
}

TEST(KeltoolPack, PicturesByAbsoluteAndRelativePathTravelWithTheReport)
{
    Keltool k;
    const std::string red = solidBmp(255, 0, 0);
    const std::string blue = solidBmp(0, 0, 255);
    k.dir.write("work/pics/rel.png", red);
    const std::string abs = k.dir.write("elsewhere/abs.png", blue);
    k.dir.write("work/r.kel", crlf({"[HEADER]", "[DATA]", "{PIC=pics/rel.png,0,0,1500,1500}",
                                    "{100;PIC=" + abs + ",3000,0,1500,1500}text"}));
    ASSERT_EQ(k.run({"pack", "r.kel", "p.kel"}).code, 0);

    const std::string dest = k.dir.file("unpacked");
    const ToolRun unpacked = k.run({"unpack", k.work("p.kel"), dest});
    ASSERT_EQ(unpacked.code, 0) << unpacked.err;
    const std::vector<std::string_view> names = splitLines(unpacked.out);
    ASSERT_EQ(names.size(), 3u) << unpacked.out;
    std::string absName = "$" + abs;
    for (char &c : absName) {
        if (c == '/')
            c = '_';
    }
    EXPECT_EQ(names[1], "$pics_rel.png");
    EXPECT_EQ(names[2], absName);
    EXPECT_EQ(read(dest + "/$pics_rel.png"), red);
    EXPECT_EQ(read(dest + "/" + absName), blue);
    const std::string report = read(dest + "/" + std::string(names[0]));
    EXPECT_NE(report.find("{PIC=$pics_rel.png,0,0,1500,1500}"), std::string::npos) << report;
    EXPECT_NE(report.find("{100;PIC=" + absName + ",3000,0,1500,1500}text"), std::string::npos)
        << report;
    EXPECT_EQ(names[0].substr(names[0].size() - 4), ".KEL");

    // Both pictures show, on the unpacked report elsewhere and on the
    // packed file opened as it is: red at the left, blue 200 pixels on.
    fs::remove_all(k.dir.file("work/pics"));
    fs::remove_all(k.dir.file("elsewhere"));
    for (const std::string &shown : {dest + "/" + std::string(names[0]), k.work("p.kel")}) {
        const std::string png = k.dir.file("page.png");
        const ToolRun rendered = k.run({"render", shown, "--page", "1", "-o", png});
        ASSERT_EQ(rendered.code, 0) << rendered.err;
        const QImage page(QString::fromStdString(png));
        EXPECT_EQ(page.pixel(50, 50), qRgb(255, 0, 0)) << shown;
        EXPECT_EQ(page.pixel(250, 50), qRgb(0, 0, 255)) << shown;
    }

    // The unpacked report opens as a report of its own.
    const ToolRun settings = k.run({"settings", dest + "/" + std::string(names[0])});
    EXPECT_EQ(settings.code, 0) << settings.err;
}

TEST(KeltoolUnpack, RefusesDamagedInputAndStaysInItsFolders)
{
    Keltool k;
    k.dir.write("work/r.kel", crlf({"[HEADER]", "[DATA]", "x"}));
    ASSERT_EQ(k.run({"pack", "r.kel", "p.kel"}).code, 0);
    const std::string packed = read(k.work("p.kel"));

    // The same packed report cut short, and its container (which unpacking
    // leaves in TEMP) cut short.
    k.dir.write("work/cut.kel", packed.substr(0, packed.size() / 2));
    ASSERT_EQ(k.run({"unpack", "p.kel", k.dir.file("first")}).code, 0);
    std::string container;
    for (const auto &e : fs::directory_iterator(k.dir.file("tmp"))) {
        for (const auto &f : fs::directory_iterator(e.path())) {
            if (f.path().filename() == "p.kel")
                container = read(f.path().string());
        }
    }
    ASSERT_FALSE(container.empty());
    k.dir.write("work/cutcontainer.kel", container.substr(0, container.size() - 1));
    const std::set<std::string> before = k.filesOutsideTemp();
    const std::pair<const char *, const char *> cases[] = {
        {"cut.kel", "[289]"}, {"cutcontainer.kel", "[289]"}, {"r.kel", "neither"}};
    for (const auto &[name, message] : cases) {
        const ToolRun r = k.run({"unpack", name, k.dir.file("dest")});
        EXPECT_EQ(r.code, 1) << name;
        EXPECT_NE(r.err.find(message), std::string::npos) << name << ": " << r.err;
    }
    EXPECT_EQ(k.filesOutsideTemp(), before);
}

TEST(KeltoolConvert, PerTypeSettingsAndRefusals)
{
    Keltool k;
    k.dir.write(
        "program/KEL.INI",
        crlf({"TXT_ORIENTATION=PORTRAIT", "LST_ORIENTATION=LANDSCAPE", "TXT_LENGTH=15840",
              "TXT_WIDTH=12240", "LST_LENGTH=16840", "LST_WIDTH=11907", "TXT_FONTNAME=Courier New",
              "TXT_FONTSIZE=8", "LST_FONTNAME=Lucida", "LST_FONTSIZE=", "LST_PRINTER=Laser 2"}));
    k.dir.write("work/a.txt", "hello {world}\r\n\x0c\r\ncaf\xe9\r\n");
    k.dir.write("work/empty.prn", "");

    ASSERT_EQ(k.run({"convert", "a.txt", "a.kel"}).code, 0);
    const std::string txt = read(k.work("a.kel"));
    EXPECT_NE(txt.find("SPACING=200\r\nMAXY=15440\r\n"), std::string::npos);
    EXPECT_NE(txt.find("\x01"
                       "F=Courier New;S=8\x02"),
              std::string::npos);
    EXPECT_NE(txt.find("\x01"
                       "50\x02"
                       "caf\xe9\x01\\N\x02\r\n"),
              std::string::npos);

    ASSERT_EQ(k.run({"convert", "a.txt", "b.kel", "--type", "LST"}).code, 0);
    const std::string lst = read(k.work("b.kel"));
    EXPECT_NE(lst.find("ORIENTATION=2\r\n"), std::string::npos);
    EXPECT_NE(lst.find("MAXY=11407\r\nPRINTER=Laser 2\r\n"), std::string::npos);

    struct Case
    {
        std::vector<std::string> args;
        int code;
        const char *message;
    };
    const Case cases[] = {
        {{"convert", "missing.txt", "x.kel"}, 1, "[135]"},
        {{"convert", "empty.prn", "x.kel"}, 1, "[210]"},
        {{"convert", "a.dat", "x.kel"}, 2, "--type"},
        {{"convert", "a.txt", "x.kel", "--type", "pdf"}, 2, "--type"},
        {{"convert", "a.txt"}, 2, "usage"},
        {{"merge", "missing.kez", "x.kel"}, 1, "[134]"},
    };
    for (const Case &c : cases) {
        const ToolRun r = k.run(c.args);
        EXPECT_EQ(r.code, c.code) << c.args[1];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args[1] << ": " << r.err;
    }

    // Every command that opens a document takes listings too.
    const ToolRun settings = k.run({"settings", "a.txt"});
    EXPECT_EQ(settings.code, 0) << settings.err;
    EXPECT_NE(settings.out.find("records=5\n"), std::string::npos) << settings.out;
}

TEST(KeltoolMerge, FillsTheTemplate)
{
    Keltool k;
    k.dir.write("work/t.kel", crlf({"[HEADER]", "[DATA]", "Dear @NAME, see ann@example.com"}));
    k.dir.write("work/d.kez", crlf({"TEMPLATE=t.kel", "@name=Ann"}));
    k.dir.write("work/self.kez", crlf({"TEMPLATE=self.kez", "@A=@A@A"}));
    ASSERT_EQ(k.run({"merge", "d.kez", "out.kel"}).code, 0);
    EXPECT_EQ(read(k.work("out.kel")),
              crlf({"[HEADER] ", "[DATA] ", "Dear Ann, see ann@example.com "}));
    const ToolRun self = k.run({"merge", "self.kez", "self.kel"});
    EXPECT_EQ(self.code, 1);
    EXPECT_NE(self.err.find("itself"), std::string::npos) << self.err;
    EXPECT_FALSE(fs::exists(k.work("self.kel")));
}

TEST(KeltoolConvert, ListingComesBackFromThePdf)
{
    if (!haveTool("pdftotext") || !haveTool("pdfinfo"))
        GTEST_SKIP() << "poppler's tools are not installed";
    Keltool k;
    // Form feeds, ESC bold and italic codes, braces and Windows-1252 letters.
    k.dir.write("work/list.txt",
                crlf({"Invoice {42} for Caf\xe9 M\xfcller", "\x1b<", "Total due: 1250.00",
                      "\x1b"
                      "F",
                      "\f", "Second page, \xe0 la carte",
                      "\x1b"
                      "4",
                      "italic line",
                      "\x1b"
                      "5",
                      ".NP", "Third page"}));
    ASSERT_EQ(k.run({"convert", "list.txt", "list.kel"}).code, 0);
    const std::string report = read(k.work("list.kel"));
    EXPECT_NE(report.find("\x01"
                          "B=Y\x02"),
              std::string::npos);
    EXPECT_NE(report.find("\x01"
                          "I=N\x02"),
              std::string::npos);
    // No font in the settings: a fixed-pitch font keeps the columns.
    EXPECT_NE(report.find("\x01"
                          "F=Courier New;S=10\x02"),
              std::string::npos);
    const ToolRun pdf = k.run({"pdf", k.work("list.kel"), "-o", k.work("list.pdf")});
    ASSERT_EQ(pdf.code, 0) << pdf.err;
    ASSERT_EQ(std::system(("pdftotext -layout " + quoted(k.work("list.pdf")) + " " +
                           quoted(k.work("list.pdf.txt")))
                              .c_str()),
              0);
    const std::string text = read(k.work("list.pdf.txt"));
    for (const char *expected : {"Invoice {42} for Café Müller", "Total due: 1250.00",
                                 "Second page, à la carte", "italic line", "Third page"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    // Pages end at the form feed and at .NP.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 3) << text;
    // The bold and italic runs use fonts of their own.
    ASSERT_EQ(
        std::system(("pdffonts " + quoted(k.work("list.pdf")) + " >" + quoted(k.work("fonts.txt")))
                        .c_str()),
        0);
    const std::string fonts = read(k.work("fonts.txt"));
    EXPECT_NE(fonts.find("Bold"), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("Italic"), std::string::npos) << fonts;
}

TEST(KeltoolLng, ShippedMessagesRoundTripThroughEncodeAndDecode)
{
    Keltool tool;
    const std::string source = std::string(KEL_SOURCE_DIR) + "/data/messages.txt";
    ASSERT_EQ(tool.run({"lng", "encode", source, tool.work("KEL.LNG")}).code, 0);
    const ToolRun decoded = tool.run({"lng", "decode", tool.work("KEL.LNG")});
    ASSERT_EQ(decoded.code, 0) << decoded.err;
    const std::string plain = read(source);
    std::string expected;
    for (std::string_view raw : splitLines(plain)) {
        const std::string_view line = trimmed(raw);
        if (!line.empty() && line.front() != '#')
            expected += std::string(line) + "\n";
    }
    EXPECT_EQ(decoded.out, expected);

    // A character that would read back as a blank is refused, by message
    // and column, and nothing is written.
    tool.dir.write("work/bad.txt", "# one message\r\n000 Hello! x\r\n");
    const ToolRun refused = tool.run({"lng", "encode", tool.work("bad.txt"), tool.work("BAD.LNG")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("message 000, column 10"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(tool.work("BAD.LNG")));
}

TEST(KeltoolSettings, TwoProgramsAtOnceKeepTheirOwnWorkingCopiesAndLeaveNone)
{
    // Both run at the same moment on one temporary folder, as a viewer and
    // keltool do; each exports its own report through its own working copy,
    // and neither leaves a file behind in the temporary folder.
    Keltool tool;
    tool.dir.write("work/a.kel", crlf({"[HEADER]", "[DATA]", "{E}{T}report a{T}"}));
    tool.dir.write("work/b.kel", crlf({"[HEADER]", "[DATA]", "{E}{T}report b{T}"}));
    const std::string keltool = quoted(std::string(KEL_BIN_DIR) + "/keltool");
    const std::string command = "cd " + quoted(tool.dir.file("work")) +
                                " && export KEL_HOME=" + quoted(tool.dir.file("program")) +
                                " TEMP=" + quoted(tool.dir.file("tmp")) + " && (" + keltool +
                                " export a.kel a.txt & " + keltool + " export b.kel b.txt & " +
                                keltool + " pages a.kel >/dev/null & wait)";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read(tool.dir.file("work/a.txt")), crlf({";report a;"}));
    EXPECT_EQ(read(tool.dir.file("work/b.txt")), crlf({";report b;"}));
    std::vector<std::string> left;
    for (const auto &e : fs::recursive_directory_iterator(tool.dir.file("tmp"))) {
        if (!e.is_directory())
            left.push_back(e.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{});
}

TEST(KeltoolConvert, FormFeedsBeforeEachPagesFirstLineBreakThePagesAsOtherToolsDo)
{
    if (!haveTool("pdfinfo"))
        GTEST_SKIP() << "poppler's tools are not installed";
    // The common way: a form feed in front of the first line of every page
    // but the first; and the same pages with form feeds on lines of their own.
    std::string joined, alone;
    for (int page = 1; page <= 4; ++page) {
        for (int line = 1; line <= 20; ++line) {
            const std::string text =
                "page " + std::to_string(page) + " line " + std::to_string(line);
            joined += (page > 1 && line == 1 ? "\f" : "") + text + "\n";
            alone += (page > 1 && line == 1 ? "\f\n" : "") + text + "\n";
        }
    }
    Keltool k;
    k.dir.write("work/joined.txt", joined);
    k.dir.write("work/alone.txt", alone);
    auto pages = [&](const std::string &pdf) {
        const std::string out = k.work(pdf + ".info");
        std::system(("pdfinfo " + quoted(k.work(pdf)) + " > " + quoted(out)).c_str());
        const std::string info = read(out);
        const size_t at = info.find("Pages:");
        return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
    };
    for (const char *name : {"joined", "alone"}) {
        const std::string listing = std::string(name) + ".txt";
        ASSERT_EQ(k.run({"pdf", k.work(listing), "-o", k.work(std::string(name) + ".pdf")}).code,
                  0);
        EXPECT_EQ(pages(std::string(name) + ".pdf"), 4) << name;
    }
    // The converted report of form feeds on lines of their own is as before.
    ASSERT_EQ(k.run({"convert", "alone.txt", "alone.kel"}).code, 0);
    const std::string report = read(k.work("alone.kel"));
    EXPECT_EQ(std::count(report.begin(), report.end(), '\f'), 0);
    size_t breaks = 0;
    for (size_t at = 0; (at = report.find("\x01\\NP\x02", at)) != std::string::npos; ++at)
        ++breaks;
    EXPECT_EQ(breaks, 3u);

    const char *texttopdf = "/usr/lib/cups/filter/texttopdf";
    if (fs::exists(texttopdf)) {
        const std::string command = std::string(texttopdf) + " 1 user title 1 '' " +
                                    quoted(k.work("joined.txt")) + " > " +
                                    quoted(k.work("peer.pdf")) + " 2>/dev/null";
        if (std::system(command.c_str()) == 0) {
            EXPECT_EQ(pages("peer.pdf"), 4);
        }
    }
}
