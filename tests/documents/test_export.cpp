#include "documents/export.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

using namespace kel;
using test::crlf;

TEST(Export, FieldsOfMarkedLines)
{
    const struct
    {
        const char *line;
        std::optional<std::string> first;
        const char *exported;
    } cases[] = {
        {"{E}{T}Smith{T} 1250.00 {T}", ";Smith; 1250.00 ;", ";Smith;1250.00;"},
        {"{E}Total{TAB=3000}99", "Total;99", "Total;"},
        {"  {e}{t}   {t}x", ";   ;x", ";;"},
        {"{E}no separators", "no separators", ""},
        {"{T}Smith{T}", std::nullopt, ""},
        {"Smith {E}", std::nullopt, ""},
        {"{E;TOP}a{B=Y;T}b;c{T}", ";a;b;c;", ";a;b;c;"},
        {"{EXTRA}x{ T}y{T}", "xy;", "xy;"},
    };
    for (const auto &c : cases) {
        const auto first = exportFields(c.line, '{', '}');
        EXPECT_EQ(first, c.first) << c.line;
        if (first) {
            EXPECT_EQ(trimFields(*first), c.exported) << c.line;
        }
    }
}

TEST(Export, WritesOnlyMarkedLinesThroughTheTemporaryFolder)
{
    test::TestEnvironment env;
    const std::string working =
        env.dir.write("w.$$1", crlf({"TITLE=x", "[HEADER]", "[DATA]", "{E}{T}Smith{T} 1250.00 {T}",
                                     "{T}not marked{T}", "{E}Total{TAB=3000}99"}));
    const std::string out = env.dir.file("out.txt");
    std::string error;
    int64_t lines = 0;
    ASSERT_TRUE(exportReport(
        working, out, '{', '}', env.folders.temp, [&](int64_t n) { lines = n; }, error))
        << error;
    std::string text;
    ASSERT_TRUE(readFile(out, text));
    EXPECT_EQ(text, crlf({";Smith;1250.00;", "Total;"}));
    EXPECT_EQ(lines, 6);
    EXPECT_FALSE(std::filesystem::exists(env.folders.inTemp("EXP.$$$")));

    EXPECT_TRUE(isFileUnwritable(env.dir.file("no/such/folder/out.txt")));
    EXPECT_FALSE(exportReport(env.dir.file("missing"), out, '{', '}', env.folders.temp, {}, error));
}
