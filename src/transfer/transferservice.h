// The network transfer of one console: the TCP receiver, the TCP sender and
// the FTP fetcher behind the console's TransferHooks.
//
// Wiring in the console's start-up (one instance for the whole run, on the
// console's thread, living as long as the console engine):
//
//   TransferService transfer({settings, messages, prompter, folders.temp,
//                             [&](const std::string &text) { statusBar(text); }});
//   engine.setTransfer(&transfer);                  // the engine knows TransferHooks only
//   browser.setConnectionTools(transfer.connectionTools());
//   // connection at start-up: CHECK_EVERY > 0 and CNX_FILE not empty
//   transfer.applyConnection(settings.cnxFile, leadingInt(settings.checkEvery));
//   // "-F": the switch's file, with CHECK_EVERY (20 seconds when it is 0)
//   transfer.applyConnection(switches.connectionFile, leadingInt(settings.checkEvery));
//   transfer.start(queueFolder);                    // once the queue folder is known
//
// The engine then calls, from its main tick:
//   - holdsMainTick(): at the start of every tick; while true the tick does
//     nothing (a file is arriving, being fetched or a report is forwarded);
//   - forward(report, sendTo): for a report with SEND_TO; the service
//     deletes its files once the report has arrived, or leaves the released
//     file + ".NOT_SENT" when it gives up;
//   - tickEnded(): at the end of every tick; the first after a connection is
//     applied lists the FTP folder at once.
// The configuration window calls applyConnection(file, CHECK_EVERY) when a
// connection is applied, dropConnection() when the file name changes, and
// the two ConnectionTools for its test and define buttons.
//
// Status texts arrive as Windows-1252 bytes (as messages are); the console
// shows them in its status bar or logs them.
#pragma once

#include "app/settings.h"
#include "console/transferhooks.h"
#include "transfer/connectionfile.h"
#include "transfer/curlftp.h"
#include "transfer/forwarding.h"
#include "transfer/ftpfetcher.h"
#include "transfer/tcptransfer.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace kel {

class Messages;
class Prompter;

struct TransferEnvironment
{
    const SettingsRecord &settings; // TCP_PORT, read by start() and forward()
    const Messages &messages;
    Prompter &prompter;     // the tester's 239 and 240, the line-end conversion's boxes
    std::string tempFolder; // the tester's local test file
    std::function<void(const std::string &text)> status;
};

class TransferService : public QObject, public TransferHooks
{
public:
    explicit TransferService(TransferEnvironment environment, QObject *parent = nullptr);
    ~TransferService() override;

    // The receiver listens on TCP_PORT (1001 when unset) on TCP_LISTEN
    // (every address when empty; none when "N" or not an address, which is
    // said), takes connections from TCP_ALLOW only (anyone when empty) and
    // command files only with TCP_COMMANDS=Y. A port it cannot have is said
    // in the status text and nothing else stops. Working files that a
    // receiver left mid-file are removed.
    void start(const std::string &queueFolder) override;
    bool holdsMainTick() const override;
    bool isSelf(const std::string &sendTo) const override;
    void forward(const ForwardedReport &report, const std::string &destination) override;
    void tickEnded() override;
    // A file that cannot be opened changes nothing (said in the status
    // text). `checkEverySeconds` of 0 or less lists every 20 seconds.
    void applyConnection(const std::string &cnxFile, int checkEverySeconds) override;
    void dropConnection() override;
    bool connectionLoaded() const override { return m_loaded; }

    // test: runs the connection tester on a file (a nested event loop keeps
    // the console running meanwhile), shows 236 in the status text and 239
    // or 240 through the prompter, and returns the tested flag.
    // defineConnection: starts kelconnect from the running program's folder.
    ConnectionTools connectionTools();
    bool testConnection(const std::string &cnxFile);

    const Connection &connection() const { return m_connection; }

    // For tests and tools, before start(): where the receiver listens (every
    // address by default), with which timing, and on which port (overrides
    // TCP_PORT; 0 picks a free port).
    void setListenAddress(const QHostAddress &address) { m_listenAddress = address; }
    const TcpReceiver *receiver() const { return m_receiver.get(); }
    void setReceiverOptions(const TcpReceiver::Options &options) { m_receiverOptions = options; }
    void setListenPort(uint16_t port) { m_portOverride = port; }
    bool listening() const { return m_receiver && m_receiver->listening(); }
    uint16_t receiverPort() const { return m_receiver ? m_receiver->port() : 0; }

private:
    void status(const std::string &text);
    // Message `message` of the language file, followed by `detail`.
    void say(int message, const std::string &detail);
    void forwardingEnded(const SendJob &job, SendOutcome outcome, const std::string &detail);

    TransferEnvironment m_env;
    std::string m_queue;
    std::optional<QHostAddress> m_listenAddress;
    TcpReceiver::Options m_receiverOptions;
    int m_portOverride = -1;
    std::unique_ptr<TcpReceiver> m_receiver;
    TcpSender m_sender;
    std::map<int, Forwarding> m_forwardings;
    int m_nextJob = 1;
    CurlFtp m_ftp;
    FtpFetcher m_fetcher;
    QTimer m_listTimer;
    Connection m_connection;
    bool m_loaded = false;
    bool m_listedSinceApply = false;
    std::set<std::string> m_saidSelf;
    std::set<std::string> m_saidPictures;
};

// Whether a host names this machine: "localhost", its host name, a loopback
// address or an address of one of its interfaces. Other names are not
// looked up (that would block the console's thread).
bool isLocalHost(const std::string &host);

} // namespace kel
