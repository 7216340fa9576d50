// Malformed input must never crash or hang the loader.
#include "documents/opening.h"
#include "support/testenv.h"

#include <gtest/gtest.h>
#include <random>

using namespace kel;

namespace {

Opened openBytes(test::TestEnvironment &env, std::string_view bytes)
{
    return openDocument(env.dir.write("m.kel", bytes),
                        {env.folders, env.messages, env.settings, env.prompter, env.warnings}, {});
}

} // namespace

TEST(MalformedInput, NeverCrashes)
{
    std::mt19937 rng(42);
    std::string junk(64 * 1024, '\0');
    for (char &c : junk)
        c = static_cast<char>(rng());
    const struct
    {
        const char *name;
        std::string bytes;
        int message;
    } cases[] = {
        {"binary junk", junk, 141},
        {"NUL bytes in data", std::string("[HEADER]\r\n[DATA]\r\na\0b\r\n", 22), 0},
        {"CR-only line ends", "[HEADER]\r[DATA]\rline one\rline two\r", 0},
        {"no line ends at all", std::string(100000, 'x'), 141},
        {"a long line with sections", "[HEADER]\n[DATA]\n" + std::string(5 << 20, 'y'), 145},
        {"markers only", "[HEADER]\n[DATA]", 0},
        {"settings with junk values", "SPACING=\xff\xfe\nMAXY=-\nLM=1e999999\n[HEADER]\n[DATA]\n",
         0},
        {"empty include name", "[HEADER]\n[DATA]\n{COPY=}\n{COPY=\n", 0},
    };
    for (const auto &c : cases) {
        test::TestEnvironment env;
        const Opened r = openBytes(env, c.bytes);
        EXPECT_EQ(r.message(), c.message) << c.name;
    }
}
