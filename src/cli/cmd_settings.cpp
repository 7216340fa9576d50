// keltool settings: open a document as the viewer does and print its settings.
#include "app/text.h"
#include "cli/cli.h"
#include "documents/opening.h"

#include <cstdio>

namespace kel::cli {
namespace {

void put(const char *name, const std::string &value)
{
    std::printf("%s=%s\n", name, value.c_str());
}

void put(const char *name, double value)
{
    put(name, formatNumber(value));
}

int run(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {}, {}, parsed))
        return 2;
    if (parsed.positionals.size() != 1) {
        fail("usage: keltool settings FILE");
        return 2;
    }
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    int code = 0;
    const auto document = openForCommand(parsed.positionals[0], *env, code);
    if (!document)
        return code;
    const DocumentSettings &s = document->settings;
    put("openDelimiter", std::string(1, s.openDelimiter));
    put("closeDelimiter", std::string(1, s.closeDelimiter));
    put("leftMargin", s.leftMargin);
    put("topMargin", s.topMargin);
    put("title", s.title);
    put("orientation", s.orientation);
    put("saveAllowed", s.saveAllowed);
    put("sendAllowed", s.sendAllowed);
    put("printAllowed", s.printAllowed);
    put("exportAllowed", s.exportAllowed);
    put("common", s.common);
    put("barWidth", s.barWidth);
    put("spacing", s.spacing);
    put("defaultSpacing", s.defaultSpacing);
    put("linkTips", s.linkTips);
    put("pageLength", s.pageLength);
    put("pageWidth", s.pageWidth);
    put("maxY", s.maxY);
    for (size_t i = 0; i < s.namedPositions.size(); ++i) {
        std::printf("namedPositions[%zu]=%s=%s\n", i + 1, s.namedPositions[i].first.c_str(),
                    s.namedPositions[i].second.c_str());
    }
    for (size_t i = 0; i < s.prologueLines.size(); ++i)
        std::printf("prologueLines[%zu]=%s\n", i + 1, s.prologueLines[i].c_str());
    std::printf("records=%d\n", document->lines.count());
    return 0;
}

const CommandRegistration
    reg({"settings", "FILE", "open FILE as the viewer does and print its document settings", &run});

} // namespace
} // namespace kel::cli
