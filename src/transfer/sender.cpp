#include "transfer/sender.h"

namespace kel {

std::string linkStateText(LinkState state, int countdown, const std::string &host,
                          const std::string &file)
{
    switch (state) {
    case LinkState::Closed:
        return "No connection";
    case LinkState::Open:
        return "Connection opened";
    case LinkState::Listening:
        return "Listening...";
    case LinkState::Pending:
        return "Pending conection...";
    case LinkState::Resolving:
    case LinkState::Connecting:
        return "Connecting..." + std::to_string(countdown) + " secs. remaining.";
    case LinkState::Resolved:
        return "Connection Solved";
    case LinkState::Connected:
        return "Connected to " + host + " " + file;
    case LinkState::Closing:
        return "Closing connection.";
    case LinkState::Error:
        return "Connection error. Remote server down?";
    }
    return "Connection error." + std::to_string(static_cast<int>(state));
}

Sender::Sender(SenderLink &link, Events events) : m_link(link), m_events(std::move(events)) {}

void Sender::status(const std::string &text)
{
    if (m_events.status)
        m_events.status(text);
}

void Sender::send(SendJob job)
{
    m_jobs.push_back(std::move(job));
    if (m_phase == Phase::Idle && !m_finishing) {
        m_index = 0;
        m_skipped.clear();
        startItem();
    }
}

// The next file of the job, or the end of the job. Files that cannot be read
// are passed over when optional (a picture the report names but that is not
// there) and end the job otherwise.
void Sender::startItem()
{
    const SendJob &job = m_jobs.front();
    while (m_index < job.items.size()) {
        m_file.close();
        m_file.clear();
        m_file.open(item().path, std::ios::binary);
        if (m_file.is_open())
            break;
        if (!item().optional) {
            finishJob(SendOutcome::NotSent, "cannot read " + item().path);
            return;
        }
        status("File not found: " + item().path);
        m_skipped += (m_skipped.empty() ? "" : ", ") + item().path;
        ++m_index;
    }
    if (m_index >= job.items.size()) {
        finishJob(SendOutcome::Delivered,
                  m_skipped.empty() ? std::string() : "passed over: " + m_skipped);
        return;
    }
    m_countdown = kCountdown;
    connect();
}

void Sender::connect()
{
    const SendJob &job = m_jobs.front();
    status("Trying " + job.destinationText + "..." + std::to_string(m_countdown) +
           " secs remaining.");
    m_inbox.clear();
    m_file.clear();
    m_file.seekg(0);
    m_phase = Phase::Connecting;
    m_linkState = LinkState::Connecting;
    m_link.open(job.destination.host, job.destination.port);
}

void Sender::tick()
{
    if (m_phase == Phase::Idle)
        return;
    --m_countdown;
    const SendJob &job = m_jobs.front();
    status(linkStateText(m_linkState, m_countdown, job.destinationText, item().path));
    if (m_countdown < 1) {
        m_link.close();
        m_linkState = LinkState::Closed;
        status("Aborting connection...");
        finishJob(SendOutcome::NotSent, "no answer from " + job.destinationText + " within " +
                                            std::to_string(kCountdown) + " seconds");
        return;
    }
    // A connection still being made is left to finish; one that failed or
    // was lost is tried again.
    if (m_phase == Phase::Waiting)
        connect();
}

void Sender::onLinkState(LinkState state)
{
    if (m_phase == Phase::Idle)
        return;
    m_linkState = state;
    if (state == LinkState::Connected && m_phase == Phase::Connecting) {
        m_phase = Phase::AwaitAck;
        m_link.send(std::string(wire::kReceiveFile) + "=" + item().announced);
        status("Sending data..");
    }
}

// The receiver's bytes as a stream: "." once after accepting, then one "OK"
// per message, possibly joined ("..OK") or split ("O", "K") by the network.
// Anything that is not part of an "OK" is passed over.
void Sender::onData(std::string_view bytes)
{
    if (m_phase != Phase::AwaitAck && m_phase != Phase::AwaitEndAck)
        return;
    m_inbox += bytes;
    size_t pos = 0;
    while (pos < m_inbox.size()) {
        if (m_inbox[pos] != 'O') {
            ++pos;
            continue;
        }
        if (pos + 1 >= m_inbox.size())
            break; // an "O" whose "K" is still on its way
        if (m_inbox[pos + 1] != 'K') {
            ++pos;
            continue;
        }
        pos += 2;
        m_inbox.erase(0, pos);
        pos = 0;
        acknowledged();
        if (m_phase != Phase::AwaitAck && m_phase != Phase::AwaitEndAck) {
            m_inbox.clear();
            return;
        }
    }
    m_inbox.erase(0, pos);
}

void Sender::onClosed(LinkState state)
{
    if (m_phase == Phase::Idle || m_phase == Phase::Waiting)
        return;
    // The file starts again from its beginning on the next tick's connection.
    m_linkState = state;
    m_phase = Phase::Waiting;
}

void Sender::acknowledged()
{
    m_countdown = kCountdown;
    if (m_phase == Phase::AwaitEndAck)
        itemDone();
    else
        sendNextBlock();
}

void Sender::sendNextBlock()
{
    m_block.resize(wire::kBlockSize);
    m_file.read(m_block.data(), static_cast<std::streamsize>(m_block.size()));
    const auto got = m_file.gcount();
    if (got > 0) {
        m_block.resize(static_cast<size_t>(got));
        m_link.send(m_block);
        m_phase = Phase::AwaitAck;
        return;
    }
    if (m_file.bad()) {
        m_link.close();
        finishJob(SendOutcome::NotSent, "cannot read " + item().path);
        return;
    }
    m_link.send(wire::kEndOfFile);
    m_phase = Phase::AwaitEndAck;
}

void Sender::itemDone()
{
    m_link.close();
    m_linkState = LinkState::Closed;
    m_file.close();
    ++m_index;
    startItem();
}

void Sender::finishJob(SendOutcome outcome, const std::string &detail)
{
    m_file.close();
    m_phase = Phase::Idle;
    SendJob job = std::move(m_jobs.front());
    m_jobs.pop_front();
    // The callback may queue another job; it starts once this one is out.
    m_finishing = true;
    if (m_events.finished)
        m_events.finished(job, outcome, detail);
    m_finishing = false;
    if (!m_jobs.empty() && m_phase == Phase::Idle) {
        m_index = 0;
        m_skipped.clear();
        startItem();
    }
}

} // namespace kel
