// The thin Qt glue of the TCP transfer: sockets and timers on the event
// loop, wired to the plain Sender and ReceiverSession objects that hold the
// protocol. Nothing here blocks; everything runs on the thread that owns the
// objects.
#pragma once

#include "transfer/receiver.h"
#include "transfer/sender.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
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
class TcpReceiver : public QObject
{
public:
    struct Options
    {
        // A message shorter than 900 bytes is taken once the line has been
        // quiet this long.
        int quietMs = 50;
        // A connection that sends nothing for this long is closed and its
        // unfinished file dropped, so a stalled peer cannot hold the queue.
        int idleMs = 60000;
        // Connections served at once; more are closed at once (senders retry).
        int maxSessions = 8;
    };
    struct Events
    {
        std::function<void(const std::string &text)> status;
        std::function<void(const std::string &name)> received; // a file took its name
        std::function<void()> sessionsChanged;                 // a connection came or went
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
    // Connections open now.
    int sessions() const { return static_cast<int>(m_sessions.size()); }
    // Connections in the middle of a file; while any is, the console's main
    // tick waits. A connection that is open but sends no file holds nothing,
    // so an idle or hostile peer cannot stop the printing.
    int filesArriving() const;
    int filesReceived() const { return m_received; }

private:
    class Session;
    void accept();
    void finished(Session *session);

    std::string m_folder;
    Events m_events;
    Options m_options;
    QTcpServer *m_server;
    std::vector<std::unique_ptr<Session>> m_sessions;
    int m_received = 0;
};

} // namespace kel
