// viewer_screens: shows every window of the viewer, and the console windows
// it reaches, one after the other on a real display and takes a picture of
// the whole screen for each (ImageMagick's `import`), so that a person can
// look at them. Not a test: tools/screenshots.sh runs it under Xvfb with a
// window manager, at 1366x768 and at QT_SCALE_FACTOR=2.
//
//   viewer_screens REPORT OUTDIR
//
// KEL_HOME must name a program folder with KEL.LNG and a KEL.INI whose
// QUEUE_PATH exists.
#include "app/prompter.h"
#include "app/services.h"
#include "app/warnings.h"
#include "console/browserwindow.h"
#include "console/consolewindow.h"
#include "printing/printers.h"
#include "render/clock.h"
#include "render/externalcommands.h"
#include "viewer/findbar.h"
#include "viewer/guiprompter.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <functional>

using namespace kel;

namespace {

QString g_out;

void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void shot(const char *name)
{
    settle(700);
    const QString file = g_out + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    QProcess::execute(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"), file});
    std::printf("%s\n", file.toLocal8Bit().constData());
}

// Takes a picture of the next modal window once it is up, then lets
// `done` close it.
void onModal(const char *name, std::function<void(QWidget *)> done)
{
    QTimer::singleShot(300, [name, done] {
        shot(name);
        if (QWidget *w = QApplication::activeModalWidget())
            done(w);
    });
}

void reject(QWidget *w)
{
    if (auto *d = qobject_cast<QDialog *>(w))
        d->reject();
    else
        w->close();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: viewer_screens REPORT OUTDIR\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[2]);
    Services services;
    if (!loadServices(services)) {
        std::fprintf(stderr, "viewer_screens: KEL_HOME has no KEL.LNG\n");
        return 1;
    }
    GuiPrompter prompter;
    Warnings warnings(prompter, services.messages);
    ExternalCommands commands;
    SystemClock clock;
    ViewerOptions options;
    options.designMode = true;
    ViewerContext context{
        services.folders, services.messages, services.settings, prompter, warnings, commands, clock,
        options};
    context.openConfiguration = [&](QWidget *parent) {
        showConfigurationForViewer(services.folders, services.messages, services.settings, prompter,
                                   warnings, parent);
    };
    ViewerWindow window(context);
    prompter.setParent(&window);
    window.show();
    window.openDocument(argv[1]);
    window.coordinatesBox()->setText(QStringLiteral("X=1200 --  Y=3400"));
    shot("viewer");

    window.dispatch(QStringLiteral("findtext"));
    window.findBar()->textBox()->setText(QStringLiteral("Total"));
    Q_EMIT window.findBar()->textBox()->returnPressed();
    shot("viewer-find");

    onModal("goto", reject);
    window.dispatch(QStringLiteral("ir"));

    // Without a print system the print dialog says so first.
    onModal("print-refusal", [](QWidget *box) {
        box->close();
        onModal("print-dialog", reject);
    });
    window.dispatch(QStringLiteral("printsetup"));

    onModal("configuration", [](QWidget *w) {
        if (auto *tabs = w->findChild<QTabWidget *>())
            tabs->setCurrentIndex(1);
        onModal("configuration-settings", reject);
    });
    window.dispatch(QStringLiteral("config"));

    // The console's window over the same queue folder, its queue closed by
    // the configuration window.
    SettingsRecord consoleSettings = services.settings;
    loadSettings(services.folders.inProgram("KEL.INI"), consoleSettings, true);
    const Printers printers;
    TransferHooks noTransfer;
    const ConsoleContext console{services.folders, services.messages, consoleSettings, prompter,
                                 warnings,         printers,          noTransfer,      {}};
    const SteadyConsoleClock consoleClock;
    ConsoleEngine engine(console, consoleClock);
    engine.setQueueFolder(consoleSettings.queuePath);
    engine.reloadTypes();
    ConsoleSwitches switches;
    switches.visible = true;
    switches.install = true;
    ConsoleWindow consoleWindow({engine,
                                 services.messages,
                                 consoleSettings,
                                 services.folders,
                                 printers,
                                 noTransfer,
                                 {},
                                 prompter,
                                 switches,
                                 {}});
    window.hide();
    consoleWindow.activate();
    engine.setQueueOpen(true);
    engine.tick();
    onModal("console-closing", [](QWidget *box) { box->close(); });
    consoleWindow.openConfiguration();
    settle(500);
    if (BrowserWindow *b = consoleWindow.browser())
        b->close();
    engine.tick();
    shot("console");
    return 0;
}
