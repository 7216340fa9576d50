// keltool, the batch command line: one file per command group, each
// registering its commands in a table that main() dispatches on.
//
// Exit codes: 0 done, 1 the document or input was refused (a message of the
// system says why), 2 bad arguments or a file that cannot be read or written.
#pragma once

#include "app/prompter.h"
#include "app/services.h"
#include "app/warnings.h"

#include <memory>
#include <string>
#include <vector>

namespace kel {
struct Document;
}

namespace kel::cli {

using Args = std::vector<std::string>;

struct Command
{
    const char *name;
    const char *usage; // the arguments, as shown by --help
    const char *summary;
    int (*run)(const Args &args); // args after the command name
};

// Adds a command to the table; used through a static CommandRegistration.
void registerCommand(const Command &command);
const std::vector<Command> &commands();

struct CommandRegistration
{
    explicit CommandRegistration(const Command &command) { registerCommand(command); }
};

// What the commands that open documents share: folders, the messages, the
// settings of the program folder, and a prompter that writes to stderr and
// never waits.
struct Environment : Services
{
    StderrPrompter prompter{QStringLiteral("keltool")};
    std::unique_ptr<Warnings> warnings;
    // Files a command made in the temporary folder (working copies, a packed
    // report's pictures): removed when the command ends, however it ends.
    std::vector<std::string> made;
    ~Environment();
};

// Prepares the environment; on failure prints the reason and returns null.
std::unique_ptr<Environment> setUpEnvironment();

// Opens a document as the viewer does, but never deletes it (DELETE_AFTER is
// the viewer's and the console's). A working copy is written only for the
// commands that read one (`workingCopy`). On a refusal says why on stderr,
// sets `exitCode` to 1 and returns null.
std::unique_ptr<Document> openForCommand(const std::string &path, Environment &env, int &exitCode,
                                         bool workingCopy = false);

// "keltool: " + text on stderr.
void fail(const std::string &text);
// A refusal of the system: its message text, the detail (what or where) in
// parentheses when there is one, and the number in brackets.
void failWithMessage(const Messages &messages, int number, const std::string &detail);
void failWith(const Messages &messages, const Refusal &refusal);

// Option parsing helpers: "--name VALUE" pairs and positionals.
struct ParsedArgs
{
    std::vector<std::string> positionals;
    std::vector<std::pair<std::string, std::string>> options; // name without "--"
    std::vector<std::string> flags;                           // options without value

    const std::string *option(const std::string &name) const;
    bool flag(const std::string &name) const;
};
// `valued` lists the options that take a value; "-o" counts as "--o". False
// with a message on stderr for an unknown option or a missing value.
bool parseArgs(const Args &args, const std::vector<std::string> &valued,
               const std::vector<std::string> &boolean, ParsedArgs &out);
// True when exactly `count` positionals were given; else false with
// "usage: keltool " + `usage` on stderr.
bool positionalCount(const ParsedArgs &parsed, size_t count, const char *usage);
// Reads a whole number option; false with a message when it is not one.
bool intOption(const ParsedArgs &args, const std::string &name, int &value);

} // namespace kel::cli
