// The sending end of the TCP transfer, as a plain object driven by calls.
//
// A job is a list of files for one destination, sent one file per
// connection in list order. The socket glue (TcpSenderLink) carries out what
// the sender asks of its SenderLink and reports back through onLinkState(),
// onData() and onClosed(); a one-second timer calls tick(). Tests drive all
// of these by hand, so the 20-second countdown needs no waiting.
//
// Per file: connect; send ".RECEIVE_FILE=" and the announced path; on every
// "OK" send the next block of at most 900 bytes, or ".END_OF_FILE" when the
// file is at its end; on the "OK" to that, close and take the next file.
// Every message goes out with one write.
//
// The countdown starts at 20 for every file, falls by one per tick and is
// set back to 20 by every "OK", so it measures time without progress. While
// not connected, every tick retries a connection that has failed; a
// connection lost mid-file sends that file again from its start on a new
// connection. When the countdown falls below 1 before the file is through,
// the job is given up.
#pragma once

#include "transfer/protocol.h"

#include <deque>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

// Connection states, numbered as the console's status texts know them.
enum class LinkState {
    Closed = 0,
    Open = 1,
    Listening = 2,
    Pending = 3,
    Resolving = 4,
    Resolved = 5,
    Connecting = 6,
    Connected = 7,
    Closing = 8,
    Error = 9
};

// What the sender asks of its connection.
class SenderLink
{
public:
    virtual ~SenderLink() = default;
    // Drops any connection it has and starts one; its progress comes back
    // through Sender::onLinkState, onData and onClosed.
    virtual void open(const std::string &host, uint16_t port) = 0;
    // One message, in one write.
    virtual void send(std::string_view message) = 0;
    // Drops the connection; no events follow for it.
    virtual void close() = 0;
};

struct SendItem
{
    std::string path;      // the file read
    std::string announced; // sent after ".RECEIVE_FILE="; its last part names the file there
    bool optional = false; // a file that cannot be read is passed over instead of failing the job
};

struct SendJob
{
    std::vector<SendItem> items;
    wire::Destination destination;
    std::string destinationText; // as written (SEND_TO), for the status texts
    int id = 0;                  // the caller's, handed back when the job ends
};

enum class SendOutcome { Delivered, NotSent };

// The status text of a connection state, as the console shows it every
// second while it sends.
std::string linkStateText(LinkState state, int countdown, const std::string &host,
                          const std::string &file);

class Sender
{
public:
    static constexpr int kCountdown = 20; // seconds

    struct Events
    {
        std::function<void(const std::string &text)> status;
        // `detail` says why a job was not sent, or which optional files
        // were passed over.
        std::function<void(const SendJob &job, SendOutcome outcome, const std::string &detail)>
            finished;
    };

    Sender(SenderLink &link, Events events);

    // Queues a job; it starts at once when the sender is idle.
    void send(SendJob job);
    // A job is being sent or waits.
    bool busy() const { return !m_jobs.empty(); }
    int countdown() const { return m_countdown; }
    LinkState linkState() const { return m_linkState; }

    // Once a second while busy.
    void tick();
    void onLinkState(LinkState state);
    void onData(std::string_view bytes);
    // The connection ended or could not be made (`state` Closed or Error).
    void onClosed(LinkState state);

private:
    enum class Phase { Idle, Waiting, Connecting, AwaitAck, AwaitEndAck };

    void startItem();
    void connect();
    void acknowledged();
    void sendNextBlock();
    void itemDone();
    void finishJob(SendOutcome outcome, const std::string &detail);
    void status(const std::string &text);
    const SendItem &item() const { return m_jobs.front().items[m_index]; }

    SenderLink &m_link;
    Events m_events;
    std::deque<SendJob> m_jobs;
    size_t m_index = 0;
    Phase m_phase = Phase::Idle;
    LinkState m_linkState = LinkState::Closed;
    int m_countdown = kCountdown;
    std::ifstream m_file;
    std::string m_inbox;
    std::string m_block;
    std::string m_skipped;
    bool m_finishing = false;
};

} // namespace kel
