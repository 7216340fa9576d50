// keltool convert, merge, pack and unpack: the document types that are turned
// into reports, and packed reports made and taken apart.
#include "app/atomicfile.h"
#include "app/files.h"
#include "app/text.h"
#include "cli/cli.h"
#include "documents/opening.h"
#include "documents/packed.h"
#include "documents/templates.h"
#include "documents/textconvert.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace kel::cli {
namespace {

bool listingTypeOf(const std::string &path, const std::string *option, DocType &type)
{
    const std::string name = option ? "." + *option : path;
    if (endsWithNoCase(name, ".TXT") || endsWithNoCase(name, ".TX"))
        type = DocType::Txt;
    else if (endsWithNoCase(name, ".LST") || endsWithNoCase(name, ".LS"))
        type = DocType::Lst;
    else if (endsWithNoCase(name, ".PRN") || endsWithNoCase(name, ".PR"))
        type = DocType::Prn;
    else
        return false;
    return !option || name.size() == 4;
}

int runConvert(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {"type"}, {}, parsed))
        return 2;
    if (!positionalCount(parsed, 2, "convert LISTING OUT.kel [--type txt|lst|prn]"))
        return 2;
    const std::string &listing = parsed.positionals[0];
    const std::string &out = parsed.positionals[1];
    DocType type = DocType::Txt;
    if (!listingTypeOf(listing, parsed.option("type"), type)) {
        fail(parsed.option("type")
                 ? "--type takes txt, lst or prn"
                 : "cannot tell the listing type of " + listing + "; give --type txt|lst|prn");
        return 2;
    }
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    if (!fileExists(listing)) {
        failWithMessage(env->messages, 135, listing);
        return 1;
    }
    switch (convertTextToReport(listing, out, listingSettings(env->settings, type))) {
    case ConvertResult::Converted:
        return 0;
    case ConvertResult::EmptyListing:
        // The report is written all the same, with no data lines.
        failWithMessage(env->messages, 210, listing);
        return 1;
    case ConvertResult::CannotRead:
        fail("cannot read " + listing);
        return 2;
    case ConvertResult::CannotWrite:
        fail("cannot write " + out);
        return 2;
    case ConvertResult::TooLarge:
        failWithMessage(env->messages, 141,
                        listing + ": the converted listing would grow past " +
                            std::to_string(kMaxDocumentBytes) + " bytes");
        return 1;
    }
    return 2;
}

int runMerge(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {}, {}, parsed))
        return 2;
    if (!positionalCount(parsed, 2, "merge DATA.kez OUT.kel"))
        return 2;
    const std::string &data = parsed.positionals[0];
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    if (!fileExists(data)) {
        failWithMessage(env->messages, 134, data);
        return 1;
    }
    const TemplateResult result = processTemplate(data, parsed.positionals[1]);
    if (result.ok())
        return 0;
    fail(result.detail);
    const bool io = result.status == TemplateStatus::CannotReadData ||
                    result.status == TemplateStatus::CannotWrite;
    return io ? 2 : 1;
}

int runPack(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {}, {}, parsed))
        return 2;
    if (!positionalCount(parsed, 2, "pack REPORT OUT"))
        return 2;
    const std::string &report = parsed.positionals[0];
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    int code = 0;
    const auto document = openForCommand(report, *env, code, true);
    if (!document)
        return code;
    // Relative picture and sound names are read from the report's folder, as
    // the viewer reads them from the folder its Open dialog last used.
    std::error_code ec;
    const std::string folder = fs::absolute(report, ec).parent_path().string();
    const PackResult packed =
        packCurrentReport(*document, parsed.positionals[1], folder, env->folders);
    if (!packed.ok()) {
        failWithMessage(env->messages, packed.message, packed.detail);
        std::fprintf(stderr, "keltool: %s\n", packed.detail.c_str());
        return 2;
    }
    std::printf("%s\n", packed.path.c_str());
    return 0;
}

int runUnpack(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {}, {}, parsed))
        return 2;
    if (!positionalCount(parsed, 2, "unpack PACKED DIR"))
        return 2;
    std::string path = parsed.positionals[0];
    const std::string &dir = parsed.positionals[1];
    // The first bytes decide what the file is; only a packed plain report is
    // copied whole, and a member is never held in memory.
    auto head = [](const std::string &file, std::string &bytes) {
        InputFile in(file);
        bytes.resize(static_cast<size_t>(std::min<uint64_t>(in.size(), 4096)));
        return in.isOpen() && in.readAt(0, bytes.data(), bytes.size());
    };
    std::string bytes;
    if (!head(path, bytes)) {
        fail("cannot read " + path);
        return 2;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        fail(dir + " is not a folder");
        return 2;
    }
    auto env = setUpEnvironment();
    if (!env)
        return 2;

    const bool packed = isPackedReportStart(std::string_view(bytes).substr(0, 5));
    if (packed) {
        std::string error;
        if (!unpackPackedFile(path, env->folders, error) || !head(path, bytes)) {
            failWithMessage(env->messages, 289, error);
            std::fprintf(stderr, "keltool: %s\n", error.c_str());
            return 1;
        }
    }
    if (!startsAsContainer(bytes)) {
        if (!packed) {
            fail(path + " is neither a packed report nor a container");
            return 1;
        }
        // A packed plain report: the report is the only member.
        const std::string name = fs::path(path).filename().string();
        fs::remove(dir + "/" + name, ec);
        if (!fs::copy_file(path, dir + "/" + name, ec)) {
            fail("cannot write " + dir + "/" + name);
            return 2;
        }
        std::printf("%s\n", name.c_str());
        return 0;
    }
    std::string error;
    std::vector<std::string> written;
    if (!extractMembers(path, dir, error, &written)) {
        failWithMessage(env->messages, 289, error);
        std::fprintf(stderr, "keltool: %s\n", error.c_str());
        return 1;
    }
    // The report takes the name a viewer gives it, NAME.KEL.
    const std::string stored = written.front();
    written.front() = stored + ".KEL";
    if (!renameDurably(dir + "/" + stored, dir + "/" + written.front())) {
        fail("cannot write " + dir + "/" + written.front());
        return 2;
    }
    for (const std::string &name : written)
        std::printf("%s\n", name.c_str());
    return 0;
}

const CommandRegistration convertReg({"convert", "LISTING OUT.kel [--type txt|lst|prn]",
                                      "convert a text listing into a report with the per-type "
                                      "settings of KEL.INI (type from the extension)",
                                      &runConvert});
const CommandRegistration mergeReg({"merge", "DATA.kez OUT.kel",
                                    "fill the template named by a template data file", &runMerge});
const CommandRegistration packReg({"pack", "REPORT OUT",
                                   "open REPORT as the viewer does and pack it with its pictures "
                                   "and sounds; prints the path written",
                                   &runPack});
const CommandRegistration unpackReg({"unpack", "PACKED DIR",
                                     "write the report and the members of a packed report or "
                                     "container into DIR; prints their names",
                                     &runUnpack});

} // namespace
} // namespace kel::cli
