// The thin Qt glue of the TCP transfer: sockets and timers on the event
// loop, wired to the plain Sender and ReceiverSession objects that hold the
// protocol. Nothing here blocks; everything runs on the thread that owns the
// objects.
#pragma once

#include "transfer/allowlist.h"
#include "transfer/receiver.h"
#include "transfer/sender.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace kel {

// A SenderLink over a QTcpSocket, with Nagle's algorithm off so each message
// leaves at once. A new socket serves every connection, so events of an
// abandoned connection never reach the sender.
class TcpSenderLink : public QObject, public SenderLink
{
public:
    explicit TcpSenderLink(QObject *parent = nullptr);
    ~TcpSenderLink() override;
    // The sender the socket events go to; set before the first open().
    void setSender(Sender *sender) { m_sender = sender; }

    void open(const std::string &host, uint16_t port) override;
    void send(std::string_view message) override;
    void close() override;

private:
    void drop();

    Sender *m_sender = nullptr;
    QTcpSocket *m_socket = nullptr;
};

// A Sender with its link and its one-second timer: send() and forget; the
// events say how each job ends.
class TcpSender : public QObject
{
public:
    explicit TcpSender(Sender::Events events, QObject *parent = nullptr);
    void send(SendJob job);
    bool busy() const { return m_sender.busy(); }
    Sender &sender() { return m_sender; }

private:
    TcpSenderLink m_link;
    Sender m_sender;
    QTimer m_tick;
};

// Listens for transfers and keeps one ReceiverSession per connection,
// writing into a queue folder through QueueFolderFiles.
//
// A received file is written under a working name and takes its own name
// whole, so the console prints on while files arrive. What a peer can hold
// is bounded: a connection from an address TCP_ALLOW does not list is closed
// before the greeting; a connection must keep a minimum rate or is closed; a
// socket never buffers more than two blocks; and the slots are shared
// fairly: while a connection from an address without a slot waits, no
// address keeps more than one.
class TcpReceiver : public QObject
{
public:
    // A shorter message is whole once the line has been quiet this long.
    // TCP sends a lost piece again after its retransmission timeout: at
    // least 200 ms (Linux) or 300 ms (Windows), doubled on every further
    // loss, and about a second for a connection with little history. 1.5 s
    // outlasts two losses of the same piece and the one-second timeout.
    static constexpr int kQuietMs = 1500;

    struct Options
    {
        int quietMs = kQuietMs;
        // A connection that sends nothing for this long is closed and its
        // unfinished file dropped.
        int idleMs = 60000;
        // A connection that brings fewer bytes than this in a window is
        // closed and its unfinished file dropped (about 1 KiB/s averaged over
        // a minute), so a peer trickling a byte at a time holds nothing long.
        int rateWindowMs = 60000;
        int64_t minBytesPerWindow = 60 * 1024;
        // Connections served at once; more wait for a slot (at most as many
        // again; beyond that they are closed at once and their senders retry).
        int maxSessions = 8;
        ReceiverPolicy policy;
        AllowList allow; // who may connect (TCP_ALLOW); anyone by default
    };
    struct Events
    {
        std::function<void(const std::string &text)> status;
        std::function<void(const std::string &name)> received; // a file took its name
        std::function<void()> sessionsChanged;                 // a connection came or went
        // Something refused, as a message of the language file
        // (transfermessages.h) and its detail; said once per message and
        // peer address.
        std::function<void(int message, const std::string &detail)> refused;
    };

    TcpReceiver(std::string queueFolder, Events events, Options options, QObject *parent = nullptr);
    TcpReceiver(std::string queueFolder, Events events, QObject *parent = nullptr)
        : TcpReceiver(std::move(queueFolder), std::move(events), Options{}, parent)
    {
    }
    ~TcpReceiver() override;

    // Removes the working files left in the queue folder by a run that
    // ended mid-file (workfiles.h), then starts listening; port 0 picks a
    // free port (see port()). False with `error` when the port cannot be had.
    bool listen(uint16_t port, const QHostAddress &address, std::string &error);
    void stop();
    bool listening() const;
    uint16_t port() const;
    QHostAddress address() const;
    // Connections served now, and connections waiting for a slot.
    int sessions() const { return static_cast<int>(m_sessions.size()); }
    int waiting() const { return static_cast<int>(m_waiting.size()); }
    // Connections in the middle of a file. Files arrive under working names,
    // so the console's main tick need not wait for them.
    int filesArriving() const;
    int filesReceived() const { return m_received; }

private:
    class Session;
    struct Waiting
    {
        QTcpSocket *socket;
        std::string address;
        qint64 sinceMs;
    };
    void accept();
    void admit(QTcpSocket *socket, const std::string &address);
    void serveWaiting();
    Session *youngestOfBusiest() const;
    void startSession(QTcpSocket *socket, const std::string &address);
    void checkWaiting();
    void finished(Session *session);
    int sessionsFrom(const std::string &address) const;
    void refused(int message, const std::string &address, const std::string &detail);

    std::string m_folder;
    Events m_events;
    Options m_options;
    QTcpServer *m_server;
    std::vector<std::unique_ptr<Session>> m_sessions;
    std::deque<Waiting> m_waiting;
    QTimer m_waitCheck;
    std::set<std::pair<int, std::string>> m_said;
    int m_received = 0;
};

} // namespace kel
