#include "app/shift.h"
#include "app/text.h"
#include "support/testenv.h"

#include <QStringDecoder>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;

TEST(Text, LeadingNumber)
{
    const std::pair<const char *, double> cases[] = {
        {"", 0},      {"abc", 0},   {"12", 12},    {"  12abc", 12}, {"-3", -3},
        {"2.5", 2.5}, {".5", 0.5},  {"1e3", 1000}, {"1e", 1},       {"+7", 7},
        {"1,5", 1},   {"0012", 12}, {"- 3", 0},    {"3 4", 3},
    };
    for (const auto &[text, value] : cases)
        EXPECT_DOUBLE_EQ(leadingNumber(text), value) << '"' << text << '"';
    EXPECT_GT(leadingNumber(std::string(5000, '9')), 1e299);
    EXPECT_EQ(leadingInt(std::string(5000, '9')), INT_MAX);
}

TEST(Text, LinesEndInCrLfLfOrCr)
{
    const auto lines = splitLines("a\r\nb\nc\rd\r\n\r\ne");
    const std::vector<std::string_view> want = {"a", "b", "c", "d", "", "e"};
    EXPECT_EQ(lines, want);
    EXPECT_TRUE(splitLines("").empty());
    EXPECT_EQ(splitLines("x\r\n").size(), 1u);
    EXPECT_EQ(splitLines("\n\n").size(), 2u);
}

TEST(Text, UpperCaseKnowsWindows1252Letters)
{
    EXPECT_EQ(upper("abc\xe9\xfc\x9a\xff\xf7"), "ABC\xc9\xdc\x8a\x9f\xf7");
    EXPECT_EQ(fromCp1252("\x80\xe9"), QString::fromUtf8("\u20ac\u00e9"));
    EXPECT_EQ(toCp1252(QString::fromUtf8("\u20ac\u00e9\u4e00")), "\x80\xe9?");
}

// The table the decoder is built from gives, for every byte and for a text
// of all of them, what the platform's own decoder gives.
TEST(Text, Windows1252TableDecodesAsThePlatform)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    QStringDecoder decoder("windows-1252");
    ASSERT_TRUE(decoder.isValid());
    const QString expected = decoder(QByteArrayView(all.data(), qsizetype(all.size())));
    EXPECT_EQ(fromCp1252(all), expected);
    EXPECT_EQ(toCp1252(fromCp1252(all)).size(), all.size());
    EXPECT_EQ(fromCp1252(""), QString());
}

TEST(Text, Fields)
{
    EXPECT_EQ(field("a,b,,d", ',', 2), "b");
    EXPECT_EQ(field("a,b,,d", ',', 3), "");
    EXPECT_EQ(field("a,b,,d", ',', 5), "");
    EXPECT_EQ(fieldCount("a,b,,d", ','), 4);
    EXPECT_EQ(fieldCount(std::string(500, ','), ','), 200);
    EXPECT_EQ(lastField("C:\\x\\y.bmp", '\\'), "y.bmp");
}

TEST(Text, FolderIsNotAFile)
{
    // A folder opens for reading on Linux; read as a file it once asked for
    // an impossible buffer and ended the program.
    test::TempDir dir;
    const std::string folder = dir.file("folder.kel");
    std::filesystem::create_directory(folder);
    const std::string file = dir.write("file.kel", "abc\r\n");
    struct Case
    {
        const char *name;
        std::string path;
        bool exists;
        const char *bytes;
    };
    const Case cases[] = {
        {"file", file, true, "abc\r\n"},
        {"empty file", dir.write("empty", ""), true, ""},
        {"folder", folder, false, nullptr},
        {"missing", dir.file("missing"), false, nullptr},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(fileExists(c.path), c.exists) << c.name;
        std::string bytes = "old";
        EXPECT_EQ(readFile(c.path, bytes), c.bytes != nullptr) << c.name;
        if (c.bytes) {
            EXPECT_EQ(bytes, c.bytes) << c.name;
        }
    }
}

TEST(Shift, RoundTripsAndKeepsBlanks)
{
    // Codes wrap within 0..255, so every text that does not shift onto a
    // blank comes back, also when it is longer than the key.
    const std::string key = "9081726354";
    std::string all;
    for (int c = 0; c < 256; ++c) {
        if (c < 32 || c > 41)
            all += static_cast<char>(c);
    }
    EXPECT_EQ(shiftUp(shiftDown(all, key), key), all);
    EXPECT_EQ(shiftUp(shiftDown(all, ""), ""), all);
    // Blanks stay blanks and still advance the key.
    EXPECT_EQ(shiftDown("a a", "123"), "` ^");
    EXPECT_EQ(shiftDown("hello world", "0000"), "hello world");
    // A non-blank may land on a blank; shifting back restores it.
    EXPECT_EQ(shiftDown("!", "1"), " ");
    EXPECT_EQ(shiftUp(" ", "1"), " ");
    // A non-digit key character counts as 0.
    EXPECT_EQ(shiftDown("bb", "x1"), "ba");
}

TEST(Shift, KeyRotation)
{
    EXPECT_EQ(rotateKey("12345"), "23451");
    EXPECT_EQ(scramblingKey().size(), 20u);
}
