#include "transfer/transferservice.h"

#include "app/allowedfolders.h"
#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "transfer/tester.h"
#include "transfer/transfermessages.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QProcess>
#include <algorithm>
#include <filesystem>

namespace kel {

namespace {
constexpr int kDefaultCheckSeconds = 20;
} // namespace

bool isLocalHost(const std::string &host)
{
    const QString name = QString::fromStdString(host);
    if (name.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 ||
        name.compare(QHostInfo::localHostName(), Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    if (!address.setAddress(name))
        return false;
    address = plainAddress(address);
    if (address.isLoopback())
        return true;
    const QList<QHostAddress> own = QNetworkInterface::allAddresses();
    return std::any_of(own.begin(), own.end(),
                       [&](const QHostAddress &a) { return plainAddress(a) == address; });
}

TransferService::TransferService(TransferEnvironment environment, QObject *parent)
    : QObject(parent), m_env(std::move(environment)),
      m_sender({[this](const std::string &text) { status(text); },
                [this](const SendJob &job, SendOutcome outcome, const std::string &detail) {
                    forwardingEnded(job, outcome, detail);
                }},
               this),
      m_ftp(this), m_fetcher(m_ftp, {m_env.messages, m_env.prompter,
                                     [this](const std::string &text) { status(text); }})
{
    m_listTimer.setInterval(kDefaultCheckSeconds * 1000);
    connect(&m_listTimer, &QTimer::timeout, this, [this] {
        if (m_loaded)
            m_fetcher.check();
    });
}

TransferService::~TransferService()
{
    // The parts go before the callbacks they would call.
    m_env.status = nullptr;
    m_receiver.reset();
}

void TransferService::status(const std::string &text)
{
    if (m_env.status)
        m_env.status(text);
}

void TransferService::start(const std::string &queueFolder)
{
    m_queue = queueFolder;
    m_fetcher.setQueueFolder(queueFolder);
    const std::string listen = trimmedCopy(m_env.settings.tcpListen);
    if (equalsNoCase(listen, "N")) {
        say(transfermsg::kReceiverOff, "");
        return;
    }
    QHostAddress address(QHostAddress::Any);
    if (m_listenAddress) {
        address = *m_listenAddress;
    } else if (!listen.empty() && !address.setAddress(QString::fromStdString(listen))) {
        // A site that meant to listen on one address is not opened to all.
        say(transfermsg::kBadListenAddress, listen);
        return;
    }
    TcpReceiver::Options options = m_receiverOptions;
    options.policy.commandFiles = equalsNoCase(trimmed(m_env.settings.tcpCommands), "Y");
    std::vector<std::string> bad;
    options.allow = AllowList::parse(m_env.settings.tcpAllow, bad);
    for (const std::string &entry : bad)
        say(transfermsg::kBadAllowEntry, entry);
    // The receiver's listen() removes what a receiver or fetcher of an
    // earlier run left mid-file.
    m_receiver = std::make_unique<TcpReceiver>(
        queueFolder,
        TcpReceiver::Events{
            [this](const std::string &text) { status(text); }, nullptr, nullptr,
            [this](int message, const std::string &detail) { say(message, detail); }},
        std::move(options), this);
    const uint16_t port = m_portOverride >= 0 ? static_cast<uint16_t>(m_portOverride)
                                              : wire::portSetting(m_env.settings.tcpPort);
    std::string error;
    if (!m_receiver->listen(port, address, error))
        status("TCP receiver: " + error);
}

void TransferService::say(int message, const std::string &detail)
{
    const std::string &text = m_env.messages.text(message);
    status(detail.empty() ? text : text + " " + detail);
}

bool TransferService::holdsMainTick() const
{
    // A file being received is written under a working name and takes its
    // own name whole: printing need not wait for it.
    return m_sender.busy() || m_fetcher.fetching();
}

bool TransferService::isSelf(const std::string &sendTo) const
{
    if (!m_receiver || !m_receiver->listening())
        return false;
    const Result<wire::Destination> d =
        wire::parseDestination(sendTo, wire::portSetting(m_env.settings.tcpPort));
    return d && d->port == m_receiver->port() && isLocalHost(d->host);
}

void TransferService::forward(const ForwardedReport &report, const std::string &destination)
{
    // Sent to this console itself, the report comes back into the queue
    // without its SEND_TO and is printed here; the forwarding deletes only
    // the files it sent, never the copy that arrived.
    if (isSelf(destination) && m_saidSelf.insert(trimmedCopy(destination)).second)
        say(transfermsg::kSendToSelf, trimmedCopy(destination));
    // Pictures are read only from the allowed folders: the queue folder (the
    // released file's, before start()), the program folders and
    // RESOURCE_PATH, and the report's own unpacked pictures.
    const std::string queue =
        m_queue.empty() ? std::filesystem::path(report.releasedFile).parent_path().string()
                        : m_queue;
    const Folders folders{programFolder(), m_env.tempFolder, m_env.tempFolder + "/Temp",
                          shippedFolders()};
    AllowedFolders allowed = AllowedFolders::forQueue(queue, folders, m_env.settings);
    allowed.allowFiles(report.scratch); // a packed report's own unpacked pictures
    Result<Forwarding> prepared =
        prepareForwarding(report, destination, wire::portSetting(m_env.settings.tcpPort), &allowed);
    if (!prepared) {
        status("Cannot forward " + report.report + ": " + prepared.refusal().detail);
        Forwarding given;
        given.releasedFile = report.releasedFile;
        given.report = report.report;
        given.scratch = report.scratch;
        abandonForwarding(given);
        return;
    }
    for (const std::string &name : prepared->refusedPictures) {
        if (m_saidPictures.insert(name).second)
            say(transfermsg::kPictureNotAllowed, name);
    }
    const int id = m_nextJob++;
    prepared->job.id = id;
    SendJob job = prepared->job;
    m_forwardings.emplace(id, std::move(*prepared));
    m_sender.send(std::move(job));
}

void TransferService::forwardingEnded(const SendJob &job, SendOutcome outcome,
                                      const std::string &detail)
{
    auto it = m_forwardings.find(job.id);
    if (it == m_forwardings.end())
        return;
    const Forwarding f = std::move(it->second);
    m_forwardings.erase(it);
    if (outcome == SendOutcome::Delivered) {
        completeForwarding(f);
        if (!detail.empty())
            status("Report sent to " + job.destinationText + "; " + detail);
        return;
    }
    const std::string kept = abandonForwarding(f);
    status("Report not sent (" + detail + ")" + (kept.empty() ? "" : ": kept as " + kept));
}

void TransferService::tickEnded()
{
    if (!m_loaded)
        return;
    if (!m_listTimer.isActive())
        m_listTimer.start();
    if (!m_listedSinceApply) {
        m_listedSinceApply = true;
        m_fetcher.check();
    }
}

void TransferService::applyConnection(const std::string &cnxFile, int checkEverySeconds)
{
    const std::optional<Connection> read = readConnectionFile(cnxFile);
    if (!read) {
        status("Connection file could not be read: " + connectionFileName(cnxFile));
        return;
    }
    m_connection = *read;
    m_ftp.setConnection(m_connection);
    m_loaded = true;
    m_listedSinceApply = false;
    const int seconds =
        checkEverySeconds > 0 ? std::min(checkEverySeconds, 24 * 3600) : kDefaultCheckSeconds;
    m_listTimer.start(seconds * 1000);
}

void TransferService::dropConnection()
{
    m_loaded = false;
    m_listTimer.stop();
}

bool TransferService::testConnection(const std::string &cnxFile)
{
    // A file that cannot be read leaves the fields empty: the test fails.
    CurlFtp client;
    client.setConnection(readConnectionFile(cnxFile).value_or(Connection{}));
    ConnectionTester tester(client, m_env.tempFolder);
    status(m_env.messages.text(236));
    const bool passed = tester.runAndWait();
    showConnectionTestResult(passed, tester.detail(), m_env.messages, m_env.prompter);
    return passed;
}

ConnectionTools TransferService::connectionTools()
{
    ConnectionTools tools;
    tools.test = [this](const std::string &cnxFile) { return testConnection(cnxFile); };
    tools.defineConnection = [this] {
        const QString program =
            QCoreApplication::applicationDirPath() + QStringLiteral("/kelconnect");
        if (!QProcess::startDetached(program, {}))
            status("Cannot start " + program.toStdString());
    };
    return tools;
}

} // namespace kel
