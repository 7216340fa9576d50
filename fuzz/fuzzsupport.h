// What every fuzz target shares: an environment without windows or files,
// and the loader's pure steps over bytes.
//
// Prompts are answered at once with their default and kept nowhere, so a
// target runs millions of inputs in constant memory. Messages read
// "message N", as in the tests. Nothing here reads or writes a file: an
// include reads from a small table in memory and a conversion table is
// given as text.
#pragma once

#include "app/messages.h"
#include "app/prompter.h"
#include "app/warnings.h"
#include "documents/includes.h"
#include "documents/opening.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace kel::fuzz {

class QuietPrompter : public Prompter
{
public:
    Answer show(const Prompt &prompt) override { return prompt.defaultAnswer; }
};

struct Environment
{
    Environment()
    {
        for (int n = 0; n < Messages::kCount; ++n)
            messages.set(n, "message " + std::to_string(n));
    }
    Messages messages;
    QuietPrompter prompter;
    Warnings warnings{prompter, messages};
};

// One environment for the whole run of a target.
inline Environment &environment()
{
    static Environment env;
    return env;
}

// Includes from memory: "part" is two lines, "empty" is empty, anything
// else cannot be read.
inline IncludeOutcome readInclude(const std::string &name, uint64_t room, const IncludePiece &piece)
{
    if (name == "empty")
        return IncludeOutcome::Read;
    if (name != "part")
        return IncludeOutcome::Unreadable;
    const std::string_view bytes = "included one\r\n{B=Y}included two";
    if (bytes.size() > room)
        return IncludeOutcome::TooLarge;
    piece(bytes);
    return IncludeOutcome::Read;
}

// Opens report bytes as openDocument does once they are in memory: the
// include pass, fed in pieces of `piece` bytes (the loader reads in
// blocks), then the loader's pure steps. A CONVERSION setting gets
// `table` whatever its name.
inline Opened openReportBytes(std::string_view bytes, size_t piece = 0,
                              std::string_view table = "65=66\n66=67\n10=13")
{
    Environment &env = environment();
    env.warnings.reset();
    IncludePass pass('{', '}', env.messages.text(147), readInclude);
    if (piece == 0)
        piece = bytes.size() + 1;
    for (size_t i = 0; i < bytes.size(); i += piece)
        pass.feed(bytes.substr(i, piece));
    if (!pass.finish())
        return Refusal{141, "too large"};
    DocumentSettings paths;
    paths.givenPath = paths.originalPath = "fuzz.kel";
    paths.workingPath = "fuzz.$$1";
    ReportSteps steps{env.warnings, nullptr, nullptr, nullptr};
    steps.conversionTable = [table](const std::string &) {
        ConversionTable t;
        t.parse(table);
        return t;
    };
    return readReport(pass.take(), paths, steps);
}

// Stops the run with a finding when a property that must hold does not.
inline void require(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace kel::fuzz
