// The sender driven by hand: its link is a loop into a real ReceiverSession
// kept in memory, and time passes by calling tick().
#include "support/testenv.h"
#include "transfer/receiver.h"
#include "transfer/sender.h"

#include <deque>
#include <gtest/gtest.h>
#include <memory>

using namespace kel;

namespace {

enum class Peer { Answers, Refuses, NeverConnects, Silent };
enum class Acks { AsSent, GreetingJoined, ByteByByte };

class LoopLink : public SenderLink
{
public:
    Peer peer = Peer::Answers;
    Acks acks = Acks::AsSent;
    int dropAfterMessages = -1; // the connection is lost after this many messages, once
    bool holdReplies = false;   // replies wait in `held` until released

    std::vector<std::string> sent;
    std::string held;
    int opens = 0;
    MemoryFiles files;

    void open(const std::string &, uint16_t) override
    {
        ++opens;
        sent.clear();
        dropSession();
        m_events.clear();
        if (peer == Peer::Refuses) {
            m_events.push_back({Kind::Closed, {}});
            return;
        }
        if (peer == Peer::NeverConnects)
            return;
        m_session = std::make_unique<ReceiverSession>(files);
        m_events.push_back({Kind::Connected, {}});
        m_greeting = m_session->greeting();
        if (acks != Acks::GreetingJoined)
            reply(m_greeting);
    }
    void send(std::string_view message) override
    {
        sent.emplace_back(message);
        if (!m_session || peer == Peer::Silent)
            return;
        if (dropAfterMessages >= 0 && static_cast<int>(sent.size()) > dropAfterMessages) {
            dropAfterMessages = -1;
            dropSession();
            m_events.push_back({Kind::Closed, {}});
            return;
        }
        std::string r = m_session->onData(message);
        r += m_session->onQuiet();
        if (acks == Acks::GreetingJoined) {
            r = m_greeting + r;
            m_greeting.clear();
        }
        if (holdReplies)
            held += r;
        else
            reply(r);
    }
    void close() override
    {
        dropSession();
        m_events.clear();
    }

    void release()
    {
        reply(held);
        held.clear();
    }
    // Delivers what the receiver said, in order, until nothing is left.
    void pump(Sender &sender)
    {
        while (!m_events.empty()) {
            const Event e = m_events.front();
            m_events.pop_front();
            if (e.kind == Kind::Connected)
                sender.onLinkState(LinkState::Connected);
            else if (e.kind == Kind::Closed)
                sender.onClosed(LinkState::Error);
            else
                sender.onData(e.bytes);
        }
    }

private:
    enum class Kind { Connected, Data, Closed };
    struct Event
    {
        Kind kind;
        std::string bytes;
    };

    void reply(const std::string &bytes)
    {
        if (bytes.empty())
            return;
        if (acks == Acks::ByteByByte) {
            for (char c : bytes)
                m_events.push_back({Kind::Data, std::string(1, c)});
        } else {
            m_events.push_back({Kind::Data, bytes});
        }
    }
    void dropSession()
    {
        if (m_session)
            m_session->onClosed();
        m_session.reset();
    }

    std::unique_ptr<ReceiverSession> m_session;
    std::deque<Event> m_events;
    std::string m_greeting;
};

struct Drive
{
    LoopLink link;
    std::vector<std::string> statuses;
    std::vector<std::pair<SendOutcome, std::string>> ended;
    Sender sender{link,
                  {[this](const std::string &t) { statuses.push_back(t); },
                   [this](const SendJob &, SendOutcome o, const std::string &d) {
                       ended.emplace_back(o, d);
                   }}};

    void send(std::vector<SendItem> items)
    {
        SendJob job;
        job.items = std::move(items);
        job.destination = {"127.0.0.1", 5001};
        job.destinationText = "127.0.0.1:5001";
        sender.send(std::move(job));
        link.pump(sender);
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i) {
            sender.tick();
            link.pump(sender);
        }
    }
    bool said(const std::string &text) const
    {
        return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
    }
};

std::string content(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 7 % 256);
    return s;
}

} // namespace

TEST(Sender, SendsEachFileOnItsOwnConnectionByteForByte)
{
    test::TempDir dir;
    const std::string report = content(1900);
    const std::string picture = content(900);
    dir.write("a.kel", report);
    dir.write("p.png", picture);
    struct Row
    {
        const char *name;
        Acks acks;
    };
    const Row rows[] = {
        {"one answer per read", Acks::AsSent},
        {"greeting joined to the first OK", Acks::GreetingJoined},
        {"answers split byte by byte", Acks::ByteByByte},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Drive run;
        run.link.acks = row.acks;
        run.send({{dir.file("p.png"), "C:\\q\\p.png", true}, {dir.file("a.kel"), "C:\\q\\a.kel"}});
        ASSERT_EQ(run.ended.size(), 1u);
        EXPECT_EQ(run.ended[0].first, SendOutcome::Delivered);
        EXPECT_EQ(run.link.opens, 2);
        // The last connection's messages, exactly.
        const std::vector<std::string> expected = {".RECEIVE_FILE=C:\\q\\a.kel",
                                                   report.substr(0, 900), report.substr(900, 900),
                                                   report.substr(1800), ".END_OF_FILE"};
        EXPECT_EQ(run.link.sent, expected);
        EXPECT_EQ(run.link.files.files().at("a.kel"), report);
        EXPECT_EQ(run.link.files.files().at("p.png"), picture);
        EXPECT_FALSE(run.sender.busy());
        EXPECT_TRUE(run.said("Sending data.."));
    }
}

TEST(Sender, GivesUpAfterTwentySecondsWithoutProgress)
{
    test::TempDir dir;
    dir.write("a.kel", content(3000));
    struct Row
    {
        const char *name;
        Peer peer;
        int opensAtEnd;
        const char *shown;
    };
    const Row rows[] = {
        {"destination refuses: retried every second", Peer::Refuses, 20,
         "Connection error. Remote server down?"},
        {"connection never made: left to finish", Peer::NeverConnects, 1,
         "Connecting...1 secs. remaining."},
        {"connected, no answer", Peer::Silent, 1, "Connected to 127.0.0.1:5001 "},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Drive run;
        run.link.peer = row.peer;
        run.send({{dir.file("a.kel"), "a.kel"}});
        EXPECT_TRUE(run.said("Trying 127.0.0.1:5001...20 secs remaining."));
        run.ticks(19);
        EXPECT_TRUE(run.sender.busy());
        EXPECT_TRUE(run.ended.empty());
        EXPECT_EQ(run.sender.countdown(), 1);
        run.ticks(1);
        ASSERT_EQ(run.ended.size(), 1u);
        EXPECT_EQ(run.ended[0].first, SendOutcome::NotSent);
        EXPECT_EQ(run.link.opens, row.opensAtEnd);
        EXPECT_EQ(run.statuses.back(), "Aborting connection...");
        const std::string shown = row.shown;
        EXPECT_TRUE(std::any_of(run.statuses.begin(), run.statuses.end(),
                                [&](const std::string &s) { return s.rfind(shown, 0) == 0; }))
            << shown;
        EXPECT_FALSE(run.sender.busy());
    }
}

TEST(Sender, EveryAnswerRestartsTheCountdown)
{
    test::TempDir dir;
    const std::string report = content(2000);
    dir.write("a.kel", report);
    Drive run;
    run.link.holdReplies = true;
    run.send({{dir.file("a.kel"), "a.kel"}});
    // A slow receiver: each answer comes 15 seconds after the message.
    for (int answers = 0; answers < 5 && run.ended.empty(); ++answers) {
        run.ticks(15);
        run.link.release();
        run.link.pump(run.sender);
    }
    ASSERT_EQ(run.ended.size(), 1u);
    EXPECT_EQ(run.ended[0].first, SendOutcome::Delivered);
    EXPECT_EQ(run.link.files.files().at("a.kel"), report);
}

TEST(Sender, ConnectionLostMidFileSendsTheFileAgain)
{
    test::TempDir dir;
    const std::string report = content(2500);
    dir.write("a.kel", report);
    Drive run;
    run.link.dropAfterMessages = 2; // the file command and one block get through
    run.send({{dir.file("a.kel"), "a.kel"}});
    EXPECT_TRUE(run.ended.empty());
    EXPECT_TRUE(run.link.files.files().empty());
    run.ticks(1);
    ASSERT_EQ(run.ended.size(), 1u);
    EXPECT_EQ(run.ended[0].first, SendOutcome::Delivered);
    EXPECT_EQ(run.link.opens, 2);
    EXPECT_EQ(run.link.files.files().at("a.kel"), report);
}

TEST(Sender, MissingFiles)
{
    test::TempDir dir;
    dir.write("a.kel", "report");
    {
        SCOPED_TRACE("a missing picture is passed over");
        Drive run;
        run.send({{dir.file("gone.png"), "gone.png", true}, {dir.file("a.kel"), "a.kel"}});
        ASSERT_EQ(run.ended.size(), 1u);
        EXPECT_EQ(run.ended[0].first, SendOutcome::Delivered);
        EXPECT_NE(run.ended[0].second.find("gone.png"), std::string::npos);
        EXPECT_EQ(run.link.opens, 1);
    }
    {
        SCOPED_TRACE("a missing report ends the job");
        Drive run;
        run.send({{dir.file("gone.kel"), "gone.kel"}});
        ASSERT_EQ(run.ended.size(), 1u);
        EXPECT_EQ(run.ended[0].first, SendOutcome::NotSent);
        EXPECT_EQ(run.link.opens, 0);
    }
}

TEST(Sender, StatusTextsOfTheConnectionStates)
{
    struct Row
    {
        LinkState state;
        const char *text;
    };
    const Row rows[] = {
        {LinkState::Closed, "No connection"},
        {LinkState::Open, "Connection opened"},
        {LinkState::Listening, "Listening..."},
        {LinkState::Pending, "Pending conection..."},
        {LinkState::Resolving, "Connecting...12 secs. remaining."},
        {LinkState::Resolved, "Connection Solved"},
        {LinkState::Connecting, "Connecting...12 secs. remaining."},
        {LinkState::Connected, "Connected to office2 /q/a.kel"},
        {LinkState::Closing, "Closing connection."},
        {LinkState::Error, "Connection error. Remote server down?"},
        {static_cast<LinkState>(11), "Connection error.11"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(linkStateText(row.state, 12, "office2", "/q/a.kel"), row.text);
    }
}
