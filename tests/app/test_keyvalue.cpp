#include "app/keyvalue.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

using namespace kel;

namespace {

struct KeyCase
{
    const char *name;
    std::string text;
    const char *key;
    const char *value;
};

std::string hundredFillers()
{
    std::string s;
    for (int i = 0; i < 100; ++i)
        s += "FILLER" + std::to_string(i) + "=x\r\n";
    return s;
}

} // namespace

TEST(ReadKeyValue, Table)
{
    const KeyCase cases[] = {
        {"plain", "TITLE=Sales\r\n", "TITLE", "Sales"},
        {"mixed-case key in file", "Report_Title=Sales\r\n", "REPORT_TITLE", "Sales"},
        {"mixed-case key asked", "REPORT_TITLE=Sales\r\n", "report_title", "Sales"},
        {"value keeps its case", "K=MiXeD\r\n", "K", "MiXeD"},
        {"blank before = does not match", "KEY =v\r\n", "KEY", ""},
        {"blanks around value trimmed", "KEY=  v w  \r\n", "KEY", "v w"},
        {"leading blanks of the line trimmed", "   KEY=v\r\n", "KEY", "v"},
        {"extra = after key skipped, later = kept", "KEY===a=b\r\n", "KEY", "a=b"},
        {"empty value stops the scan", "KEY=\r\nKEY=later\r\n", "KEY", ""},
        {"first match wins", "KEY=1\r\nKEY=2\r\n", "KEY", "1"},
        {"comment never matches", "#KEY=1\r\n  #KEY=2\r\n", "KEY", ""},
        {"absent key", "OTHER=1\r\n", "KEY", ""},
        {"line 100 is read",
         hundredFillers().substr(0, hundredFillers().rfind("FILLER99")) + "KEY=hit\r\n", "KEY",
         "hit"},
        {"line 101 is not", hundredFillers() + "KEY=late\r\n", "KEY", ""},
        {"LF line ends", "A=1\nKEY=v\n", "KEY", "v"},
        {"no line end at all", "KEY=v", "KEY", "v"},
        {"prefix of a longer key", "KEYS=v\r\n", "KEY", ""},
    };
    for (const KeyCase &c : cases)
        EXPECT_EQ(readKeyValueIn(c.text, c.key), c.value) << c.name;
}

TEST(ReadKeyValue, FileFailureIsNotAnEmptyValue)
{
    test::TempDir dir;
    EXPECT_FALSE(readKeyValue(dir.file("missing.ini"), "KEY").has_value());
    EXPECT_FALSE(readKeyValue(dir.path(), "KEY").has_value());
    const std::string path = dir.write("a.ini", "KEY=value\r\n");
    EXPECT_EQ(readKeyValue(path, "key").value_or("?"), "value");
}

TEST(ReadKeyValue, FileReadsOnlyTheHeadOfAHugeFile)
{
    test::TempDir dir;
    std::string big = hundredFillers();
    big += std::string(8 * 1024 * 1024, 'x');
    big += "\r\nKEY=late\r\n";
    const std::string path = dir.write("big.ini", big);
    EXPECT_EQ(readKeyValue(path, "FILLER42").value_or("?"), "x");
    EXPECT_EQ(readKeyValue(path, "KEY").value_or("?"), "");
}
