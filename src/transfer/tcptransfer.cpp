#include "transfer/tcptransfer.h"

#include "transfer/workfiles.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

namespace kel {
namespace {

LinkState linkState(QAbstractSocket::SocketState state)
{
    switch (state) {
    case QAbstractSocket::UnconnectedState:
        return LinkState::Closed;
    case QAbstractSocket::HostLookupState:
        return LinkState::Resolving;
    case QAbstractSocket::ConnectingState:
        return LinkState::Connecting;
    case QAbstractSocket::ConnectedState:
        return LinkState::Connected;
    case QAbstractSocket::BoundState:
        return LinkState::Open;
    case QAbstractSocket::ListeningState:
        return LinkState::Listening;
    case QAbstractSocket::ClosingState:
        return LinkState::Closing;
    }
    return LinkState::Error;
}

std::string addressText(const QHostAddress &address)
{
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return (v4 ? QHostAddress(ip) : address).toString().toStdString();
}

} // namespace

// ---- TcpSenderLink ----

TcpSenderLink::TcpSenderLink(QObject *parent) : QObject(parent) {}

TcpSenderLink::~TcpSenderLink()
{
    drop();
}

void TcpSenderLink::drop()
{
    if (!m_socket)
        return;
    // The socket may be the one whose signal is running now: it is cut off
    // from the sender at once and deleted once the event loop is back.
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    QObject::disconnect(socket, nullptr, this, nullptr);
    socket->close();
    socket->deleteLater();
}

void TcpSenderLink::open(const std::string &host, uint16_t port)
{
    drop();
    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    connect(socket, &QAbstractSocket::stateChanged, this,
            [this, socket](QAbstractSocket::SocketState state) {
                if (socket != m_socket || state == QAbstractSocket::UnconnectedState)
                    return;
                if (state == QAbstractSocket::ConnectedState)
                    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                m_sender->onLinkState(linkState(state));
            });
    connect(socket, &QIODevice::readyRead, this, [this, socket] {
        if (socket == m_socket) {
            const QByteArray bytes = socket->readAll();
            m_sender->onData(std::string_view(bytes.constData(), size_t(bytes.size())));
        }
    });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket] {
        if (socket == m_socket)
            m_sender->onClosed(LinkState::Error);
    });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
        if (socket == m_socket)
            m_sender->onClosed(LinkState::Closed);
    });
    socket->connectToHost(QString::fromStdString(host), port);
}

void TcpSenderLink::send(std::string_view message)
{
    if (!m_socket)
        return;
    m_socket->write(message.data(), static_cast<qint64>(message.size()));
    m_socket->flush();
}

void TcpSenderLink::close()
{
    drop();
}

// ---- TcpSender ----

TcpSender::TcpSender(Sender::Events events, QObject *parent)
    : QObject(parent), m_link(this), m_sender(m_link, std::move(events))
{
    m_link.setSender(&m_sender);
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        m_sender.tick();
        if (!m_sender.busy())
            m_tick.stop();
    });
}

void TcpSender::send(SendJob job)
{
    m_sender.send(std::move(job));
    if (m_sender.busy() && !m_tick.isActive())
        m_tick.start();
}

// ---- TcpReceiver ----

class TcpReceiver::Session : public QObject
{
public:
    Session(TcpReceiver &owner, QTcpSocket *socket)
        : m_owner(owner), m_socket(socket), m_files(owner.m_folder),
          m_session(m_files, {owner.m_events.status, [this](const std::string &name) {
                                  ++m_owner.m_received;
                                  if (m_owner.m_events.received)
                                      m_owner.m_events.received(name);
                              }})
    {
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_quiet.setSingleShot(true);
        m_idle.setSingleShot(true);
        connect(&m_quiet, &QTimer::timeout, this, [this] { reply(m_session.onQuiet()); });
        connect(&m_idle, &QTimer::timeout, this, [this] {
            status("Connection closed: nothing arrived for " +
                   std::to_string(m_owner.m_options.idleMs / 1000) + " seconds.");
            m_socket->abort();
            end();
        });
        connect(socket, &QIODevice::readyRead, this, [this] { read(); });
        connect(socket, &QAbstractSocket::disconnected, this, [this] {
            read();
            status("Connection closed.");
            end();
        });
        status("Connecting...");
        status("Connection accepted from " + addressText(socket->peerAddress()));
        m_idle.start(m_owner.m_options.idleMs);
        write(m_session.greeting());
    }

    bool receiving() const { return m_session.receiving(); }

private:
    void status(const std::string &text)
    {
        if (m_owner.m_events.status)
            m_owner.m_events.status(text);
    }

    void write(const std::string &bytes)
    {
        if (!bytes.empty()) {
            m_socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
            m_socket->flush();
        }
    }

    void read()
    {
        if (m_ended || m_socket->bytesAvailable() <= 0)
            return;
        const QByteArray bytes = m_socket->readAll();
        m_idle.start(m_owner.m_options.idleMs);
        reply(m_session.onData(std::string_view(bytes.constData(), size_t(bytes.size()))));
        if (m_session.hasPending())
            m_quiet.start(m_owner.m_options.quietMs);
        else
            m_quiet.stop();
    }

    void reply(const std::string &bytes)
    {
        if (m_ended)
            return;
        write(bytes);
        if (m_session.wantsClose())
            m_socket->disconnectFromHost();
    }

    // Once per connection: what has arrived is taken as the last message, an
    // unfinished file is dropped, and the receiver forgets the session.
    void end()
    {
        if (m_ended)
            return;
        m_ended = true;
        m_quiet.stop();
        m_idle.stop();
        m_session.onClosed();
        m_owner.finished(this);
    }

    TcpReceiver &m_owner;
    QTcpSocket *m_socket;
    QueueFolderFiles m_files;
    ReceiverSession m_session;
    QTimer m_quiet;
    QTimer m_idle;
    bool m_ended = false;
};

TcpReceiver::TcpReceiver(std::string queueFolder, Events events, Options options, QObject *parent)
    : QObject(parent), m_folder(std::move(queueFolder)), m_events(std::move(events)),
      m_options(options), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
}

TcpReceiver::~TcpReceiver()
{
    // The owner is going too: it hears nothing more.
    m_events = {};
    stop();
}

bool TcpReceiver::listen(uint16_t port, const QHostAddress &address, std::string &error)
{
    stop();
    removeWorkingFiles(m_folder);
    if (!m_server->listen(address, port)) {
        error = "cannot listen on port " + std::to_string(port) + ": " +
                m_server->errorString().toStdString();
        return false;
    }
    return true;
}

void TcpReceiver::stop()
{
    m_server->close();
    const bool had = !m_sessions.empty();
    // Destroying a session drops its unfinished file.
    m_sessions.clear();
    if (had && m_events.sessionsChanged)
        m_events.sessionsChanged();
}

bool TcpReceiver::listening() const
{
    return m_server->isListening();
}

uint16_t TcpReceiver::port() const
{
    return m_server->serverPort();
}

int TcpReceiver::filesArriving() const
{
    return static_cast<int>(std::count_if(m_sessions.begin(), m_sessions.end(),
                                          [](const auto &s) { return s->receiving(); }));
}

void TcpReceiver::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (static_cast<int>(m_sessions.size()) >= m_options.maxSessions) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_sessions.push_back(std::make_unique<Session>(*this, socket));
        if (m_events.sessionsChanged)
            m_events.sessionsChanged();
    }
}

void TcpReceiver::finished(Session *session)
{
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it) {
        if (it->get() == session) {
            // The session's own signal is running: it goes once the event
            // loop is back.
            it->release()->deleteLater();
            m_sessions.erase(it);
            break;
        }
    }
    if (m_events.sessionsChanged)
        m_events.sessionsChanged();
}

} // namespace kel
