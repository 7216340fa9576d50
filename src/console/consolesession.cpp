#include "console/consolesession.h"

#include "app/messages.h"
#include "console/consoleloop.h"
#include "console/consolemessages.h"
#include "console/consolestartup.h"
#include "console/headless.h"

#include <QCoreApplication>
#include <QProcess>

namespace kel {

ConsoleSession::ConsoleSession(const ConsoleSwitches &switches, QueueOpener queues,
                               TransferFactory transfer)
    : m_switches(switches), m_printers(std::move(queues)), m_transferFactory(std::move(transfer)),
      m_transfer(&m_noTransfer)
{
}

ConsoleSession::~ConsoleSession() = default;

Status ConsoleSession::prepare()
{
    if (Status loaded = loadServices(m_services, QueuePath::Read); !loaded)
        return loaded;
    if (Status queue = applyQueueSwitch(m_services.settings, m_switches); !queue)
        return queue;
    // The instance lock first: a viewer that ends empties the temporary
    // folder only while no other instance runs, so the console's lock file
    // is never removed under it.
    m_instance = std::make_unique<InstanceLock>(m_services.folders.temp);
    m_lock = std::make_unique<ConsoleLock>(m_services.folders.temp);
    if (!m_lock->acquired())
        return refusal(109, m_services.folders.temp);
    // What killed instances left: their lock files and the working files
    // they recorded.
    InstanceLock::removeLeftovers(m_services.folders.temp);
    // The watch begins before anything looks at the folder, so a file being
    // written from now on is never mistaken for one that has settled.
    m_watch = std::make_unique<FolderWatch>();
    m_watch->watch(m_services.settings.queuePath);
    m_connection = startupConnection(m_services.settings, m_switches, m_checkEvery);
    return {};
}

void ConsoleSession::start(Prompter &prompter, Warnings &warnings)
{
    if (m_transferFactory) {
        m_ownedTransfer = m_transferFactory(m_services, prompter, [this](const std::string &text) {
            if (m_transferStatus)
                m_transferStatus(text);
        });
        if (m_ownedTransfer)
            m_transfer = m_ownedTransfer.get();
    }
    // The headless console starts no viewer: a report that asks for one
    // waits under its viewer name, and is said. The windowed console runs a
    // few at once, so that a batch of such reports cannot flood the desktop.
    ViewerLauncher launcher;
    if (!m_switches.headless) {
        launcher = [&prompter, &messages = m_services.messages](const std::string &path) {
            startLimitedViewer(path, prompter, messages);
        };
    }
    m_context = std::make_unique<ConsoleContext>(
        ConsoleContext{m_services.folders, m_services.messages, m_services.settings, prompter,
                       warnings, m_printers, *m_transfer, std::move(launcher)});
    m_engine = std::make_unique<ConsoleEngine>(*m_context, m_clock);
    m_engine->setJobLookup(
        [](const std::string &printer, int jobId) { return cupsListsJob(printer, jobId); });
    if (!m_connection.empty())
        m_transfer->applyConnection(m_connection, m_checkEvery);
    m_engine->start(m_switches.visible ? ConsoleEngine::StartQueue::Closed
                                       : ConsoleEngine::StartQueue::Open);
}

void ConsoleSession::startViewer(const std::string &path)
{
    QStringList arguments;
    if (!path.empty())
        arguments << QString::fromLocal8Bit(path.c_str());
    QProcess::startDetached(QCoreApplication::applicationDirPath() + QStringLiteral("/kel"),
                            arguments);
}

void ConsoleSession::startLimitedViewer(const std::string &path, Prompter &prompter,
                                        const Messages &messages)
{
    static int running = 0;
    if (running >= kMaxViewers) {
        prompter.notice(kMsgViewerHeldBack,
                        messages.qtext(kMsgViewerHeldBack) + QStringLiteral(" ") +
                            QString::fromLocal8Bit(path.c_str()),
                        messages.qtext(0));
        return;
    }
    auto *viewer = new QProcess(QCoreApplication::instance());
    QObject::connect(viewer, &QProcess::finished, viewer, [viewer] {
        --running;
        viewer->deleteLater();
    });
    QObject::connect(viewer, &QProcess::errorOccurred, viewer, [viewer](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            --running;
            viewer->deleteLater();
        }
    });
    ++running;
    viewer->start(QCoreApplication::applicationDirPath() + QStringLiteral("/kel"),
                  {QString::fromLocal8Bit(path.c_str())});
}

QString startupRefusalText(const Messages &messages, const Refusal &refusal)
{
    if (refusal.message < 0)
        return QString::fromLocal8Bit(refusal.detail.c_str());
    QString text = messages.qtext(refusal.message);
    if (refusal.message == kMsgQueueUnreadable && !refusal.detail.empty())
        text += QStringLiteral(" ") + QString::fromLocal8Bit(refusal.detail.c_str());
    return text;
}

int runHeadlessConsole(ConsoleSession &session)
{
    HeadlessPrompter prompter;
    if (Status ready = session.prepare(); !ready) {
        prompter.error(ready.refusal().message,
                       startupRefusalText(session.services().messages, ready.refusal()), {});
        return 1;
    }
    const Messages &messages = session.services().messages;
    writeHeadlessLine(stderr, LogPriority::Info,
                      headlessLine(112, startupStatusLines(messages, session.switches(),
                                                           session.services().settings.queuePath,
                                                           session.connection())
                                            .join(QLatin1Char(' '))));

    // The transfer's status texts, a line each; texts that differ only in
    // their figures (the seconds of a countdown) are said once.
    std::string lastStatus;
    session.setTransferStatus([&lastStatus](const std::string &text) {
        std::string shape = text;
        std::erase_if(shape, [](char c) { return c >= '0' && c <= '9'; });
        if (shape == lastStatus)
            return;
        lastStatus = shape;
        writeHeadlessLine(stderr, LogPriority::Info,
                          QStringLiteral("kel: ") + QString::fromLocal8Bit(text.c_str()));
    });

    // Markup warnings are said once per report and answered at once.
    Warnings warnings(prompter, messages);
    HeadlessLog log(messages);
    const JobLog jobLog(session.services().settings.jobLog);
    JobRecorder recorder(jobLog, messages);
    session.start(prompter, warnings);
    ConsoleEngine &engine = session.engine();
    engine.addObserver(&log);
    recorder.setQueueFolder(engine.queueFolder());
    recorder.started(engine.queueFolder());
    engine.addObserver(&recorder);
    if (engine.shutdownRequested()) {
        recorder.stopped(0);
        return 0;
    }

    ConsoleLoop loop(
        engine, 5000, [] { QCoreApplication::exit(0); }, session.watch());
    // SIGTERM, SIGINT and SIGHUP end the headless console the way SHUTDOWN
    // does; the event loop hears them between two files, so the file being
    // printed is finished first.
    const TerminationSignals stopSignals([&engine](int) {
        engine.stop();
        QCoreApplication::exit(0);
    });
    loop.start();
    const int status = QCoreApplication::exec();
    engine.removeObserver(&recorder);
    engine.removeObserver(&log);
    recorder.stopped(status);
    return status;
}

} // namespace kel
