#include "support/testenv.h"
#include "transfer/allowlist.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"
#include "transfer/tcptransfer.h"
#include "transfer/workfiles.h"
#include "transfertest.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using kel::test::entries;

namespace {

// What arrives on a connection: bytes, or a quiet moment ("" as a marker).
constexpr std::string_view kQuiet = "";
constexpr int kReceiverQuietMs = TcpReceiver::kQuietMs;

std::string bytesOf(size_t n, char first = 'a')
{
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(first + i % 26);
    return s;
}

struct Outcome
{
    std::string replies;
    bool closeWanted = false;
};

Outcome feed(ReceiverSession &session, const std::vector<std::string> &arrivals, bool closeAtEnd)
{
    Outcome out{session.greeting()};
    for (const std::string &a : arrivals)
        out.replies += a.empty() ? session.onQuiet() : session.onData(a);
    out.closeWanted = session.wantsClose();
    if (closeAtEnd)
        session.onClosed();
    return out;
}

} // namespace

TEST(ReceiverSession, FramesMessagesHoweverTheyArrive)
{
    const std::string block = bytesOf(900);
    const std::string rest = bytesOf(250, 'A');
    const std::string file = block + rest;
    const std::string start = ".RECEIVE_FILE=C:\\queue\\a.kel";
    const std::string end(wire::kEndOfFile);
    // A full block whose first bytes read like a command.
    const std::string trick = std::string(wire::kEndOfFile) + bytesOf(900 - end.size());

    struct Row
    {
        const char *name;
        std::vector<std::string> arrivals;
        std::string file;
        std::string replies;
        bool closeAtEnd = false;
    };
    const std::string s(kQuiet);
    const Row rows[] = {
        {"one message per read", {start, s, block, rest, s, end, s}, file, ".OKOKOKOK"},
        {"a block split by the network",
         {start, s, block.substr(0, 300), block.substr(300), rest.substr(0, 7), rest.substr(7), s,
          end, s},
         file,
         ".OKOKOKOK"},
        {"the file command split",
         {start.substr(0, 5), start.substr(5), s, block, end, s},
         block,
         ".OKOKOK"},
        {"a sender that closes right after the end",
         {start, s, rest, s, end},
         rest,
         ".OKOKOK",
         true},
        {"a full block beginning with .END_OF_FILE is data",
         {start, s, trick, end, s},
         trick,
         ".OKOKOK"},
        {"a short block beginning with an unknown command is data",
         {start, s, ".SOMETHING=else", s, end, s},
         ".SOMETHING=else",
         ".OKOKOK"},
        {"an empty file", {start, s, end, s}, "", ".OKOK"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        MemoryFiles files;
        ReceiverSession session(files);
        const Outcome out = feed(session, row.arrivals, row.closeAtEnd);
        EXPECT_EQ(out.replies, row.replies);
        ASSERT_EQ(files.files().count("a.kel"), 1u);
        EXPECT_EQ(files.files().at("a.kel"), row.file);
    }
}

namespace {

// A sender of the peers' kind over a session: one message at a time, the
// next only after its "OK". One message goes out in two pieces split at
// `at`, `gapMs` apart. The line goes quiet (onQuiet) only when nothing has
// arrived for `quietMs`: between two pieces when the gap is that long, and
// after a message that is not answered without it.
struct SplitRun
{
    std::map<std::string, std::string> files;
    std::string replies;
    bool answeredEarly = false; // an "OK" before the message was whole
};

SplitRun sendSplit(const std::vector<std::string> &messages, size_t split, size_t at, int gapMs,
                   int quietMs)
{
    SplitRun run;
    MemoryFiles files;
    {
        ReceiverSession session(files);
        for (size_t i = 0; i < messages.size(); ++i) {
            const std::string &m = messages[i];
            std::vector<std::string> pieces{m};
            if (i == split && at > 0 && at < m.size())
                pieces = {m.substr(0, at), m.substr(at)};
            std::string reply;
            for (size_t p = 0; p < pieces.size(); ++p) {
                if (p > 0 && gapMs >= quietMs)
                    reply += session.onQuiet();
                if (p > 0 && !reply.empty())
                    run.answeredEarly = true;
                reply += session.onData(pieces[p]);
                if (p + 1 < pieces.size() && !reply.empty())
                    run.answeredEarly = true;
            }
            if (reply.empty())
                reply = session.onQuiet();
            run.replies += reply;
            if (reply != "OK")
                break;
        }
        session.onClosed();
    }
    run.files = files.files();
    return run;
}

} // namespace

// Every split point of every message of a file, the pieces 200 ms and 1 s
// apart, with the receiver's quiet time: nothing is answered before its
// message is whole, nothing is lost and nothing misnamed. With pieces
// further apart than the quiet time, the split shows (the control row).
TEST(ReceiverSession, MessagesSplitAtEveryPointArriveWhole)
{
    const std::string block = bytesOf(900);
    const std::string last = bytesOf(250, 'A');
    const std::vector<std::string> messages = {".RECEIVE_FILE=C:\\q\\splitname.bmp", block, last,
                                               std::string(wire::kEndOfFile)};
    const std::map<std::string, std::string> whole = {{"splitname.bmp", block + last}};
    const char *names[] = {"the file name", "a full block", "the short last block",
                           "the end of the file"};
    for (int gapMs : {200, 1000}) {
        for (size_t m = 0; m < messages.size(); ++m) {
            for (size_t at = 1; at < messages[m].size(); ++at) {
                const SplitRun run = sendSplit(messages, m, at, gapMs, kReceiverQuietMs);
                if (run.files != whole || run.replies != "OKOKOKOK" || run.answeredEarly) {
                    ADD_FAILURE() << names[m] << " split at " << at << ", pieces " << gapMs
                                  << " ms apart: replies " << run.replies;
                    break;
                }
            }
        }
    }
    // The control: pieces further apart than the quiet time are two messages.
    const SplitRun control = sendSplit(messages, 0, 20, 2000, kReceiverQuietMs);
    EXPECT_NE(control.files, whole);
}

TEST(ReceiverSession, ConnectionsThatEndEarlyLeaveNothing)
{
    const std::string start = ".RECEIVE_FILE=C:\\queue\\a.kel";
    const std::string s(kQuiet);
    struct Row
    {
        const char *name;
        std::vector<std::string> arrivals;
        std::string replies;
        bool closeWanted;
    };
    const Row rows[] = {
        {"peer gone mid-file", {start, s, bytesOf(900), bytesOf(100)}, ".OKOK", false},
        {"close asked for mid-file",
         {start, s, bytesOf(900), ".CLOSE_CONNECTION", s},
         ".OKOKOK",
         true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        {
            QueueFolderFiles files(dir.path());
            ReceiverSession session(files);
            const Outcome out = feed(session, row.arrivals, true);
            EXPECT_EQ(out.replies, row.replies);
            EXPECT_EQ(out.closeWanted, row.closeWanted);
            EXPECT_EQ(session.filesReceived(), 0);
        }
        EXPECT_TRUE(entries(dir.path()).empty());
    }
}

TEST(ReceiverSession, HostileNamesStayInTheQueueFolder)
{
    struct Row
    {
        const char *name;
        std::string path;
        std::string written; // empty: refused
    };
    const Row rows[] = {
        {"climbing up", "../../x", "x"},
        {"absolute", "/etc/x", "x"},
        {"Windows path climbing up", "C:\\x\\..\\y", "y"},
        {"empty", "", ""},
        {"dot dot", "..", ""},
        {"dot", ".", ""},
        {"ends in a separator", "C:\\queue\\", ""},
        {"hidden name", "/q/.profile", ""},
        {"control character", "a\rb.kel", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir base;
        const std::string queue = base.file("queue");
        std::filesystem::create_directories(queue);
        QueueFolderFiles files(queue);
        std::vector<std::string> statuses;
        ReceiverSession session(files,
                                {[&](const std::string &t) { statuses.push_back(t); }, {}, {}});
        std::string replies;
        for (const std::string &message :
             {".RECEIVE_FILE=" + row.path, std::string("data"), std::string(".END_OF_FILE")}) {
            replies += session.onData(message);
            replies += session.onQuiet();
        }
        session.onClosed();
        EXPECT_EQ(entries(base.path()), std::vector<std::string>{"queue"});
        if (row.written.empty()) {
            // No "OK": the sender learns that nothing arrived.
            EXPECT_EQ(replies, "");
            EXPECT_TRUE(session.wantsClose());
            EXPECT_TRUE(entries(queue).empty());
            EXPECT_EQ(statuses.back().rfind("Refused file name", 0), 0u) << statuses.back();
        } else {
            EXPECT_EQ(replies, "OKOKOK");
            EXPECT_EQ(entries(queue), std::vector<std::string>{row.written});
        }
    }
}

// What a peer may not send: a command file (unless the site allows them), a
// file larger than the limit (refused as it crosses it), a name longer than
// two blocks. No "OK" for it, the connection is to close, the refusal is
// said with its message number, and nothing of the file is left.
TEST(ReceiverSession, RefusesWhatAPeerMayNotSend)
{
    const std::string s(kQuiet);
    struct Row
    {
        const char *name;
        ReceiverPolicy policy;
        std::vector<std::string> arrivals;
        std::string replies;
        int refused;      // message number; 0: nothing refused
        std::string kept; // the file that took its name, "" for none
    };
    ReceiverPolicy commands;
    commands.commandFiles = true;
    ReceiverPolicy small;
    small.maxFileBytes = 1000;
    const Row rows[] = {
        {"a command file", {}, {".RECEIVE_FILE=C:\\q\\X.CMD", s, "SHUTDOWN", s}, ".", 330, ""},
        {"a command file in lower case",
         {},
         {".RECEIVE_FILE=/q/autoexec.cmd", s, "RELEASE_ALL", s},
         ".",
         330,
         ""},
        {"a command file the site allows",
         commands,
         {".RECEIVE_FILE=C:\\q\\X.CMD", s, "SHUTDOWN", s, ".END_OF_FILE"},
         ".OKOKOK",
         0,
         "X.CMD"},
        {"a name that only looks like one",
         {},
         {".RECEIVE_FILE=X.CMD.kel", s, "x", s, ".END_OF_FILE"},
         ".OKOKOK",
         0,
         "X.CMD.kel"},
        {"a file that crosses the size limit",
         small,
         {".RECEIVE_FILE=big.kel", s, bytesOf(900), bytesOf(101), s, ".END_OF_FILE"},
         ".OKOK",
         336,
         ""},
        {"a file just within the size limit",
         small,
         {".RECEIVE_FILE=fits.kel", s, bytesOf(900), bytesOf(100), s, ".END_OF_FILE"},
         ".OKOKOKOK",
         0,
         "fits.kel"},
        {"a name longer than two blocks",
         {},
         {".RECEIVE_FILE=" + std::string(2000, 'n')},
         ".",
         340,
         ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        std::vector<int> refused;
        {
            QueueFolderFiles files(dir.path());
            ReceiverSession session(
                files, {{}, {}, [&](int m, const std::string &) { refused.push_back(m); }},
                row.policy);
            const Outcome out = feed(session, row.arrivals, false);
            EXPECT_EQ(out.replies, row.replies);
            EXPECT_EQ(out.closeWanted, row.refused != 0);
            session.onClosed();
        }
        EXPECT_EQ(refused, row.refused ? std::vector<int>{row.refused} : std::vector<int>{});
        EXPECT_EQ(entries(dir.path()), row.kept.empty() ? std::vector<std::string>{}
                                                        : std::vector<std::string>{row.kept});
    }
}

TEST(ReceiverSession, ReceivedFileReplacesAnOlderOneWhole)
{
    test::TempDir dir;
    dir.write("a.kel", std::string(5000, 'x'));
    QueueFolderFiles files(dir.path());
    ReceiverSession session(files);
    session.onData(".RECEIVE_FILE=C:\\a.kel");
    session.onQuiet();
    session.onData("new");
    session.onQuiet();
    // While the file arrives the older one is still there, untouched.
    EXPECT_EQ(std::filesystem::file_size(dir.file("a.kel")), 5000u);
    session.onData(".END_OF_FILE");
    session.onQuiet();
    std::string bytes;
    ASSERT_TRUE(readFile(dir.file("a.kel"), bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"a.kel"});
}

TEST(ReceiverSession, LeftoversOfAnEndedProcessAreRemoved)
{
    test::TempDir dir;
    dir.write("~kel-receiving-99999-1.part", "half");
    dir.write("~kel-fetching-99999-2.part", "half");
    dir.write("keep.kel", "x");
    removeWorkingFiles(dir.path());
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"keep.kel"});
}

TEST(Wire, DestinationsAndPorts)
{
    struct Row
    {
        const char *name;
        std::string sendTo;
        bool ok;
        std::string host;
        uint16_t port;
    };
    const Row rows[] = {
        {"host alone takes the default port", "office2", true, "office2", 4000},
        {"host and port", "127.0.0.1:5001", true, "127.0.0.1", 5001},
        {"blanks around", "  office2:7 ", true, "office2", 7},
        {"bare IPv6 address", "fe80::1", true, "fe80::1", 4000},
        {"IPv6 address with a port", "[::1]:5001", true, "::1", 5001},
        {"port 0", "h:0", false, "", 0},
        {"port too large", "h:65536", false, "", 0},
        {"port not a number", "h:abc", false, "", 0},
        {"no host", ":5001", false, "", 0},
        {"empty", "", false, "", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Result<wire::Destination> d = wire::parseDestination(row.sendTo, 4000);
        ASSERT_EQ(d.ok(), row.ok);
        if (row.ok) {
            EXPECT_EQ(d->host, row.host);
            EXPECT_EQ(d->port, row.port);
        }
    }
    EXPECT_EQ(wire::portSetting(""), 1001);
    EXPECT_EQ(wire::portSetting(" 5001 "), 5001);
    EXPECT_EQ(wire::portSetting("70000"), 1001);
    EXPECT_EQ(wire::portSetting("12ab"), 1001);
}

TEST(ReceiverSession, WholeStreamsWithoutSockets)
{
    const std::string q(kQuiet);
    EXPECT_EQ(receiveStream({".RECEIVE_FILE=C:\\q\\s.kel", q, "data", q, ".END_OF_FILE", q}),
              (std::map<std::string, std::string>{{"s.kel", "data"}}));
    // Joined into one arrival, the messages are one message: nothing is named.
    EXPECT_TRUE(receiveStream({".RECEIVE_FILE=s.kel"
                               "data"
                               ".END_OF_FILE"})
                    .empty());
}

TEST(AllowList, AddressesNetworksAndNames)
{
    const AllowList::Resolver resolve = [](const std::string &name) {
        return name == "office2" ? std::vector<QHostAddress>{QHostAddress("192.168.5.7")}
                                 : std::vector<QHostAddress>{};
    };
    struct Row
    {
        const char *name;
        std::string key;
        std::vector<std::string> allowed, refused, bad;
    };
    const Row rows[] = {
        {"empty: anyone", " ", {"10.1.1.1", "::1"}, {}, {}},
        {"one address", "127.0.0.1", {"127.0.0.1", "::ffff:127.0.0.1"}, {"127.0.0.2"}, {}},
        {"a network and a name",
         "10.1.0.0/16 ; office2",
         {"10.1.200.3", "192.168.5.7"},
         {"10.2.0.1", "192.168.5.8"},
         {}},
        {"IPv6", "fd00::/8;::1", {"fd12::5", "::1"}, {"fe80::1", "127.0.0.1"}, {}},
        {"bad entries allow nothing",
         "300.1.1.1;nowhere;10.0.0.0/40",
         {},
         {"10.0.0.1", "127.0.0.1"},
         {"300.1.1.1", "nowhere", "10.0.0.0/40"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> bad;
        const AllowList list = AllowList::parse(row.key, bad, resolve);
        EXPECT_EQ(bad, row.bad);
        for (const std::string &a : row.allowed)
            EXPECT_TRUE(list.allows(QHostAddress(QString::fromStdString(a)))) << a;
        for (const std::string &a : row.refused)
            EXPECT_FALSE(list.allows(QHostAddress(QString::fromStdString(a)))) << a;
    }
}
