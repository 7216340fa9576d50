// Reading what documents name: only regular files, sizes first, lines in
// blocks.
#include "app/files.h"
#include "app/folders.h"
#include "app/keyvalue.h"
#include "app/text.h"
#include "support/testenv.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kel;
namespace fs = std::filesystem;

TEST(Files, OnlyRegularFilesAreRead)
{
    // A FIFO without a writer blocks an ordinary open for ever; the alarm
    // ends the test program instead of hanging it if that ever comes back.
    alarm(60);
    test::TempDir dir;
    const std::string file = dir.write("file.kel", "abc\r\n");
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(file, dir.file("link"));
    fs::create_symlink("/dev/zero", dir.file("zero-link"));
    fs::create_directory(dir.file("folder"));
    struct Case
    {
        const char *name;
        std::string path;
        const char *bytes; // nullptr: no file
    };
    const Case cases[] = {
        {"regular file", file, "abc\r\n"},
        {"link to a regular file", dir.file("link"), "abc\r\n"},
        {"empty file", dir.write("empty", ""), ""},
        {"missing", dir.file("missing"), nullptr},
        {"folder", dir.file("folder"), nullptr},
        {"FIFO", fifo, nullptr},
        {"endless device", "/dev/zero", nullptr},
        {"link to an endless device", dir.file("zero-link"), nullptr},
        {"empty device", "/dev/null", nullptr},
        {"standard input", "/dev/stdin", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        struct stat st
        {
        };
        // Standard input may be a regular file under a test runner, and then
        // it is read as one.
        if (c.path == "/dev/stdin" && fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode))
            continue;
        EXPECT_EQ(isRegularFile(c.path), c.bytes != nullptr);
        EXPECT_EQ(fileExists(c.path), c.bytes != nullptr);
        std::string bytes = "old";
        EXPECT_EQ(readFile(c.path, bytes), c.bytes != nullptr);
        if (c.bytes) {
            EXPECT_EQ(bytes, c.bytes);
        }
        EXPECT_EQ(countLines(c.path), c.bytes ? static_cast<int64_t>(c.bytes[0] ? 1 : 0) : -1);
        EXPECT_EQ(readKeyValue(c.path, "KEY").has_value(), c.bytes != nullptr);
    }
    alarm(0);
}

TEST(Files, SizeIsLookedAtBeforeReading)
{
    test::TempDir dir;
    // Two gigabytes that cost nothing to make: refused by their size alone.
    const std::string big = dir.writeSparse("big.kel", uint64_t{2} << 30);
    std::string bytes;
    EXPECT_EQ(readRegularFile(big, bytes), ReadOutcome::TooLarge);
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(readFile(big, bytes));

    const std::string small = dir.write("small", "0123456789");
    EXPECT_EQ(readRegularFile(small, bytes, 10), ReadOutcome::Read);
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_EQ(readRegularFile(small, bytes, 9), ReadOutcome::TooLarge);
    EXPECT_EQ(readRegularFile(dir.file("missing"), bytes), ReadOutcome::NotAFile);

    InputFile file(small);
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(file.size(), 10u);
    char three[3];
    ASSERT_TRUE(file.readAt(7, three, 3));
    EXPECT_EQ(std::string(three, 3), "789");
    EXPECT_FALSE(file.readAt(8, three, 3)); // only two bytes are there
}

TEST(Files, LineReaderSplitsAsLineSplitterAcrossBlocks)
{
    test::TempDir dir;
    const std::string texts[] = {
        "",
        "a",
        "a\r\nb\nc\rd\r\n\r\ne",
        "\r\n\r\n",
        "\r\r\n\n",
        "ends with CR\r",
        std::string(1000, 'x') + "\r\n" + std::string(7, 'y') + "\r" + "\n" + "z",
    };
    int n = 0;
    for (const std::string &text : texts) {
        const std::string path = dir.write("t" + std::to_string(++n), text);
        const std::vector<std::string_view> want = splitLines(text);
        // Block sizes that put a CR at the end of a block and an LF at the
        // start of the next, and lines across many blocks.
        for (size_t block : {2u, 3u, 4u, 7u, 4096u}) {
            SCOPED_TRACE("text " + std::to_string(n) + ", block " + std::to_string(block));
            InputFile file(path);
            LineReader reader(file, block);
            std::vector<std::string> got;
            std::string_view line;
            while (reader.next(line))
                got.emplace_back(line);
            EXPECT_FALSE(reader.failed());
            EXPECT_EQ(got, std::vector<std::string>(want.begin(), want.end()));
        }
    }

    // A line longer than the reader may hold ends the reading as failed.
    const std::string path = dir.write("long", "short\n" + std::string(100, 'x') + "\nafter\n");
    InputFile file(path);
    LineReader reader(file, 8, 50);
    std::string_view line;
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line, "short");
    EXPECT_FALSE(reader.next(line));
    EXPECT_TRUE(reader.failed());
}

TEST(Folders, WorkingNamesAreUniquePerProcessAndOpening)
{
    const std::string pid = std::to_string(getpid());
    const std::string a = uniqueWorkingName();
    const std::string b = uniqueWorkingName();
    EXPECT_NE(a, b);
    // Readable: the time of day, the process and the count.
    for (const std::string &name : {a, b}) {
        EXPECT_EQ(field(name, '-', 2), pid) << name;
        EXPECT_FALSE(field(name, '-', 1).empty()) << name;
    }
    EXPECT_EQ(std::stoi(std::string(field(b, '-', 3))),
              std::stoi(std::string(field(a, '-', 3))) + 1);
}
