// Opening documents in the tests of the documents layer: the loader over a
// test environment, and the parts of its result the tests compare.
#pragma once

#include "app/text.h"
#include "documents/opening.h"
#include "support/testenv.h"

#include <string>
#include <vector>

namespace kel::test {

// openDocument with the environment's folders, messages, settings and
// prompter.
inline Opened open(TestEnvironment &env, const std::string &path, OpenOptions options = {})
{
    return openDocument(path, {env.folders, env.messages, env.settings, env.prompter, env.warnings},
                        options);
}

// The bytes of a file; empty when it cannot be read.
inline std::string read(const std::string &path)
{
    std::string bytes;
    readFile(path, bytes);
    return bytes;
}

// The data records of an open document, the blank and the end record left
// out.
inline std::vector<std::string> dataRecords(const Document &d)
{
    std::vector<std::string> out;
    for (int i = 2; i < d.lines.count(); ++i)
        out.emplace_back(d.lines.record(i));
    return out;
}

} // namespace kel::test
