#include "app/messages.h"
#include "app/shift.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

using namespace kel;

TEST(LanguageFile, EncodeThenLoad)
{
    const std::string source = "# comment\n000 Kel Printing System\n\n141 No sections.\n"
                               "208 Stop showing these warnings?\n320   last   one\n";
    std::string lng;
    std::string error;
    ASSERT_TRUE(encodeLanguageFile(source, lng, error)) << error;
    Messages m;
    ASSERT_TRUE(m.loadFrom(lng));
    EXPECT_EQ(m.text(0), "Kel Printing System");
    EXPECT_EQ(m.text(141), "No sections.");
    EXPECT_EQ(m.text(320), "  last   one");
    EXPECT_EQ(m.text(1), "");
    EXPECT_EQ(m.text(-1), "");
    EXPECT_EQ(m.text(321), "");

    std::string plain;
    ASSERT_TRUE(decodeLanguageFile(lng, plain, error));
    EXPECT_EQ(plain, "000 Kel Printing System\n141 No sections.\n"
                     "208 Stop showing these warnings?\n320   last   one\n");
}

TEST(LanguageFile, KeyRotatesPerLine)
{
    // The same text on two lines scrambles differently.
    std::string lng;
    std::string error;
    ASSERT_TRUE(encodeLanguageFile("001 same\n002 same\n", lng, error));
    const auto lines = splitLines(lng);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].substr(4), lines[1].substr(4));
    EXPECT_EQ(shiftUp(lines[1], rotateKey(scramblingKey())), "002 same");
}

TEST(LanguageFile, Failures)
{
    Messages m;
    test::TempDir dir;
    EXPECT_FALSE(m.load(dir.file("KEL.LNG")));

    // A number above 499 refuses the whole file.
    const std::string bad = shiftDown("999 too far", scramblingKey()) + "\r\n";
    EXPECT_FALSE(m.loadFrom(bad));
    EXPECT_EQ(m.text(0), "");

    // An empty file is valid and leaves every message empty.
    EXPECT_TRUE(m.loadFrom(""));

    std::string out;
    std::string error;
    EXPECT_FALSE(encodeLanguageFile("12 short\n", out, error));
    EXPECT_FALSE(encodeLanguageFile("500 too high\n", out, error));
}

TEST(LanguageFile, EncoderRefusesATextThatWouldLoseItsEnd)
{
    // Find a last character that scrambles to a blank at its position.
    const std::string key = scramblingKey();
    const std::string prefix = "005 ab";
    const char digit = key[prefix.size() % key.size()];
    const std::string text = prefix + static_cast<char>(' ' + (digit - '0'));
    std::string out;
    std::string error;
    if (digit != '0') {
        EXPECT_FALSE(encodeLanguageFile(text + "\n", out, error));
    }
}

TEST(LanguageFile, EncoderRefusesACharacterThatWouldBeReadAsABlank)
{
    // "(" in the middle of "Size (points)" scrambled to a blank and came
    // back as one: "Size  points)".
    const std::string key = scramblingKey();
    const std::string prefix = "061 Size ";
    const char digit = key[prefix.size() % key.size()];
    ASSERT_NE(digit, '0');
    const std::string text = prefix + static_cast<char>(' ' + (digit - '0')) + "points):";
    std::string out;
    std::string error;
    EXPECT_FALSE(encodeLanguageFile(text + "\n", out, error));
    EXPECT_NE(error.find("column 10"), std::string::npos) << error;
}

TEST(LanguageFile, BundledSourceEncodesAndFillsTheUsedMessages)
{
    std::string source;
    ASSERT_TRUE(readFile(std::string(KEL_SOURCE_DIR) + "/data/messages.txt", source));
    std::string lng;
    std::string error;
    ASSERT_TRUE(encodeLanguageFile(source, lng, error)) << error;
    Messages m;
    ASSERT_TRUE(m.loadFrom(lng));
    for (int n : {0, 42, 136, 137, 138, 141, 142, 143, 144, 145, 147, 208, 209, 210})
        EXPECT_FALSE(m.text(n).empty()) << "message " << n;
}

TEST(LanguageFile, EncoderRefusesEveryCharacterThatWouldBeLost)
{
    // "!" at column 10 of the first line meets the key digit 1 and would
    // read back as a blank; code 22 at column 5 meets a 9 and would become
    // a CR, splitting the line. Either is refused with the message number
    // and the column as written in the source.
    struct Case
    {
        const char *name;
        std::string source;
        const char *names; // in the error; nullptr when the source encodes
    };
    const Case cases[] = {
        {"mid-line character onto a blank", "000 Hello! x\n", "message 000, column 10"},
        {"column counts leading blanks", "  000 Hello! x\n", "message 000, column 12"},
        {"on the second line the key has turned", "000 x\n001 Hello! x\n", nullptr},
        {"character onto a line end", std::string("007 \x16x\n"), "message 007, column 5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        std::string error;
        const bool encoded = encodeLanguageFile(c.source, out, error);
        EXPECT_EQ(encoded, c.names == nullptr) << error;
        if (c.names) {
            EXPECT_NE(error.find(c.names), std::string::npos) << error;
        }
    }
}

TEST(LanguageFile, ShippedMessagesRoundTripExactly)
{
    std::string source;
    ASSERT_TRUE(readFile(std::string(KEL_SOURCE_DIR) + "/data/messages.txt", source));
    std::string lng;
    std::string error;
    ASSERT_TRUE(encodeLanguageFile(source, lng, error)) << error;
    std::string plain;
    ASSERT_TRUE(decodeLanguageFile(lng, plain, error)) << error;

    // Every message line comes back exactly, and loads as its own text.
    std::string expected;
    Messages loaded;
    ASSERT_TRUE(loaded.loadFrom(lng));
    for (std::string_view raw : splitLines(source)) {
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#')
            continue;
        expected += std::string(line) + "\n";
        const int number = std::stoi(std::string(line.substr(0, 3)));
        EXPECT_EQ(loaded.text(number), std::string(line.substr(4))) << "message " << number;
    }
    EXPECT_EQ(plain, expected);
}
