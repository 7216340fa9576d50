// keltool: the batch command line of the Kel Printing System.
#include "cli/cli.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstring>

using namespace kel::cli;

// Qt's offscreen platform complains once per run when the session has no
// runtime folder; keltool never needs one, so that line is not shown.
static QtMessageHandler defaultHandler = nullptr;
static void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    defaultHandler(type, context, text);
}

static void printHelp()
{
    std::printf("usage: keltool COMMAND [ARGUMENTS]\n"
                "       keltool --help | --version\n\ncommands:\n");
    for (const Command &c : commands())
        std::printf("  %s %s\n      %s\n", c.name, c.usage, c.summary);
}

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("keltool (Kel Printing System) %s\n", KEL_VERSION);
        return 0;
    }
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        printHelp();
        return argc < 2 ? 2 : 0;
    }
    // Fonts and images need an application object; keltool never opens a
    // window, so the offscreen platform serves where there is no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(filterMessages);
    QGuiApplication app(argc, argv);
    for (const Command &c : commands()) {
        if (std::strcmp(argv[1], c.name) == 0)
            return c.run(Args(argv + 2, argv + argc));
    }
    fail(std::string("unknown command \"") + argv[1] + "\"; see keltool --help");
    return 2;
}
