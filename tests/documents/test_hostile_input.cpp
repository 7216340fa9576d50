// What a print server that takes files from other machines must survive:
// paths that name devices and FIFOs, files of any size, packed reports that
// expand without bound. Each case ends at once with the refusal a missing or
// unacceptable file gets, and leaves nothing behind.
#include "app/shift.h"
#include "documents/includes.h"
#include "documents/opening.h"
#include "documents/packed.h"
#include "documents/templates.h"
#include "documents/textconvert.h"
#include "opensupport.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"
#include "render/recordingsurface.h"
#include "support/testenv.h"
#include "viewer/refusals.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace kel;
using test::crlf;
using test::dataRecords;
using test::open;
using test::read;
namespace fs = std::filesystem;

namespace {

std::string fifo(const test::TempDir &dir, const std::string &name)
{
    const std::string path = dir.file(name);
    if (mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("mkfifo failed");
    return path;
}

void put16(std::string &s, uint32_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string &s, uint32_t v)
{
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

void put64(std::string &s, uint64_t v)
{
    put32(s, static_cast<uint32_t>(v));
    put32(s, static_cast<uint32_t>(v >> 32));
}

// A packed report whose one entry inflates to `mebibytes` MiB of zeros. The
// deflate stream is one MiB of zeros deflated once, flushed so that it ends
// on a byte with the history reset, repeated: a valid stream made in no time
// (zeros deflate about 1000 to 1). Sizes past 4 GiB use the zip64 fields;
// the first local header still says version 2.0, as packed reports do.
std::string zipBomb(uint64_t mebibytes)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string zeros(1 << 20, '\0');
    std::string piece(64 * 1024, '\0');
    z.next_in = reinterpret_cast<Bytef *>(zeros.data());
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef *>(piece.data());
    z.avail_out = static_cast<uInt>(piece.size());
    deflate(&z, Z_FULL_FLUSH);
    piece.resize(piece.size() - z.avail_out);
    std::string tail(16, '\0');
    z.next_out = reinterpret_cast<Bytef *>(tail.data());
    z.avail_out = static_cast<uInt>(tail.size());
    deflate(&z, Z_FINISH);
    tail.resize(tail.size() - z.avail_out);
    deflateEnd(&z);

    const uLong pieceCrc =
        crc32(0, reinterpret_cast<const Bytef *>(zeros.data()), static_cast<uInt>(zeros.size()));
    uLong crc = 0;
    for (uint64_t i = 0; i < mebibytes; ++i)
        crc = crc32_combine(crc, pieceCrc, static_cast<z_off_t>(zeros.size()));
    const uint64_t size = mebibytes << 20;
    const uint64_t compressed = piece.size() * mebibytes + tail.size();
    const std::string name = "bomb.kel";

    std::string zip;
    auto header = [&](bool central) {
        put32(zip, central ? 0x02014b50 : 0x04034b50);
        if (central)
            put16(zip, 45);
        put16(zip, 20); // version needed: 2.0
        put16(zip, 0);
        put16(zip, 8); // deflated
        put16(zip, 0);
        put16(zip, 0x21);
        put32(zip, static_cast<uint32_t>(crc));
        put32(zip, 0xFFFFFFFF); // sizes in the zip64 field
        put32(zip, 0xFFFFFFFF);
        put16(zip, static_cast<uint32_t>(name.size()));
        put16(zip, 20);
        if (central) {
            put16(zip, 0);
            put16(zip, 0);
            put16(zip, 0);
            put32(zip, 0);
            put32(zip, 0); // the local header's offset
        }
        zip += name;
        put16(zip, 1);
        put16(zip, 16);
        put64(zip, size);
        put64(zip, compressed);
    };
    header(false);
    zip.reserve(zip.size() + compressed + 256);
    for (uint64_t i = 0; i < mebibytes; ++i)
        zip += piece;
    zip += tail;
    const size_t central = zip.size();
    header(true);
    const size_t centralSize = zip.size() - central;
    put32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 1);
    put16(zip, 1);
    put32(zip, static_cast<uint32_t>(centralSize));
    put32(zip, static_cast<uint32_t>(central));
    put16(zip, static_cast<uint32_t>(kPackedComment.size()));
    zip += kPackedComment;
    zip.replace(0, 2, "22");
    return zip;
}

} // namespace

TEST(HostileInput, IncludesOfWhatIsNoRegularFileLeaveTheErrorLine)
{
    // A FIFO without a writer would block for ever and /dev/zero never ends:
    // the alarm ends the test program should either come back.
    alarm(60);
    test::TestEnvironment env;
    const std::string pipe = fifo(env.dir, "pipe");
    fs::create_symlink("/dev/zero", env.dir.file("zero.txt"));
    const std::vector<std::string> names = {"/dev/zero", pipe, "/dev/stdin", "/dev/null",
                                            "zero.txt"};
    std::vector<std::string> lines = {"[HEADER]", "[DATA]"};
    for (const std::string &n : names)
        lines.push_back("{COPY=" + n + "}");
    std::string text;
    for (const std::string &l : lines)
        text += l + "\r\n";
    const Opened r = open(env, env.dir.write("r.kel", text));
    ASSERT_TRUE(r.ok()) << r.refusal().detail;
    const std::vector<std::string> records = dataRecords(*r.value());
    ASSERT_EQ(records.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        struct stat st
        {
        };
        if (names[i] == "/dev/stdin" && fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode))
            continue; // a regular file as standard input is read like any file
        EXPECT_EQ(records[i], "{100}message 147{\\n}") << names[i];
    }
    alarm(0);
}

TEST(HostileInput, DocumentsThatAreNoRegularFilesAreRefusedAsMissing)
{
    alarm(60);
    struct Case
    {
        const char *name;
        int message;
    };
    // A FIFO under each name the opening treats differently.
    const Case cases[] = {
        {"r.kel", 41},
        {"l.txt", 135},
        {"d.kez", 134},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::TestEnvironment env;
        EXPECT_EQ(open(env, fifo(env.dir, c.name)).message(), c.message);
    }

    // A template, a conversion table and a container member source named by
    // a document, each a FIFO or a device: the template cannot be read, the
    // table is empty, the member is left out.
    test::TestEnvironment env;
    const std::string pipe = fifo(env.dir, "pipe");
    const std::string data = env.dir.write("d.kez", "TEMPLATE=" + pipe + "\r\n@A=1\r\n");
    EXPECT_EQ(processTemplate(data, env.dir.file("out.kel")).status,
              TemplateStatus::CannotReadTemplate);
    EXPECT_FALSE(fs::exists(env.dir.file("out.kel")));
    fs::create_symlink("/dev/zero", env.folders.inProgram("ZERO.cnv"));
    const Opened converted =
        open(env, env.dir.write("c.kel", crlf({"CONVERSION=zero", "[HEADER]", "[DATA]", "abc"})));
    ASSERT_TRUE(converted.ok());
    EXPECT_EQ(dataRecords(*converted.value()), std::vector<std::string>{"abc"});
    EXPECT_FALSE(appendMember(pipe, env.dir.file("container")));
    EXPECT_FALSE(appendMember("/dev/zero", env.dir.file("container")));
    EXPECT_FALSE(fs::exists(env.dir.file("container")));
    alarm(0);
}

TEST(HostileInput, PicturesThatAreNoRegularFilesAreNotDrawn)
{
    alarm(60);
    test::TestEnvironment env;
    const std::string pipe = fifo(env.dir, "pipe.png");
    const Opened r = open(
        env, env.dir.write("r.kel", crlf({"[HEADER]", "[DATA]", "{PIC=" + pipe + ",0,0,100,100}x",
                                          "{PIC=/dev/zero,0,0,100,100}y"})));
    ASSERT_TRUE(r.ok());
    ExternalCommands commands;
    FindState find;
    SystemClock clock;
    PromptingDiagnostics diagnostics(env.warnings);
    RenderEngine engine(*r.value(), {env.messages, diagnostics, commands, find, clock});
    RecordingSurface surface;
    env.prompter.clear();
    env.prompter.queueAnswer(Answer::No);
    env.prompter.queueAnswer(Answer::No);
    ASSERT_TRUE(engine.drawPage(1, surface));
    // Each failed picture is the markup warning, and nothing is drawn.
    EXPECT_EQ(env.prompter.numbers(), (std::vector<int>{207, 207}));
    for (const std::string &line : surface.lines())
        EXPECT_EQ(line.rfind("picture", 0), std::string::npos) << line;
    alarm(0);
}

TEST(HostileInput, SizeIsCheckedBeforeReading)
{
    test::TestEnvironment env;
    // Two gigabytes of nothing: refused with 141 by the size alone, under
    // each name that reads the file.
    for (const char *name : {"big.kel", "big.txt"}) {
        SCOPED_TRACE(name);
        const std::string big = env.dir.writeSparse(name, uint64_t{2} << 30);
        const Opened r = open(env, big);
        EXPECT_EQ(r.message(), 141);
        EXPECT_TRUE(refusalEndsViewer(r.message()));
        EXPECT_NE(r.refusal().detail.find("bytes"), std::string::npos) << r.refusal().detail;
    }
    // A template larger than a document is refused before it is read.
    const std::string templ = env.dir.writeSparse("big-template.kel", uint64_t{2} << 30);
    const std::string data = env.dir.write("d.kez", "TEMPLATE=" + templ + "\r\n");
    EXPECT_EQ(processTemplate(data, env.dir.file("out.kel")).status, TemplateStatus::TooLarge);
    EXPECT_EQ(open(env, data).message(), 141);
    // Nothing was written into the temporary folder on the way.
    for (const auto &e : fs::directory_iterator(env.folders.temp))
        EXPECT_TRUE(e.is_directory()) << e.path();
}

TEST(HostileInput, GrowthPastTheLimitsIsRefused)
{
    // The limits are a gigabyte; the same rules with small ones.
    auto includeAll = [](const std::string &name, uint64_t room, const IncludePiece &piece) {
        const std::string bytes = name == "big" ? std::string(40, 'b') : "one\r\ntwo\r\n";
        if (bytes.size() > room)
            return IncludeOutcome::TooLarge;
        piece(bytes);
        return IncludeOutcome::Read;
    };
    struct Case
    {
        const char *name;
        std::string report;
        bool fits;
    };
    const Case cases[] = {
        {"includes that fit", "a\r\n{COPY=x}\r\n{COPY=x}\r\n", true},
        {"one include too many", "a\r\n{COPY=x}\r\n{COPY=x}\r\n{COPY=x}\r\n{COPY=x}\r\n", false},
        {"an include larger than the room left", "a\r\n{COPY=big}\r\n", false},
        {"LF ends that grow into CR LF", "ab\nab\nab\nab\nab\nab\nab\nab\nab\nab\n", false},
        {"too many lines", std::string(12, '\n'), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IncludePass pass('{', '}', "error", includeAll, 32, 11);
        pass.feed(c.report);
        EXPECT_EQ(pass.finish(), c.fits);
        EXPECT_EQ(pass.tooLarge(), !c.fits);
    }

    // A listing whose report would grow past the limit leaves the target as
    // it was; so does a template whose filled lines would.
    test::TempDir dir;
    const std::string listing = dir.write("l.txt", std::string(100, '\n'));
    const std::string target = dir.write("out.kel", "before");
    EXPECT_EQ(convertTextToReport(listing, target, {}, 1000), ConvertResult::TooLarge);
    EXPECT_EQ(read(target), "before");
    EXPECT_FALSE(fs::exists(target + "$"));
    EXPECT_EQ(convertTextToReport(listing, target, {}, 10000), ConvertResult::Converted);

    TemplateData data;
    data.variables["@V"] = std::string(100, 'v');
    std::string out;
    EXPECT_EQ(fillTemplate("@V\n@V\n@V\n", data, out, "t", 250).status, TemplateStatus::TooLarge);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(fillTemplate("@V\n@V\n", data, out, "t", 250).ok());
}

TEST(HostileInput, ZipBombIsRefusedAndLeavesNothingBehind)
{
    // 4 GiB of zeros packed into 4 MB: the entry is written until it passes
    // 200 times the packed size, then refused with 289 and deleted.
    test::TestEnvironment env;
    const std::string bomb = env.dir.write("bomb.kel", zipBomb(4096));
    ASSERT_LT(fs::file_size(bomb), uint64_t{5} << 20);
    const Opened r = open(env, bomb);
    EXPECT_EQ(r.message(), 289);
    EXPECT_TRUE(refusalEndsViewer(r.message()));
    EXPECT_NE(r.refusal().detail.find("expands past"), std::string::npos) << r.refusal().detail;
    std::vector<std::string> left;
    for (const auto &e : fs::recursive_directory_iterator(env.folders.temp)) {
        if (!e.is_directory())
            left.push_back(fs::relative(e.path(), env.folders.temp).string());
    }
    // Not even the copy of the packed file that the unpacking reads.
    EXPECT_EQ(left, std::vector<std::string>{});

    // In memory the same rule holds: 64 MiB from 64 KB passes the 16 MiB
    // that any packed report may reach.
    const std::string small = zipBomb(64);
    std::string entry;
    std::string error;
    EXPECT_FALSE(unpackPackedBytes(small, entry, error));
    EXPECT_TRUE(entry.empty());
    EXPECT_NE(error.find("expands past"), std::string::npos) << error;
    const std::string fits = zipBomb(8);
    ASSERT_TRUE(unpackPackedBytes(fits, entry, error)) << error;
    EXPECT_EQ(entry, std::string(8 << 20, '\0'));
}
