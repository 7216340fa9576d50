// keltool: the batch command line of the Kel Printing System.
#include "cli/cli.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

using namespace kel::cli;

static void printHelp()
{
    std::printf("usage: keltool COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const Command &c : commands())
        std::printf("  %s %s\n      %s\n", c.name, c.usage, c.summary);
}

int main(int argc, char **argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        printHelp();
        return argc < 2 ? 2 : 0;
    }
    // Fonts and images need an application object; keltool never opens a
    // window, so the offscreen platform serves where there is no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    for (const Command &c : commands()) {
        if (std::strcmp(argv[1], c.name) == 0)
            return c.run(Args(argv + 2, argv + argc));
    }
    fail(std::string("unknown command \"") + argv[1] + "\"; see keltool --help");
    return 2;
}
