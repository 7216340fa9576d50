// kel: the report viewer. A command line that begins with "-" belongs to
// the print server console, which makes its own application object.
#include "app/commandline.h"
#include "app/instances.h"
#include "app/services.h"
#include "app/warnings.h"
#include "console/consolemain.h"
#include "render/clock.h"
#include "render/externalcommands.h"
#include "viewer/guiprompter.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

using namespace kel;

int main(int argc, char **argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const CommandLine commandLine = parseCommandLine(joinArguments(args));
    if (commandLine.mode == CommandLine::Mode::Console)
        return runConsole(argc, argv, commandLine);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kel"));

    Services services;
    if (Status loaded = loadServices(services); !loaded) {
        QMessageBox::critical(nullptr, startupFailureTitle(loaded.refusal()),
                              QString::fromStdString(loaded.refusal().detail));
        return 1;
    }
    Folders &folders = services.folders;

    InstanceLock lock(folders.temp);
    GuiPrompter prompter;
    Warnings warnings(prompter, services.messages);
    ShellTargetOpener opener;
    ExternalCommands commands(&opener);
    SystemClock clock;
    ViewerContext context{folders,  services.messages,  services.settings,
                          prompter, warnings,           commands,
                          clock,    commandLine.options};
    ViewerWindow window(context);
    prompter.setParent(&window);
    window.show();
    if (!commandLine.document.empty()) {
        QTimer::singleShot(0, &window,
                           [&window, &commandLine] { window.openDocument(commandLine.document); });
    }
    const int rc = QApplication::exec();
    // The last instance to end empties the temporary folder.
    if (!lock.othersRunning())
        emptyTempFolder(folders);
    return rc != 0 ? rc : window.exitCode();
}
