// kel: the report viewer. A command line that begins with "-" belongs to
// the print server console, which makes its own application object.
#include "app/commandline.h"
#include "app/instances.h"
#include "app/services.h"
#include "app/warnings.h"
#include "console/browserwindow.h"
#include "console/consolemain.h"
#include "render/clock.h"
#include "render/externalcommands.h"
#include "viewer/guiprompter.h"
#include "viewer/mail.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>

using namespace kel;

namespace {

constexpr const char *kUsage =
    "Usage: kel [REPORT] [/LETTERS]\n"
    "       kel -SWITCH ...\n"
    "\n"
    "Shows a report (.kel), a listing (.txt, .lst, .prn), template data (.kez)\n"
    "or a packed report, page by page. A path may contain blanks; a name\n"
    "without a \".\" gets \".kel\".\n"
    "\n"
    "Option letters, in one last argument after \"/\", hide toolbar buttons:\n"
    "  O open   S save   X export   P print   M mail\n"
    "  D page buttons    Z zoom     F find\n"
    "  E design mode: edit, column guides, page coordinates (right button)\n"
    "\n"
    "A command line that begins with \"-\" starts the print server console:\n"
    "  -PFOLDER  the queue folder (else QUEUE_PATH of KEL.INI)\n"
    "  -H        headless: no window, every message a line on stderr\n"
    "            (also when there is no display); runs as a service\n"
    "  -V        show the console window and keep the queue closed\n"
    "  -S        server mode: accepted, changes nothing more (the\n"
    "            window follows -V)\n"
    "  -I        no tray icon (the window is minimised, not hidden)\n"
    "  -E        design mode (the console's status says so)\n"
    "  -FFILE    connection file (\".cnx\" added when FILE has no \".\")\n"
    "\n"
    "  --help     show this text and end\n"
    "  --version  show the version and end\n"
    "\n"
    "KEL_HOME names the program folder (KEL.INI, KEL.LNG, tables, help);\n"
    "working files go to $TEMP (else $TMP, $TMPDIR, /tmp)/Kel-<uid>.\n";

// "--help" and "--version" as the only argument, as Linux programs take
// them; anything else is the system's own command line.
bool answeredQuestion(int argc, char **argv)
{
    if (argc != 2)
        return false;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("kel (Kel Printing System) %s\n", KEL_VERSION);
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (answeredQuestion(argc, argv))
        return 0;

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const CommandLine commandLine = parseCommandLine(joinArguments(args));
    if (commandLine.mode == CommandLine::Mode::Console)
        return runConsole(argc, argv, commandLine);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kel"));
    QApplication::setApplicationVersion(QStringLiteral(KEL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("kel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kel.svg")));

    Services services;
    if (Status loaded = loadServices(services); !loaded) {
        const Refusal &r = loaded.refusal();
        QString text = QString::fromStdString(r.detail);
        if (r.message != kNoMessage)
            text = services.messages.qtext(r.message) + QStringLiteral("\n\n") + text;
        std::fprintf(stderr, "kel: %s\n", text.toLocal8Bit().constData());
        QMessageBox::critical(nullptr, startupFailureTitle(r), text);
        return 1;
    }
    Folders &folders = services.folders;

    // Working copies that instances killed earlier left behind go first.
    InstanceLock::removeLeftovers(folders.temp);
    InstanceLock lock(folders.temp);
    // Mailed attachments older than a day have had their time.
    if (const std::string outbox = outboxFolder(); !outbox.empty())
        removeOldAttachments(outbox);
    GuiPrompter prompter;
    Warnings warnings(prompter, services.messages);
    // What a report names opens through the desktop; a program it names
    // starts only as EXEC_ALLOWED says.
    ProcessStarter starter;
    AskingTargetOpener opener(starter, prompter, services.messages,
                              execPolicyFrom(services.settings.execAllowed));
    ExternalCommands commands(&opener);
    SystemClock clock;
    ViewerContext context{folders,
                          services.messages,
                          services.settings,
                          prompter,
                          warnings,
                          commands,
                          clock,
                          commandLine.options,
                          &lock};
    // The console's configuration window, which the viewer knows only as
    // this call.
    context.openConfiguration = [&](QWidget *parent) {
        showConfigurationForViewer(folders, services.messages, services.settings, prompter,
                                   warnings, parent);
    };
    ViewerWindow window(context);
    prompter.setParent(&window);
    // Asked to end (kill, Ctrl+C, a closed terminal): end as when the window
    // is closed, so that nothing is left in the temporary folder.
    TerminationSignals termination([](int) {
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    window.show();
    if (!commandLine.document.empty()) {
        QTimer::singleShot(0, &window,
                           [&window, &commandLine] { window.openDocument(commandLine.document); });
    }
    const int rc = QApplication::exec();
    // This instance's working files go; the last instance to end empties
    // the temporary folder.
    lock.removeRecorded();
    if (!lock.othersRunning())
        emptyTempFolder(folders);
    return rc != 0 ? rc : window.exitCode();
}
