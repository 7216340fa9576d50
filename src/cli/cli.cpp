#include "cli/cli.h"

#include "app/text.h"
#include "documents/loading.h"
#include "documents/opening.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace kel::cli {

static std::vector<Command> &table()
{
    static std::vector<Command> t;
    return t;
}

void registerCommand(const Command &command)
{
    table().push_back(command);
}

const std::vector<Command> &commands()
{
    return table();
}

void fail(const std::string &text)
{
    std::fprintf(stderr, "keltool: %s\n", text.c_str());
}

void failWithMessage(const Messages &messages, int number, const std::string &detail)
{
    std::string text = fromCp1252(messages.text(number)).toStdString();
    if (text.empty())
        text = detail;
    else if (!detail.empty())
        text += " (" + detail + ")";
    std::fprintf(stderr, "keltool: %s [%d]\n", text.c_str(), number);
}

void failWith(const Messages &messages, const Refusal &refusal)
{
    if (refusal.message == kNoMessage)
        fail(refusal.detail);
    else
        failWithMessage(messages, refusal.message, refusal.detail);
}

std::unique_ptr<Environment> setUpEnvironment()
{
    auto env = std::make_unique<Environment>();
    if (Status loaded = loadServices(*env); !loaded) {
        fail(loaded.refusal().detail);
        return nullptr;
    }
    env->warnings = std::make_unique<Warnings>(env->prompter, env->messages);
    return env;
}

Environment::~Environment()
{
    for (const std::string &path : made)
        std::remove(path.c_str());
}

std::unique_ptr<Document> openForCommand(const std::string &path, Environment &env, int &exitCode,
                                         bool workingCopy)
{
    LoadPlan plan = LoadPlan::viewer(env.messages);
    plan.keepWorkingCopy = workingCopy;
    OpenOptions options;
    options.obeyDeleteAfter = false;
    options.plan = &plan;
    std::vector<std::string> scratch;
    Opened result =
        openDocument(path, {env.folders, env.messages, env.settings, env.prompter, *env.warnings},
                     options, &scratch);
    env.made.insert(env.made.end(), scratch.begin(), scratch.end());
    if (result.ok()) {
        if (const std::string &working = result.value()->settings.workingPath; !working.empty()) {
            env.made.push_back(working);
            env.made.push_back(working + "$");
        }
        return std::move(result.value());
    }
    failWith(env.messages, result.refusal());
    exitCode = 1;
    return nullptr;
}

const std::string *ParsedArgs::option(const std::string &name) const
{
    const auto it = std::ranges::find(options, name, &std::pair<std::string, std::string>::first);
    return it == options.end() ? nullptr : &it->second;
}

bool ParsedArgs::flag(const std::string &name) const
{
    return std::ranges::find(flags, name) != flags.end();
}

bool parseArgs(const Args &args, const std::vector<std::string> &valued,
               const std::vector<std::string> &boolean, ParsedArgs &out)
{
    auto contains = [](const std::vector<std::string> &v, const std::string &s) {
        return std::ranges::find(v, s) != v.end();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a.size() < 2 || a[0] != '-') {
            out.positionals.push_back(a);
            continue;
        }
        const std::string name = a.rfind("--", 0) == 0 ? a.substr(2) : a.substr(1);
        if (contains(valued, name)) {
            if (i + 1 >= args.size()) {
                fail("option " + a + " needs a value");
                return false;
            }
            out.options.emplace_back(name, args[++i]);
        } else if (contains(boolean, name)) {
            out.flags.push_back(name);
        } else {
            fail("unknown option " + a);
            return false;
        }
    }
    return true;
}

bool positionalCount(const ParsedArgs &parsed, size_t count, const char *usage)
{
    if (parsed.positionals.size() == count)
        return true;
    fail(std::string("usage: keltool ") + usage);
    return false;
}

bool intOption(const ParsedArgs &args, const std::string &name, int &value)
{
    const std::string *text = args.option(name);
    if (!text)
        return true;
    const char *b = text->data();
    const char *e = b + text->size();
    const auto [p, ec] = std::from_chars(b, e, value);
    if (ec != std::errc() || p != e) {
        fail("--" + name + " takes a whole number, not \"" + *text + "\"");
        return false;
    }
    return true;
}

} // namespace kel::cli
