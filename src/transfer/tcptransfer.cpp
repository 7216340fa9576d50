#include "transfer/tcptransfer.h"

#include "transfer/transfermessages.h"
#include "transfer/workfiles.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <chrono>

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

namespace {
// What a socket may hold that the session has not taken: two blocks. A
// stop-and-wait sender never has more than one message in flight, and the
// kernel's window holds back a peer that sends more.
constexpr qint64 kSocketBuffer = 2 * qint64(wire::kBlockSize);

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

class TcpReceiver::Session : public QObject
{
public:
    Session(TcpReceiver &owner, QTcpSocket *socket, std::string address)
        : m_owner(owner), m_socket(socket), m_address(std::move(address)), m_files(owner.m_folder),
          m_session(m_files,
                    {owner.m_events.status,
                     [this](const std::string &name) {
                         ++m_owner.m_received;
                         if (m_owner.m_events.received)
                             m_owner.m_events.received(name);
                     },
                     [this](int message, const std::string &detail) {
                         m_owner.refused(message, m_address, detail + " from " + m_address);
                     }},
                    owner.m_options.policy)
    {
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_quiet.setSingleShot(true);
        m_idle.setSingleShot(true);
        connect(&m_quiet, &QTimer::timeout, this, [this] {
            reply(m_session.onQuiet());
            read(); // what the socket held back meanwhile
        });
        connect(&m_idle, &QTimer::timeout, this, [this] {
            status("Connection closed: nothing arrived for " +
                   std::to_string(m_owner.m_options.idleMs / 1000) + " seconds.");
            m_socket->abort();
            end();
        });
        connect(&m_rate, &QTimer::timeout, this, [this] {
            if (m_windowBytes < m_owner.m_options.minBytesPerWindow) {
                m_owner.refused(
                    transfermsg::kTooSlow, m_address,
                    (m_session.receiving() ? m_session.fileName() + " " : std::string()) + "from " +
                        m_address);
                m_socket->abort();
                end();
                return;
            }
            m_windowBytes = 0;
        });
        connect(socket, &QIODevice::readyRead, this, [this] { read(); });
        connect(socket, &QAbstractSocket::disconnected, this, [this] {
            read();
            status("Connection closed.");
            end();
        });
        status("Connecting...");
        status("Connection accepted from " + m_address);
        m_idle.start(m_owner.m_options.idleMs);
        m_rate.start(m_owner.m_options.rateWindowMs);
        write(m_session.greeting());
        // Bytes that came while the connection waited for its slot.
        QTimer::singleShot(0, this, [this] { read(); });
    }

    bool receiving() const { return m_session.receiving(); }
    const std::string &address() const { return m_address; }

    // Closes the connection at once; its unfinished file is dropped.
    void drop()
    {
        m_socket->abort();
        end();
    }

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

    // Reads no more than the session has room for; the rest stays in the
    // socket (and the kernel) until the session has taken what it holds.
    void read()
    {
        bool arrived = false;
        while (!m_ended && !m_session.wantsClose() && m_socket->bytesAvailable() > 0) {
            const QByteArray bytes = m_socket->read(static_cast<qint64>(m_session.room()));
            if (bytes.isEmpty())
                break;
            arrived = true;
            m_windowBytes += bytes.size();
            reply(m_session.onData(std::string_view(bytes.constData(), size_t(bytes.size()))));
        }
        if (m_ended || !arrived)
            return;
        m_idle.start(m_owner.m_options.idleMs);
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
        m_rate.stop();
        m_session.onClosed();
        m_owner.finished(this);
    }

    TcpReceiver &m_owner;
    QTcpSocket *m_socket;
    std::string m_address;
    QueueFolderFiles m_files;
    ReceiverSession m_session;
    QTimer m_quiet;
    QTimer m_idle;
    QTimer m_rate;
    int64_t m_windowBytes = 0;
    bool m_ended = false;
};

TcpReceiver::TcpReceiver(std::string queueFolder, Events events, Options options, QObject *parent)
    : QObject(parent), m_folder(std::move(queueFolder)), m_events(std::move(events)),
      m_options(std::move(options)), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    m_waitCheck.setInterval(1000);
    connect(&m_waitCheck, &QTimer::timeout, this, [this] { checkWaiting(); });
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
    const bool had = !m_sessions.empty() || !m_waiting.empty();
    for (const Waiting &w : m_waiting) {
        w.socket->abort();
        w.socket->deleteLater();
    }
    m_waiting.clear();
    m_waitCheck.stop();
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

QHostAddress TcpReceiver::address() const
{
    return m_server->serverAddress();
}

int TcpReceiver::filesArriving() const
{
    return static_cast<int>(std::count_if(m_sessions.begin(), m_sessions.end(),
                                          [](const auto &s) { return s->receiving(); }));
}

int TcpReceiver::sessionsFrom(const std::string &address) const
{
    return static_cast<int>(std::count_if(m_sessions.begin(), m_sessions.end(),
                                          [&](const auto &s) { return s->address() == address; }));
}

void TcpReceiver::refused(int message, const std::string &address, const std::string &detail)
{
    if (m_said.emplace(message, address).second && m_events.refused)
        m_events.refused(message, detail);
}

void TcpReceiver::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const std::string address = addressText(socket->peerAddress());
        // Closed before the greeting: a peer that is not allowed learns
        // nothing of the receiver.
        if (!m_options.allow.allows(socket->peerAddress())) {
            refused(transfermsg::kAddressNotAllowed, address, address);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(kSocketBuffer);
        admit(socket, address);
    }
}

// A connection starts at once while a slot is free, unless it would take a
// second slot for its address while another waits. A new address finds a
// slot even when all are taken: the address holding the most slots, when it
// holds more than one, gives up its youngest connection (its sender tries
// again later).
void TcpReceiver::admit(QTcpSocket *socket, const std::string &address)
{
    const bool full = static_cast<int>(m_sessions.size()) >= m_options.maxSessions;
    if (!full && (sessionsFrom(address) == 0 || m_waiting.empty())) {
        startSession(socket, address);
        return;
    }
    if (static_cast<int>(m_waiting.size()) >= m_options.maxSessions) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_waiting.push_back({socket, address, nowMs()});
    if (!m_waitCheck.isActive())
        m_waitCheck.start();
    if (Session *youngest = full && sessionsFrom(address) == 0 ? youngestOfBusiest() : nullptr) {
        refused(transfermsg::kSlotTaken, youngest->address(), youngest->address());
        youngest->drop(); // finished() serves the waiting, this one first
        return;
    }
    refused(transfermsg::kWaitingForSlot, address, address);
}

// The youngest connection of the address holding the most slots, when it
// holds more than one.
TcpReceiver::Session *TcpReceiver::youngestOfBusiest() const
{
    std::string busiest;
    int most = 1;
    for (const auto &s : m_sessions) {
        if (const int n = sessionsFrom(s->address()); n > most) {
            most = n;
            busiest = s->address();
        }
    }
    Session *youngest = nullptr;
    for (const auto &s : m_sessions) {
        if (!busiest.empty() && s->address() == busiest)
            youngest = s.get();
    }
    return youngest;
}

void TcpReceiver::startSession(QTcpSocket *socket, const std::string &address)
{
    m_sessions.push_back(std::make_unique<Session>(*this, socket, address));
    if (m_events.sessionsChanged)
        m_events.sessionsChanged();
}

// Free slots go first to a waiting address that holds none.
void TcpReceiver::serveWaiting()
{
    while (!m_waiting.empty() && static_cast<int>(m_sessions.size()) < m_options.maxSessions) {
        auto pick = std::find_if(m_waiting.begin(), m_waiting.end(),
                                 [&](const Waiting &w) { return sessionsFrom(w.address) == 0; });
        if (pick == m_waiting.end())
            pick = m_waiting.begin();
        const Waiting w = *pick;
        m_waiting.erase(pick);
        startSession(w.socket, w.address);
    }
    if (m_waiting.empty())
        m_waitCheck.stop();
}

// A waiting connection that its peer closed, or that waited longer than a
// connection may stay idle, is closed.
void TcpReceiver::checkWaiting()
{
    const qint64 now = nowMs();
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (it->socket->state() != QAbstractSocket::ConnectedState ||
            now - it->sinceMs >= m_options.idleMs) {
            it->socket->abort();
            it->socket->deleteLater();
            it = m_waiting.erase(it);
        } else {
            ++it;
        }
    }
    if (m_waiting.empty())
        m_waitCheck.stop();
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
    serveWaiting();
    if (m_events.sessionsChanged)
        m_events.sessionsChanged();
}

} // namespace kel
