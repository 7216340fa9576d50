// Containers, packed files and packing the open report.
#include "app/shift.h"
#include "documents/opening.h"
#include "documents/packed.h"
#include "opensupport.h"
#include "support/testenv.h"
#include "viewer/refusals.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <zip.h>

using namespace kel;
using test::crlf;
using test::open;
using test::read;
namespace fs = std::filesystem;

namespace {

// Every file below `root`, as paths relative to it.
std::set<std::string> filesUnder(const std::string &root)
{
    std::set<std::string> out;
    for (const auto &e : fs::recursive_directory_iterator(root)) {
        if (!e.is_directory())
            out.insert(fs::relative(e.path(), root).string());
    }
    return out;
}

// A container built by hand: (name as stored, bytes) per member.
std::string container(const std::vector<std::pair<std::string, std::string>> &members)
{
    std::string out;
    for (const auto &[name, bytes] : members) {
        std::string header = "***BOF***" + name;
        header.resize(409, ' ');
        std::string digits = std::to_string(bytes.size());
        header += "***" + std::string(13 - digits.size(), '0') + digits + "***EOL.";
        out += shiftDown(header, scramblingKey()) + "\r\n" + bytes;
    }
    return out;
}

// A zip archive with one entry of the given name, written with libzip.
void writeZip(const std::string &path, const std::string &entry, const std::string &bytes)
{
    int code = 0;
    zip_t *za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(za, nullptr);
    zip_source_t *src = zip_source_buffer(za, bytes.data(), bytes.size(), 0);
    ASSERT_GE(zip_file_add(za, entry.c_str(), src, ZIP_FL_ENC_RAW), 0);
    ASSERT_EQ(zip_close(za), 0);
}

} // namespace

TEST(Container, MembersRoundTrip)
{
    test::TempDir dir;
    const std::string c = dir.file("c");
    const std::string longName(450, 'n');
    const struct
    {
        std::string source;
        std::string name;
        std::string bytes;
        std::string stored;
    } members[] = {
        {"report", "C:\\TEMP\\KELTMP93015", "[HEADER]\r\n[DATA]\r\n", "$C__TEMP_KELTMP93015"},
        {"empty", "", "", "$" + dir.file("empty").substr(1)},
        {"logo", "$already", std::string("\0\r\n\x1a\xff", 5), "$already"},
        {"long", longName, "x", "$" + longName.substr(0, 399)},
        {"pic", "pics/a b.png", "after an empty member", "$pics_a b.png"},
    };
    for (const auto &m : members) {
        dir.write(m.source, m.bytes);
        ASSERT_TRUE(appendMember(dir.file(m.source), c, m.name)) << m.source;
    }
    EXPECT_FALSE(appendMember(dir.file("missing"), c));

    std::string expected;
    for (const auto &m : members) {
        const std::string stored = m.name.empty() ? memberNameFor(dir.file("empty")) : m.stored;
        expected += stored + "|" + std::to_string(m.bytes.size()) + ";";
    }
    EXPECT_EQ(listMembers(c), expected);
    const std::string bytes = read(c);
    EXPECT_TRUE(isContainerStart(splitLines(bytes)[0]));
    size_t total = 0;
    for (const auto &m : members)
        total += 434 + m.bytes.size(); // a header, CR LF and the bytes, nothing else
    EXPECT_EQ(bytes.size(), total);

    const std::string out = dir.path() + "/out";
    fs::create_directory(out);
    std::string error;
    std::vector<std::string> written;
    ASSERT_TRUE(extractMembers(c, out, error, &written)) << error;
    ASSERT_EQ(written.size(), 5u);
    for (size_t i = 0; i < written.size(); ++i)
        EXPECT_EQ(read(out + "/" + written[i]), members[i].bytes) << written[i];
    EXPECT_EQ(written[3], std::string(kMaxFileName, 'n')); // the file system's limit
}

TEST(Container, DamagedContainersWriteNothing)
{
    const std::string good = container({{"$report", "[HEADER]\r\n[DATA]\r\n"}, {"$pic", "PIC"}});
    std::string badLength = container({{"$report", "abc"}});
    badLength.replace(0, 434, memberHeader("$report", 5000) + "\r\n");
    std::string letters = shiftUp(good.substr(0, 432), scramblingKey());
    letters.replace(412, 13, "00000000000x1");
    struct Case
    {
        const char *name;
        std::string bytes;
        bool listed = false; // the names are refused, the structure is sound
    };
    const Case cases[] = {
        {"empty file", ""},
        {"header cut short", good.substr(0, 300)},
        {"data cut short", good.substr(0, good.size() - 1)},
        {"second header cut short", good + good.substr(0, 433)},
        {"length beyond the file", badLength},
        {"length of 13 nines",
         [] {
             std::string s = container({{"$r", "x"}});
             s.replace(0, 432, memberHeader("$r", 9999999999999ull));
             return s;
         }()},
        {"letters in the length", shiftDown(letters, scramblingKey()) + good.substr(432)},
        {"junk after the last member", good + "junk"},
        {"name ..", container({{"$r", "x"}, {"..", "evil"}}), true},
        {"name ending in /..", container({{"$r", "x"}, {"a/..", "evil"}}), true},
        {"hidden name", container({{"$r", "x"}, {"sub\\.profile", "evil"}}), true},
        {"blank name", container({{"$r", "x"}, {"", "evil"}}), true},
        // What the packing side never writes: refused before anything is.
        {"a later member of the same name", container({{"$r", "x"}, {"$p", "1"}, {"$p", "2"}}),
         true},
        {"the same name in another case", container({{"$r", "x"}, {"$P", "1"}, {"$p", "2"}}), true},
        {"a member that would replace the report", container({{"$r", "x"}, {"$r.KEL", "evil"}}),
         true},
        {"a NUL in a name", container({{"$r", "x"}, {std::string("$p.png\0.kel", 11), "1"}}), true},
        {"a control character in a name", container({{"$r", "x"}, {"$p\x1b.png", "1"}}), true},
        {"more members than the packing side writes",
         [] {
             std::vector<std::pair<std::string, std::string>> members = {{"$r", "x"}};
             for (size_t i = 0; i < kMaxMembers; ++i)
                 members.emplace_back("$m" + std::to_string(i), "");
             return container(members);
         }()},
    };
    for (const Case &c : cases) {
        test::TempDir dir;
        const std::string path = dir.write("c", c.bytes);
        fs::create_directory(dir.file("out"));
        std::string error;
        EXPECT_FALSE(extractMembers(path, dir.file("out"), error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
        EXPECT_EQ(filesUnder(dir.path()), std::set<std::string>{"c"}) << c.name;
        EXPECT_EQ(listMembers(path).empty(), !c.listed) << c.name;
        // The same headers read from memory, as fuzzers and tests read them.
        std::vector<ContainerMember> members;
        EXPECT_EQ(readMembersFrom(c.bytes, members, error), c.listed) << c.name;
    }
}

TEST(Container, AsManyMembersAsThePackingSideWritesAreExtracted)
{
    std::vector<std::pair<std::string, std::string>> members = {{"$r", "report"}};
    for (int i = 0; i < kMaxResources; ++i)
        members.emplace_back("$m" + std::to_string(i), std::to_string(i));
    const std::string bytes = container(members);
    std::vector<ContainerMember> read;
    std::string error;
    ASSERT_TRUE(readMembersFrom(bytes, read, error)) << error;
    ASSERT_EQ(read.size(), kMaxMembers);
    EXPECT_EQ(bytes.substr(read[500].offset, read[500].length), "499");

    test::TempDir dir;
    fs::create_directory(dir.file("out"));
    std::vector<std::string> written;
    ASSERT_TRUE(extractMembers(dir.write("c", bytes), dir.file("out"), error, &written)) << error;
    EXPECT_EQ(written.size(), kMaxMembers);
}

TEST(Container, PathsInNamesAreCutToTheirLastPart)
{
    test::TempDir dir;
    const std::string path = dir.write(
        "c",
        container({{"$r", "report"}, {"../../up", "1"}, {"..\\..\\win", "2"}, {"/etc/x", "3"}}));
    fs::create_directory(dir.file("out"));
    std::string error;
    std::vector<std::string> written;
    ASSERT_TRUE(extractMembers(path, dir.file("out"), error, &written)) << error;
    EXPECT_EQ(written, (std::vector<std::string>{"$r", "up", "win", "x"}));
    EXPECT_EQ(filesUnder(dir.path()),
              (std::set<std::string>{"c", "out/$r", "out/up", "out/win", "out/x"}));
}

TEST(PackedFile, MadeAndUnpacked)
{
    test::TestEnvironment env;
    const std::string source = env.dir.write("report.kel", std::string(5000, 'r') + "\r\n");
    const std::string packed = env.dir.file("packed.kel");
    std::string error;
    ASSERT_TRUE(makePackedFile(source, packed, error)) << error;
    const std::string bytes = read(packed);
    EXPECT_TRUE(isPackedReportStart(bytes));
    EXPECT_EQ(bytes.substr(bytes.size() - kPackedComment.size()), kPackedComment);

    std::string path = packed;
    ASSERT_TRUE(unpackPackedFile(path, env.folders, error)) << error;
    EXPECT_EQ(path, env.folders.inTemp("report.kel"));
    EXPECT_EQ(read(path), read(source));
    EXPECT_EQ(read(packed), bytes);                 // the original is only read
    EXPECT_TRUE(fs::is_empty(env.folders.tempSub)); // and its copy removed
}

TEST(PackedFile, EntryNamesStayInTheTemporaryFolder)
{
    struct Case
    {
        const char *entry;
        bool ok;
        const char *written; // relative to the temporary folder
    };
    const Case cases[] = {
        {"../x", true, "x"}, {"a\\..\\..\\y", true, "y"}, {"..", false, ""},
        {"dir/", false, ""}, {".bashrc", false, ""},
    };
    for (const Case &c : cases) {
        test::TestEnvironment env;
        const std::string zip = env.dir.file("p.zip");
        writeZip(zip, c.entry, "payload");
        std::string bytes = read(zip);
        bytes.replace(0, 2, "22");
        std::string path = env.dir.write("p.kel", bytes);
        const std::set<std::string> before = filesUnder(env.dir.path());
        std::string error;
        EXPECT_EQ(unpackPackedFile(path, env.folders, error), c.ok) << c.entry;
        std::set<std::string> added;
        for (const std::string &f : filesUnder(env.dir.path())) {
            if (!before.count(f))
                added.insert(f);
        }
        // The copy the unpacking reads is gone again, success or not.
        std::set<std::string> expected;
        if (c.ok)
            expected.insert(std::string("temp/") + c.written);
        EXPECT_EQ(added, expected) << c.entry;
        EXPECT_EQ(error.empty(), c.ok) << c.entry;
    }
}

TEST(PackedFile, OpeningRefusesWhatCannotBeUnpacked)
{
    test::TestEnvironment env;
    // Looks packed by its first bytes, but is no zip archive.
    const Opened r = open(env, env.dir.write("p.kel", std::string("22\x03\x04\x14junkjunkjunk")));
    EXPECT_EQ(r.message(), 289);
    EXPECT_TRUE(refusalEndsViewer(r.message()));

    const Opened damaged =
        open(env, env.dir.write("c.kel", container({{"$r", "x"}, {"..", "evil"}})));
    EXPECT_EQ(damaged.message(), 289);
}

TEST(ReferenceRewriter, Lines)
{
    struct Case
    {
        const char *name;
        std::string line;
        const char *out; // nullptr when the line is dropped
    };
    const Case cases[] = {
        {"windows path", "{PIC=C:\\pics\\logo.bmp,100,200,500,500}",
         "{PIC=$C__pics_logo.bmp,100,200,500,500}"},
        {"unix path and sound", "{100;pic=/srv/a.png;snd=s.wav}x",
         "{100;PIC=$_srv_a.png;SND=$s.wav}x"},
        {"already a member", "{PIC=$m.png,1}", "{PIC=$m.png,1}"},
        {"outside a group", "PIC=a.png {B=Y}", "PIC=a.png {B=Y}"},
        {"group ended by the reference", "{PIC=b.png}PIC=c.png", "{PIC=$b.png}PIC=c.png"},
        {"reference at the end", "{PIC=d.png", "{PIC=$d.png"},
        {"other commands kept", "{B=Y}text", "{B=Y}text"},
        {"empty line dropped", "", nullptr},
    };
    for (const Case &c : cases) {
        ReferenceRewriter rw('{', '}');
        std::string out;
        const bool kept = rw.rewrite(c.line, out);
        EXPECT_EQ(kept, c.out != nullptr) << c.name;
        EXPECT_EQ(kept ? out : std::string(), c.out ? c.out : "") << c.name;
    }

    ReferenceRewriter rw('<', '>');
    std::string out;
    rw.rewrite("<PIC=Logo.BMP><PIC=logo.bmp;SND=a.wav>", out);
    EXPECT_EQ(out, "<PIC=$Logo.BMP><PIC=$Logo.BMP;SND=$a.wav>");
    // One member name, one resource: separators and colons become "_".
    rw.rewrite("<PIC=p\\x.png><PIC=p/x.png><PIC=p:x.png><PIC=$p_x.png>", out);
    EXPECT_EQ(out, "<PIC=$p_x.png><PIC=$p_x.png><PIC=$p_x.png><PIC=$p_x.png>");
    for (int i = 0; i < 600; ++i)
        rw.rewrite("<PIC=p" + std::to_string(i) + ">", out);
    EXPECT_EQ(rw.resources().size(), static_cast<size_t>(kMaxResources));
    EXPECT_EQ(rw.resources()[0], "Logo.BMP");
    EXPECT_EQ(rw.resources()[1], "a.wav");
    EXPECT_EQ(rw.resources()[2], "p\\x.png");
}

// The rewriter reads groups as the interpreter does: what the interpreter
// draws as text is never rewritten, and nothing it cannot show is packed.
TEST(ReferenceRewriter, RewritesOnlyWhatTheInterpreterReadsAsGroups)
{
    const struct
    {
        const char *name;
        char open;
        char close;
        std::string line;
        std::string out;
        size_t resources;
    } cases[] = {
        {"one byte for both delimiters: every group is empty", '|', '|', "|PIC=a.png|x",
         "|PIC=a.png|x", 0},
        {"a close delimiter inside PIC= ends the group before the name", '{', '=', "{PIC=a.png}",
         "{PIC=a.png}", 0},
        {"a blank close delimiter: the end of the line closes the group", '{', ' ', "{PIC=a.png",
         "{PIC=$a.png", 1},
        {"a reference after the group that ends it", '{', '}', "{B=Y}PIC=b.png{SND=c.wav}",
         "{B=Y}PIC=b.png{SND=$c.wav}", 1},
        {"an open delimiter inside a group keeps it open", '{', '}', "{A{PIC=d.png}",
         "{A{PIC=$d.png}", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ReferenceRewriter rw(c.open, c.close);
        std::string out;
        ASSERT_TRUE(rw.rewrite(c.line, out));
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(rw.resources().size(), c.resources);
    }
}

TEST(PackCurrentReport, PacksAndOpensAgain)
{
    test::TestEnvironment env;
    env.dir.write("pics/rel.png", "relative picture");
    const std::string abs = env.dir.write("abs.png", "absolute picture");
    env.dir.write("temp/$old.wav", "from an unpacked report");
    const std::string report = env.dir.write(
        "r.kel", crlf({"REPORT_TITLE=packed", "", "[HEADER]", "{F=arial}", "[DATA]", "  first  ",
                       "", "{PIC=pics/rel.png,1,1,2,2}", "{PIC=" + abs + ";SND=$old.wav}",
                       "{PIC=missing.png}", "END_OF_FILE", "never"}));
    Opened opened = open(env, report);
    ASSERT_TRUE(opened.ok());

    const PackResult packed =
        packCurrentReport(*opened.value(), env.dir.file("out.txt"), env.dir.path(), env.folders);
    ASSERT_TRUE(packed.ok()) << packed.detail;
    EXPECT_EQ(packed.path, env.dir.file("out.txt.Kel"));
    EXPECT_FALSE(fs::exists(env.dir.file("out.txt")));
    EXPECT_FALSE(fs::exists(env.dir.file("out.txt.zip")));
    EXPECT_TRUE(isPackedReportStart(read(packed.path)));

    // Opened from elsewhere: the report and its resources land in TEMP.
    test::TestEnvironment other;
    fs::copy_file(packed.path, other.dir.file("copy.dat"));
    const Opened r = open(other, other.dir.file("copy.dat"));
    ASSERT_TRUE(r.ok()) << r.message() << r.refusal().detail;
    std::vector<std::string> records;
    for (int i = 2; i < r.value()->lines.count(); ++i)
        records.emplace_back(r.value()->lines.record(i));
    const std::string absMember = memberNameFor(abs);
    EXPECT_EQ(records, (std::vector<std::string>{"first", "{PIC=$pics_rel.png,1,1,2,2}",
                                                 "{PIC=" + absMember + ";SND=$old.wav}",
                                                 "{PIC=$missing.png}"}));
    EXPECT_EQ(r.value()->settings.title, "packed");
    EXPECT_EQ(read(other.folders.inTemp("$pics_rel.png")), "relative picture");
    EXPECT_EQ(read(other.folders.inTemp(absMember)), "absolute picture");
    EXPECT_EQ(read(other.folders.inTemp("$old.wav")), "from an unpacked report");
    EXPECT_FALSE(fs::exists(other.folders.inTemp("$missing.png")));
}

TEST(PackCurrentReport, TargetRules)
{
    test::TestEnvironment env;
    Opened opened = open(env, env.dir.write("r.kel", crlf({"[HEADER]", "[DATA]", "x"})));
    ASSERT_TRUE(opened.ok());
    const PackResult kel =
        packCurrentReport(*opened.value(), env.dir.file("Same.KeL"), {}, env.folders);
    EXPECT_EQ(kel.path, env.dir.file("Same.KeL"));

    const PackResult refused =
        packCurrentReport(*opened.value(), env.dir.file("no/such/dir/x.kel"), {}, env.folders);
    EXPECT_EQ(refused.message, 290);
    EXPECT_FALSE(refused.detail.empty());
}

TEST(OpenDocument, RoutesPackedReportsAndContainersByContent)
{
    test::TestEnvironment env;
    const std::string report = crlf({"REPORT_TITLE=inner", "[HEADER]", "[DATA]", "x"});
    const std::string c = container({{"$report", report}, {"$pic.png", "P"}});

    // A bare container under any name: the report member becomes NAME.KEL.
    const Opened plain = open(env, env.dir.write("c.bin", c));
    ASSERT_TRUE(plain.ok()) << plain.refusal().detail;
    EXPECT_EQ(plain.value()->settings.title, "inner");
    EXPECT_EQ(plain.value()->settings.originalPath, env.folders.inTemp("$report.KEL"));
    EXPECT_EQ(read(env.folders.inTemp("$pic.png")), "P");

    // A packed report is unpacked whatever its name, except that the
    // listing names convert it as text.
    const std::string inner = env.dir.write("inner", c);
    std::string error;
    ASSERT_TRUE(makePackedFile(inner, env.dir.file("p.kel"), error)) << error;
    const std::string packed = read(env.dir.file("p.kel"));
    const Opened unpacked = open(env, env.dir.write("p.anything", packed));
    ASSERT_TRUE(unpacked.ok()) << unpacked.refusal().detail;
    EXPECT_EQ(unpacked.value()->settings.title, "inner");

    const Opened asText = open(env, env.dir.write("p.txt", packed));
    ASSERT_TRUE(asText.ok()) << asText.refusal().detail;
    EXPECT_EQ(asText.value()->settings.title, env.dir.file("p.txt"));
    EXPECT_EQ(asText.value()->lines.record(2).substr(0, 8), std::string("\x01"
                                                                        "50\x02"
                                                                        "22\x03\x04",
                                                                        8));
}
