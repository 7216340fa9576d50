// keltool print and export: the viewer's print job and export on the
// command line.
#include "app/text.h"
#include "cli/cli.h"
#include "documents/export.h"
#include "documents/opening.h"
#include "printing/printers.h"
#include "printing/printjob.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"

#include <cstdio>

namespace kel::cli {
namespace {

int runExport(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {}, {}, parsed))
        return 2;
    if (!positionalCount(parsed, 2, "export REPORT OUT.txt"))
        return 2;
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    int code = 0;
    auto document = openForCommand(parsed.positionals[0], *env, code, true);
    if (!document)
        return code;
    const DocumentSettings &s = document->settings;
    if (s.exportAllowed != "Y") {
        failWithMessage(env->messages, 155, {});
        return 1;
    }
    const std::string &out = parsed.positionals[1];
    if (isFileUnwritable(out)) {
        failWithMessage(env->messages, 158, out);
        return 2;
    }
    std::string error;
    if (!exportReport(s.workingPath, out, s.openDelimiter, s.closeDelimiter, env->folders.temp, {},
                      error)) {
        fail(error);
        return 2;
    }
    return 0;
}

int runPrint(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {"printer", "from", "to", "copies"}, {"exec"}, parsed))
        return 2;
    if (!positionalCount(parsed, 1, "print REPORT [--printer NAME] [--from N --to M] [--copies K]"))
        return 2;
    int from = 1;
    int to = 0;
    int copies = 1;
    if (!intOption(parsed, "from", from) || !intOption(parsed, "to", to) ||
        !intOption(parsed, "copies", copies))
        return 2;
    const bool range = parsed.option("from") || parsed.option("to");
    if (range && !parsed.option("to"))
        to = from;
    if (range && !parsed.option("from"))
        from = 1;
    if (copies < 1 || (range && (from < 1 || to < from))) {
        fail("--from, --to and --copies take whole numbers from 1, --to not below --from");
        return 2;
    }
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    const Printers printers;
    std::string printer = parsed.option("printer") ? *parsed.option("printer") : "";
    if (printer.empty())
        printer = printers.defaultPrinter();
    if (printer.empty()) {
        fail("no printer given and the system has no default printer; use --printer NAME");
        return 2;
    }
    int code = 0;
    auto document = openForCommand(parsed.positionals[0], *env, code);
    if (!document)
        return code;
    if (document->settings.printAllowed != "Y") {
        failWithMessage(env->messages, 150, {});
        return 1;
    }
    ShellTargetOpener opener;
    ExternalCommands commands(parsed.flag("exec") ? &opener : nullptr);
    commands.setStartedByCommand(parsed.flag("exec"));
    FindState find;
    SystemClock clock;
    PromptingDiagnostics diagnostics(*env->warnings);
    RenderEngine engine(*document,
                        RenderServices{env->messages, diagnostics, commands, find, clock});
    const PrintRequest request{printer, !range, from, to, copies};
    const Result<PrintReport> printed = printDocument(engine, request, printers);
    if (!printed) {
        failWith(env->messages, printed.refusal());
        return 1;
    }
    std::printf("printed=%d\n", printed->pagesPrinted);
    if (!printed->file.empty())
        std::printf("file=%s\n", printed->file.c_str());
    return 0;
}

const CommandRegistration exportCommand({"export", "REPORT OUT.txt",
                                         "write the lines marked for export as fields",
                                         &runExport});
const CommandRegistration printCommand(
    {"print", "REPORT [--printer NAME] [--from N --to M] [--copies K] [--exec]",
     "print through CUPS (or a pdf:FOLDER printer) as the viewer's print job does", &runPrint});

} // namespace
} // namespace kel::cli
