// keltool lng: write the scrambled language file from its plain source, and
// print one back.
#include "app/messages.h"
#include "app/text.h"
#include "cli/cli.h"

#include <cstdio>

namespace kel::cli {
namespace {

int run(const Args &args)
{
    const bool encode = args.size() == 3 && args[0] == "encode";
    const bool decode = args.size() == 2 && args[0] == "decode";
    if (!encode && !decode) {
        fail("usage: keltool lng encode SOURCE KEL.LNG | keltool lng decode KEL.LNG");
        return 2;
    }
    std::string input;
    if (!readFile(args[1], input)) {
        fail("cannot read " + args[1]);
        return 2;
    }
    std::string output;
    std::string error;
    if (encode) {
        if (!encodeLanguageFile(input, output, error)) {
            fail(args[1] + ": " + error);
            return 1;
        }
        if (!writeFile(args[2], output)) {
            fail("cannot write " + args[2]);
            return 2;
        }
        return 0;
    }
    if (!decodeLanguageFile(input, output, error)) {
        fail(args[1] + ": " + error);
        return 1;
    }
    std::fwrite(output.data(), 1, output.size(), stdout);
    return 0;
}

const CommandRegistration reg({"lng", "encode SOURCE KEL.LNG | decode KEL.LNG",
                               "write the scrambled language file from its source, or print it",
                               &run});

} // namespace
} // namespace kel::cli
