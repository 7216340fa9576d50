#include "support/testenv.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"
#include "transfer/workfiles.h"
#include "transfertest.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using kel::test::entries;

namespace {

// What arrives on a connection: bytes, or a quiet moment ("" as a marker).
constexpr std::string_view kQuiet = "";

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
        {"a sender that closes right after the end", {start, s, rest, s, end}, rest, ".OKOK", true},
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
        ReceiverSession session(files, {[&](const std::string &t) { statuses.push_back(t); }, {}});
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
