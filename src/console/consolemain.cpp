#include "console/consolemain.h"

#include "app/messages.h"
#include "app/text.h"
#include "console/consoleloop.h"
#include "console/consoleprompter.h"
#include "console/consolesession.h"
#include "console/consolestartup.h"
#include "console/consolewindow.h"
#include "console/headless.h"
#include "printing/printers.h"
#include "transfer/transferservice.h"
#include "transfer/widgets/testingcnxwindow.h"
#include "viewer/guiprompter.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>

namespace kel {
namespace {

// The offscreen platform complains once per run when the session has no
// runtime folder; a service never has one, so that line is not shown.
QtMessageHandler g_defaultHandler = nullptr;
void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    g_defaultHandler(type, context, text);
}

// The start-up window: the program's title and what the console will do,
// shown for four seconds before the console takes over.
class StartupWindow : public QWidget
{
public:
    explicit StartupWindow(const QStringList &lines)
        : QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("frmSplash"));
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(24, 20, 24, 20);
        auto *title = new QLabel(QStringLiteral("Kel Printing System 2.2"), this);
        QFont f = title->font();
        f.setPointSize(f.pointSize() + 6);
        f.setBold(true);
        title->setFont(f);
        layout->addWidget(title);
        auto *status = new QLabel(lines.join(QLatin1Char('\n')), this);
        status->setObjectName(QStringLiteral("status"));
        layout->addWidget(status);
        setStyleSheet(
            QStringLiteral("StartupWindow, QWidget#frmSplash { border: 1px solid gray; }"));
    }
};

// The network transfer of the console: made once the services are loaded.
// `made` keeps the service for the configuration window's tools.
ConsoleSession::TransferFactory transferFactory(TransferService *&made)
{
    return [&made](const Services &services, Prompter &prompter,
                   std::function<void(const std::string &)> status) {
        auto service = std::make_unique<TransferService>(
            TransferEnvironment{services.settings, services.messages, prompter,
                                services.folders.temp, std::move(status)});
        made = service.get();
        return std::unique_ptr<TransferHooks>(std::move(service));
    };
}

int runWindowed(ConsoleSession &session, TransferService *const &transfer)
{
    GuiPrompter modal;
    if (Status ready = session.prepare(); !ready) {
        const Messages &m = session.services().messages;
        QMessageBox::critical(nullptr,
                              ready.refusal().message < 0 ? startupFailureTitle(ready.refusal())
                                                          : m.qtext(kMsgStartupTitle),
                              startupRefusalText(m, ready.refusal()));
        return 1;
    }
    Services &services = session.services();
    StartupWindow startup(startupStatusLines(services.messages, session.switches(),
                                             services.settings.queuePath, session.connection()));
    startup.adjustSize();
    startup.show();

    ConsolePrompter prompter;
    Warnings warnings(prompter, services.messages);
    std::unique_ptr<ConsoleWindow> window;
    std::unique_ptr<ConsoleLoop> loop;
    std::unique_ptr<TerminationSignals> stopSignals;
    session.setTransferStatus([&window](const std::string &text) {
        if (window)
            window->showTransferStatus(fromCp1252(text));
    });
    const JobLog jobLog(services.settings.jobLog);
    JobRecorder recorder(jobLog, services.messages);
    QTimer::singleShot(4000, [&] {
        startup.close();
        session.start(prompter, warnings);
        ConsoleEngine &engine = session.engine();
        recorder.setQueueFolder(engine.queueFolder());
        recorder.started(engine.queueFolder());
        engine.addObserver(&recorder);
        if (engine.shutdownRequested()) {
            QApplication::exit(0);
            return;
        }
        ConsoleWindowContext context{engine,
                                     services.messages,
                                     services.settings,
                                     services.folders,
                                     session.printers(),
                                     session.transfer(),
                                     transfer
                                         ? windowConnectionTools(*transfer, services.folders.temp,
                                                                 services.messages, modal, nullptr)
                                         : ConnectionTools{},
                                     modal,
                                     session.switches(),
                                     &ConsoleSession::startViewer};
        window = std::make_unique<ConsoleWindow>(context);
        prompter.setParent(window.get());
        modal.setParent(window.get());
        window->activate();
        loop = std::make_unique<ConsoleLoop>(
            engine, 5000, [] { QApplication::exit(0); }, session.watch());
        // A stop signal (the session ending, systemctl stop) ends the console
        // as the Exit button does, after the file being printed.
        stopSignals = std::make_unique<TerminationSignals>([&engine](int) {
            engine.stop();
            QApplication::exit(0);
        });
        loop->start();
    });
    const int status = QApplication::exec();
    stopSignals.reset();
    loop.reset();
    window.reset();
    if (session.started())
        session.engine().removeObserver(&recorder);
    recorder.stopped(status);
    return status;
}

} // namespace

int runConsole(int argc, char **argv, const CommandLine &commandLine)
{
    const ConsoleSwitches &switches = commandLine.console;
    // Jobs on print-system queues go to CUPS as PDFs of our own writer; the
    // network transfer is made once the services are loaded.
    TransferService *transfer = nullptr;
    ConsoleSession session(switches, openCupsQueue, transferFactory(transfer));
    if (switches.headless || !displayAvailable()) {
        // Fonts for printing need an application object; no window is made.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        g_defaultHandler = qInstallMessageHandler(filterMessages);
        QGuiApplication app(argc, argv);
        QGuiApplication::setApplicationName(QStringLiteral("kel"));
        return runHeadlessConsole(session);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kel"));
    QApplication::setQuitOnLastWindowClosed(false);
    return runWindowed(session, transfer);
}

} // namespace kel
