#include "documents/conversion.h"
#include "documents/opening.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

using namespace kel;
using test::crlf;

TEST(ConversionTable, EntriesApplyInOrder)
{
    struct Case
    {
        const char *name;
        const char *table;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"one entry", "130=233\n", "a\x82z", "a\xe9z"},
        {"chained entries", "65=66\n66=67\n", "AB", "CC"},
        {"reverse order does not chain", "66=67\n65=66\n", "AB", "BC"},
        {"comments and source 0 skipped", "# 65=66\n0=65\n", "A", "A"},
        {"empty target gives code 0", "65=\n", "xAx", std::string("x\0x", 3)},
        {"line without = gives code 0", "66\n", "B", std::string(1, '\0')},
        {"out of range skipped", "65=300\n300=65\n", "A", "A"},
        {"blank lines are entries that do nothing", "\n\n65=97\n", "A", "a"},
    };
    for (const Case &c : cases) {
        ConversionTable t;
        t.parse(c.table);
        std::string line = c.in;
        t.apply(line);
        EXPECT_EQ(line, c.out) << c.name;
    }
}

TEST(ConversionTable, AtMost255Entries)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += i == 260 ? "65=66\n" : "#\n1=1\n";
    ConversionTable t;
    t.parse(text);
    EXPECT_EQ(t.entries().size(), 255u);
    EXPECT_EQ(t.map('A'), 'A');
}

TEST(ConversionTable, ConversionLinesAreDropped)
{
    ConversionTable t;
    t.parse("65=66\n");
    EXPECT_EQ(
        applyConversion(crlf({"CONVERSION=X", "A", "conversion of A", "# A", "xConversion"}), t),
        crlf({"B", "# B", "xConversion"}));

    // In place, as the loader converts its one copy of the document; a
    // document with other line ends than CR LF comes out the same way.
    const std::string inputs[] = {
        crlf({"CONVERSION=X", "A", "conversion of A", "# A", "xConversion", ""}),
        "A\r\nconversion\r\nA\nAA\rCONVERSION\nA",
        "",
    };
    for (const std::string &input : inputs) {
        std::string converted = input;
        applyConversionInPlace(converted, t);
        EXPECT_EQ(converted, applyConversion(input, t)) << input;
    }
}

TEST(ConversionTable, ReportIsConvertedWhenOpened)
{
    test::TestEnvironment env;
    env.dir.write("program/DOS.cnv", "# test table\r\n130=233\r\n120=121\r\n");
    const std::string text =
        crlf({"Conversion=dos", "TITLE=x\x82", "[HEADER]", "[DATA]", "x\x82", "conversion line"});
    const Opened r =
        openDocument(env.dir.write("r.kel", text),
                     {env.folders, env.messages, env.settings, env.prompter, env.warnings}, {});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()->lines.record(2), "y\xe9");
    EXPECT_EQ(r.value()->lines.count(), 3);
    std::string working;
    ASSERT_TRUE(readFile(r.value()->settings.workingPath, working));
    EXPECT_EQ(working, crlf({"TITLE=y\xe9", "[HEADER]", "[DATA]", "y\xe9"}));
}

TEST(ConversionTable, MissingTableOnlyDropsTheDirective)
{
    test::TestEnvironment env;
    const std::string text = crlf({"CONVERSION=nothere", "[HEADER]", "[DATA]", "A\x82"});
    const Opened r =
        openDocument(env.dir.write("r.kel", text),
                     {env.folders, env.messages, env.settings, env.prompter, env.warnings}, {});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()->lines.record(2), "A\x82");
    EXPECT_EQ(findConversionTable(env.folders.program, "../etc/passwd"), "");
}
