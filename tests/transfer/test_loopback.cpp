// The TCP transfer over real sockets on 127.0.0.1: our sender to our
// receiver, and each of them against an independent peer in Python.
#include "support/testenv.h"
#include "transfer/tcptransfer.h"
#include "transfer/transferservice.h"
#include "transfertest.h"

#include <QTcpSocket>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using kel::test::entries;
using kel::test::PythonHelper;
using kel::test::randomBytes;
using kel::test::waitFor;

namespace {

// Receiver options for tests where the framing is not the point: a short
// quiet time, as the Python peer's pieces come at once.
TcpReceiver::Options quick()
{
    TcpReceiver::Options o;
    o.quietMs = 300;
    return o;
}

// A receiver on 127.0.0.1 with a free port, recording what it says.
struct Receiver
{
    explicit Receiver(const std::string &queue, TcpReceiver::Options options = quick())
        : receiver(queue,
                   {[this](const std::string &t) { statuses.push_back(t); },
                    [this](const std::string &name) { received.push_back(name); }, nullptr,
                    [this](int message, const std::string &) { refused.push_back(message); }},
                   std::move(options))
    {
        std::string error;
        listening = receiver.listen(0, QHostAddress::LocalHost, error);
    }
    int accepted() const
    {
        return static_cast<int>(std::count_if(statuses.begin(), statuses.end(), [](auto &s) {
            return s.rfind("Connection accepted from 127.0.0.1", 0) == 0;
        }));
    }
    QStringList port() const
    {
        return {QStringLiteral("--port"), QString::number(receiver.port())};
    }

    std::vector<std::string> statuses;
    std::vector<std::string> received;
    std::vector<int> refused;
    TcpReceiver receiver;
    bool listening = false;
};

// A transfer service in a test environment, recording its status texts.
struct Service
{
    test::TestEnvironment env;
    std::vector<std::string> statuses;
    TransferService service{{env.settings, env.messages, env.prompter, env.folders.temp,
                             [this](const std::string &t) { statuses.push_back(t); }}};
};

} // namespace

TEST(Loopback, ForwardedReportArrivesWithItsPicturesFirst)
{
    test::TempDir a;
    test::TempDir b;
    a.write("left.png", randomBytes(5000, 1));
    const std::string right = randomBytes(1234, 2);
    a.write("pics/right.png", right);
    Receiver receiver(b.path());
    ASSERT_TRUE(receiver.listening);
    const std::string report =
        "[HEADER]\r\nSEND_TO=127.0.0.1:" + std::to_string(receiver.receiver.port()) +
        "\r\n[DATA]\r\n{PIC=left.png,1,1,1,1}text\r\n{PIC=" + a.file("pics/right.png") +
        ",1,1,1,1}\r\nEND_OF_FILE\r\n";
    a.write("r.txt.kel", report);

    Service sending;
    sending.service.forward({a.file("r.txt"), a.file("r.txt.kel"), {}, {}},
                            "127.0.0.1:" + std::to_string(receiver.receiver.port()));
    EXPECT_TRUE(sending.service.holdsMainTick());
    ASSERT_TRUE(waitFor([&] { return !sending.service.holdsMainTick(); }, 20000));

    EXPECT_EQ(receiver.received, (std::vector<std::string>{"left.png", "right.png", "r.txt.kel"}));
    EXPECT_EQ(receiver.accepted(), 3);
    EXPECT_EQ(entries(b.path()), (std::vector<std::string>{"left.png", "r.txt.kel", "right.png"}));
    EXPECT_EQ(test::readAll(b.file("right.png")), right);
    EXPECT_EQ(test::readAll(b.file("r.txt.kel")),
              "[HEADER]\r\n[DATA]\r\n{PIC=left.png,1,1,1,1}text\r\n{PIC=right.png,1,1,1,1}\r\n"
              "END_OF_FILE\r\n");
    // The report and its copy are gone from the sending queue; pictures stay.
    EXPECT_EQ(entries(a.path()), (std::vector<std::string>{"left.png", "pics"}));
}

TEST(Loopback, IndependentPeerSendsToOurReceiver)
{
    test::TempDir source;
    test::TempDir queue;
    Receiver receiver(queue.path());
    ASSERT_TRUE(receiver.listening);
    struct Row
    {
        const char *name;
        std::string file;
        size_t size;
        QStringList options;
    };
    const Row rows[] = {
        {"small report, one send per message", "small.kel", 2345, {}},
        {"every message split in two sends", "split.kel", 2000, {"--split"}},
        {"sender that closes right after the end", "closing.kel", 950, {"--close-after-end"}},
        {"10 MB binary file", "big.bin", 10 * 1024 * 1024, {}},
    };
    unsigned seed = 10;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string bytes = randomBytes(row.size, ++seed);
        source.write(row.file, bytes);
        PythonHelper peer(
            "wirepeer.py",
            QStringList{"send", "--file", QString::fromStdString(source.file(row.file))}
                << receiver.port() << row.options);
        ASSERT_TRUE(peer.started());
        EXPECT_EQ(peer.wait(60000), 0) << peer.errors();
        ASSERT_TRUE(waitFor([&] { return receiver.receiver.sessions() == 0; }, 5000));
        EXPECT_TRUE(test::readAll(queue.file(row.file)) == bytes);
    }
}

TEST(Loopback, OurSenderSendsToAnIndependentPeer)
{
    test::TempDir source;
    test::TempDir target;
    PythonHelper peer("wirepeer.py",
                      {"receive", "--dir", QString::fromStdString(target.path()), "--count", "2"});
    const std::string line = peer.readLine();
    ASSERT_EQ(line.rfind("port ", 0), 0u) << peer.errors();
    const auto port = static_cast<uint16_t>(std::stoi(line.substr(5)));
    const std::string small = randomBytes(1800, 3); // an exact number of blocks
    const std::string big = randomBytes(10 * 1024 * 1024, 4);
    source.write("small.kel", small);
    source.write("big.bin", big);

    std::vector<SendOutcome> outcomes;
    TcpSender sender({nullptr, [&](const SendJob &, SendOutcome o, const std::string &) {
                          outcomes.push_back(o);
                      }});
    SendJob job;
    job.items = {{source.file("small.kel"), "C:\\out\\small.kel"},
                 {source.file("big.bin"), "big.bin"}};
    job.destination = {"127.0.0.1", port};
    job.destinationText = "127.0.0.1";
    sender.send(job);
    ASSERT_TRUE(waitFor([&] { return !outcomes.empty(); }, 120000));
    EXPECT_EQ(outcomes[0], SendOutcome::Delivered);
    EXPECT_EQ(peer.wait(10000), 0) << peer.errors();
    EXPECT_TRUE(test::readAll(target.file("small.kel")) == small);
    EXPECT_TRUE(test::readAll(target.file("big.bin")) == big);
}

TEST(Loopback, PullingThePlugLeavesNothingInTheQueue)
{
    test::TempDir source;
    test::TempDir base;
    const std::string queue = base.file("queue");
    std::filesystem::create_directories(queue);
    source.write("cut.kel", randomBytes(9000, 5));
    Receiver receiver(queue);
    ASSERT_TRUE(receiver.listening);

    PythonHelper dropping("wirepeer.py", QStringList{"send", "--file",
                                                     QString::fromStdString(source.file("cut.kel")),
                                                     "--drop-after", "4"}
                                             << receiver.port());
    EXPECT_EQ(dropping.wait(), 0);
    EXPECT_EQ(dropping.readLine(), "dropped");
    ASSERT_TRUE(waitFor([&] { return receiver.receiver.sessions() == 0; }, 5000));
    EXPECT_TRUE(entries(queue).empty());

    // Hostile names: nothing anywhere but in the queue folder, and the peer
    // is told by a closed connection rather than an "OK".
    for (const char *name : {"../../x", "/etc/x", "C:\\x\\..\\y", "", ".."}) {
        SCOPED_TRACE(name);
        PythonHelper peer("wirepeer.py", QStringList{"send", "--file",
                                                     QString::fromStdString(source.file("cut.kel")),
                                                     "--name", name}
                                             << receiver.port());
        const int code = peer.wait();
        ASSERT_TRUE(waitFor([&] { return receiver.receiver.sessions() == 0; }, 5000));
        EXPECT_EQ(entries(base.path()), std::vector<std::string>{"queue"});
        const std::vector<std::string> inQueue = entries(queue);
        if (std::string(name) == "/etc/x" || std::string(name) == "../../x") {
            EXPECT_EQ(code, 0);
            EXPECT_EQ(inQueue, std::vector<std::string>{"x"});
        } else if (std::string(name) == "C:\\x\\..\\y") {
            EXPECT_EQ(code, 0);
            EXPECT_EQ(inQueue, std::vector<std::string>{"y"});
        } else {
            EXPECT_EQ(code, 3);
            EXPECT_TRUE(inQueue.empty());
        }
        for (const std::string &f : inQueue)
            std::filesystem::remove(queue + "/" + f);
    }
}

// The one test that waits the real 20 seconds: a destination where nothing
// answers, through the whole service.
TEST(Loopback, DestinationThatNeverAnswersLeavesNotSent)
{
    test::TempDir queue;
    queue.write("lost.kel", "[HEADER]\r\nSEND_TO=127.0.0.1\r\n[DATA]\r\nx\r\n");
    queue.write("00000000.$$$", "work");
    Service sending;
    const std::string destination = "127.0.0.1:" + std::to_string(test::freePort());
    sending.service.forward({queue.file("lost.kel"), queue.file("lost.kel"), {}, {}}, destination);
    ASSERT_TRUE(sending.service.holdsMainTick());
    ASSERT_TRUE(waitFor([&] { return !sending.service.holdsMainTick(); }, 30000));
    EXPECT_EQ(entries(queue.path()), std::vector<std::string>{"lost.kel.NOT_SENT"});
    EXPECT_EQ(test::readAll(queue.file("lost.kel.NOT_SENT")),
              "[HEADER]\r\nSEND_TO=127.0.0.1\r\n[DATA]\r\nx\r\n");
    EXPECT_NE(std::find(sending.statuses.begin(), sending.statuses.end(), "Aborting connection..."),
              sending.statuses.end());
    EXPECT_NE(std::find(sending.statuses.begin(), sending.statuses.end(),
                        "Trying " + destination + "...20 secs remaining."),
              sending.statuses.end());
}

TEST(Loopback, ServiceReceivesOnItsPortWithoutHoldingTheTick)
{
    test::TempDir queue;
    test::TempDir source;
    source.write("r.kel", randomBytes(500000, 6));
    Service receiving;
    receiving.env.settings.tcpPort = std::to_string(test::freePort());
    receiving.service.setListenAddress(QHostAddress::LocalHost);
    receiving.service.start(queue.path());
    ASSERT_TRUE(receiving.service.listening());
    EXPECT_EQ(std::to_string(receiving.service.receiverPort()), receiving.env.settings.tcpPort);

    // A peer that connects and sends no file holds nothing: the printing
    // goes on.
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, receiving.service.receiverPort());
    ASSERT_TRUE(waitFor([&] { return idle.bytesAvailable() > 0; }, 5000)); // the greeting
    idle.readAll();
    idle.write(".GARBAGE");
    idle.flush();
    ASSERT_TRUE(waitFor([&] { return idle.bytesAvailable() > 0; }, 5000)); // its "OK"
    EXPECT_FALSE(receiving.service.holdsMainTick());

    PythonHelper peer("wirepeer.py",
                      {"send", "--file", QString::fromStdString(source.file("r.kel")), "--port",
                       QString::fromStdString(receiving.env.settings.tcpPort)});
    // The file arrives under a working name that no queue filter takes, so
    // the printing goes on meanwhile.
    bool held = false;
    bool arriving = false;
    ASSERT_TRUE(waitFor(
        [&] {
            held = held || receiving.service.holdsMainTick();
            arriving = arriving || receiving.service.receiver()->filesArriving() > 0;
            return peer.process().state() == QProcess::NotRunning;
        },
        30000));
    EXPECT_TRUE(arriving);
    EXPECT_FALSE(held);
    ASSERT_TRUE(waitFor([&] { return receiving.service.receiver()->filesArriving() == 0; }, 5000));
    EXPECT_EQ(entries(queue.path()), std::vector<std::string>{"r.kel"});
}

TEST(Loopback, KeltoolSendsToKeltoolReceive)
{
    test::TempDir source;
    test::TempDir queue;
    const std::string report = randomBytes(2000, 7);
    const std::string picture = randomBytes(900, 8);
    source.write("one.kel", report);
    source.write("two.png", picture);
    const QString keltool = QStringLiteral(KEL_BIN_DIR "/keltool");

    QProcess receiving;
    receiving.start(keltool, {"receive", "--queue", QString::fromStdString(queue.path()), "--port",
                              "0", "--address", "127.0.0.1", "--count", "2"});
    // The programs run in other processes: plain waiting is fine.
    ASSERT_TRUE(receiving.waitForReadyRead(30000));
    const std::string listening = receiving.readLine().trimmed().toStdString();
    ASSERT_EQ(listening.rfind("listening on ", 0), 0u) << listening;
    const std::string port = listening.substr(13);

    QProcess sending;
    sending.start(keltool, {"send", QString::fromStdString(source.file("one.kel")),
                            QString::fromStdString(source.file("two.png")), "--to",
                            QString::fromStdString("127.0.0.1:" + port)});
    ASSERT_TRUE(sending.waitForFinished(60000));
    EXPECT_EQ(sending.exitCode(), 0) << sending.readAllStandardError().toStdString();
    ASSERT_TRUE(receiving.waitForFinished(30000));
    EXPECT_EQ(receiving.exitCode(), 0);
    EXPECT_EQ(receiving.readAllStandardOutput().toStdString(),
              "received one.kel\nreceived two.png\n");
    EXPECT_EQ(entries(queue.path()), (std::vector<std::string>{"one.kel", "two.png"}));
    EXPECT_TRUE(test::readAll(queue.file("one.kel")) == report);
    EXPECT_TRUE(test::readAll(queue.file("two.png")) == picture);

    // Bad arguments are usage errors (exit 2), before anything listens.
    struct Row
    {
        const char *name;
        QStringList args;
    };
    const Row rows[] = {
        {"negative port",
         {"receive", "--queue", QString::fromStdString(queue.path()), "--port", "-5"}},
        {"port past 65535",
         {"receive", "--queue", QString::fromStdString(queue.path()), "--port", "70000"}},
        {"queue that is not a folder",
         {"receive", "--queue", QString::fromStdString(source.file("one.kel"))}},
        {"not an address",
         {"receive", "--queue", QString::fromStdString(queue.path()), "--address", "nowhere"}},
        {"send without a destination", {"send", QString::fromStdString(source.file("one.kel"))}},
        {"send to a bad port",
         {"send", QString::fromStdString(source.file("one.kel")), "--to", "127.0.0.1:0"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QProcess bad;
        bad.start(keltool, row.args);
        ASSERT_TRUE(bad.waitForFinished(30000));
        EXPECT_EQ(bad.exitCode(), 2);
        EXPECT_TRUE(bad.readAllStandardOutput().isEmpty());
    }
}

// A peer of the consoles' kind whose every message reaches the receiver in
// two pieces, 200 ms and 1 s apart: with the receiver's own quiet time the
// file arrives whole under its own name.
TEST(Loopback, MessagesInPiecesSecondsApartArriveWhole)
{
    test::TempDir source;
    test::TempDir queue;
    Receiver receiver(queue.path(), TcpReceiver::Options{});
    ASSERT_TRUE(receiver.listening);
    const std::string bytes = randomBytes(2 * 900 + 250, 21);
    source.write("splitname.bmp", bytes);
    struct Row
    {
        const char *name;
        QString at;
        QString gap;
    };
    const Row rows[] = {{"early split, 200 ms", "7", "0.2"}, {"late split, 1 s", "450", "1.0"}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        PythonHelper peer(
            "wirepeer.py",
            QStringList{"send", "--file", QString::fromStdString(source.file("splitname.bmp")),
                        "--name", "C:\\q\\splitname.bmp", "--split-at", row.at, "--gap", row.gap}
                << receiver.port());
        EXPECT_EQ(peer.wait(60000), 0) << peer.errors();
        EXPECT_EQ(peer.readLine(), "sent");
        ASSERT_TRUE(waitFor([&] { return receiver.receiver.sessions() == 0; }, 5000));
        EXPECT_EQ(entries(queue.path()), std::vector<std::string>{"splitname.bmp"});
        EXPECT_TRUE(test::readAll(queue.file("splitname.bmp")) == bytes);
        std::filesystem::remove(queue.file("splitname.bmp"));
    }
}

namespace {

// A client socket on a loopback address of its own choosing.
struct Client
{
    explicit Client(const char *from, uint16_t port)
    {
        socket.bind(QHostAddress(QString::fromLatin1(from)), 0);
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    // The greeting came, or the connection was closed without it.
    bool greeted(int ms = 5000)
    {
        waitFor(
            [&] {
                return socket.bytesAvailable() > 0 ||
                       socket.state() == QAbstractSocket::UnconnectedState;
            },
            ms);
        return socket.bytesAvailable() > 0 && socket.readAll() == ".";
    }
    bool closed(int ms = 5000)
    {
        return waitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    QTcpSocket socket;
};

int saidCount(const std::vector<std::string> &statuses, const std::string &text)
{
    return static_cast<int>(std::count_if(statuses.begin(), statuses.end(),
                                          [&](auto &s) { return s.rfind(text, 0) == 0; }));
}

} // namespace

TEST(Loopback, ListenAndAllowKeysBoundTheReceiver)
{
    test::TempDir queue;
    {
        SCOPED_TRACE("TCP_LISTEN and TCP_ALLOW");
        Service receiving;
        receiving.env.settings.tcpPort = std::to_string(test::freePort());
        receiving.env.settings.tcpListen = "127.0.0.1";
        receiving.env.settings.tcpAllow = "127.0.0.1; 10.0.0.0/8";
        receiving.service.start(queue.path());
        ASSERT_TRUE(receiving.service.listening());
        EXPECT_EQ(receiving.service.receiver()->address(), QHostAddress(QHostAddress::LocalHost));
        const uint16_t port = receiving.service.receiverPort();

        // Closed before the greeting, said once for the address.
        for (int i = 0; i < 2; ++i) {
            Client stranger("127.0.0.2", port);
            EXPECT_FALSE(stranger.greeted());
            EXPECT_TRUE(stranger.closed());
        }
        EXPECT_EQ(saidCount(receiving.statuses, "message 331 127.0.0.2"), 1);
        Client allowed("127.0.0.1", port);
        EXPECT_TRUE(allowed.greeted());
    }
    {
        SCOPED_TRACE("TCP_LISTEN=N");
        Service receiving;
        receiving.env.settings.tcpPort = std::to_string(test::freePort());
        receiving.env.settings.tcpListen = "n";
        receiving.service.start(queue.path());
        EXPECT_FALSE(receiving.service.listening());
        EXPECT_EQ(receiving.service.receiver(), nullptr);
        EXPECT_EQ(saidCount(receiving.statuses, "message 332"), 1);
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost,
                            static_cast<uint16_t>(std::stoi(receiving.env.settings.tcpPort)));
        EXPECT_FALSE(probe.waitForConnected(2000));
    }
    {
        SCOPED_TRACE("a TCP_LISTEN that is not an address, a TCP_ALLOW that allows nobody");
        Service wrong;
        wrong.env.settings.tcpListen = "every-where";
        wrong.service.start(queue.path());
        EXPECT_FALSE(wrong.service.listening());
        EXPECT_EQ(saidCount(wrong.statuses, "message 334 every-where"), 1);

        Service nobody;
        nobody.env.settings.tcpPort = std::to_string(test::freePort());
        nobody.env.settings.tcpAllow = "300.1.1.1;no-such-host.invalid";
        nobody.service.setListenAddress(QHostAddress::LocalHost);
        nobody.service.start(queue.path());
        ASSERT_TRUE(nobody.service.listening());
        EXPECT_EQ(saidCount(nobody.statuses, "message 333"), 2);
        Client local("127.0.0.1", nobody.service.receiverPort());
        EXPECT_FALSE(local.greeted());
    }
}

// A peer that trickles bytes into a file is dropped at the rate limit and
// nothing of its file is left; a peer with many connections gives a slot up
// to an address that waits.
TEST(Loopback, SlowAndGreedyPeersHoldNothing)
{
    test::TempDir queue;
    {
        SCOPED_TRACE("a trickle");
        TcpReceiver::Options options = quick();
        options.rateWindowMs = 800;
        options.minBytesPerWindow = 1000;
        Receiver receiver(queue.path(), options);
        Client trickle("127.0.0.1", receiver.receiver.port());
        ASSERT_TRUE(trickle.greeted());
        trickle.socket.write(".RECEIVE_FILE=C:\\q\\slow.kel");
        ASSERT_TRUE(waitFor([&] { return trickle.socket.bytesAvailable() > 0; }, 5000)); // "OK"
        bool arrived = false;
        for (int i = 0; i < 40 && trickle.socket.state() == QAbstractSocket::ConnectedState; ++i) {
            trickle.socket.write("x");
            trickle.socket.flush();
            waitFor([] { return false; }, 100);
            arrived = arrived || receiver.receiver.filesArriving() > 0;
        }
        EXPECT_TRUE(arrived);
        EXPECT_TRUE(trickle.closed());
        EXPECT_EQ(receiver.refused, std::vector<int>{335});
        ASSERT_TRUE(waitFor([&] { return receiver.receiver.sessions() == 0; }, 5000));
        EXPECT_TRUE(entries(queue.path()).empty());
    }
    {
        SCOPED_TRACE("many connections from one address");
        TcpReceiver::Options options = quick();
        options.maxSessions = 2;
        Receiver receiver(queue.path(), options);
        const uint16_t port = receiver.receiver.port();
        Client first("127.0.0.2", port);
        ASSERT_TRUE(first.greeted());
        Client second("127.0.0.2", port);
        ASSERT_TRUE(second.greeted());
        // Another address finds a slot: the greedy one gives up its youngest.
        Client other("127.0.0.3", port);
        EXPECT_TRUE(other.greeted());
        EXPECT_TRUE(second.closed());
        EXPECT_EQ(first.socket.state(), QAbstractSocket::ConnectedState);
        // A third from the greedy address waits while both slots are taken,
        // and is served once one is free.
        Client third("127.0.0.2", port);
        EXPECT_FALSE(third.greeted(500));
        EXPECT_EQ(receiver.receiver.waiting(), 1);
        other.socket.disconnectFromHost();
        EXPECT_TRUE(third.greeted());
        // Said once per address: the slot given up, the waiting.
        EXPECT_EQ(receiver.refused, (std::vector<int>{341, 337}));
    }
}

// A report whose SEND_TO names this console itself comes back without its
// SEND_TO and stays in the queue to be printed here; the forwarding deletes
// only the file it sent.
TEST(Loopback, ReportSentToItsOwnConsoleStaysToBePrinted)
{
    test::TempDir queue;
    Service console;
    console.env.settings.tcpPort = std::to_string(test::freePort());
    console.service.setListenAddress(QHostAddress::LocalHost);
    console.service.setReceiverOptions(quick());
    console.service.start(queue.path());
    ASSERT_TRUE(console.service.listening());
    const std::string self = "127.0.0.1:" + console.env.settings.tcpPort;
    EXPECT_TRUE(console.service.isSelf(self));
    EXPECT_TRUE(console.service.isSelf("localhost:" + console.env.settings.tcpPort));
    EXPECT_FALSE(console.service.isSelf("127.0.0.1:" + std::to_string(test::freePort())));
    EXPECT_FALSE(console.service.isSelf("192.0.2.1:" + console.env.settings.tcpPort));

    queue.write("r.kel", "SEND_TO=" + self + "\r\n[HEADER]\r\n[DATA]\r\nhello\r\n");
    console.service.forward({queue.file("r.kel"), queue.file("r.kel"), {}, {}}, self);
    ASSERT_TRUE(waitFor([&] { return !console.service.holdsMainTick(); }, 20000));
    EXPECT_EQ(entries(queue.path()), std::vector<std::string>{"r.kel"});
    EXPECT_EQ(test::readAll(queue.file("r.kel")), "[HEADER]\r\n[DATA]\r\nhello\r\n");
    EXPECT_EQ(saidCount(console.statuses, "message 338 " + self), 1);
}

// The exfiltration a peer would try: a report naming a file outside the
// allowed folders as its picture, sent back to the peer. Nothing of it
// leaves; with its folder in RESOURCE_PATH it travels as a picture should.
TEST(Loopback, ForwardingSendsNoPictureFromOutsideTheAllowedFolders)
{
    test::TempDir base;
    test::TempDir peer;
    const std::string queue = base.file("queue");
    const std::string secret = base.write("private/secret.png", "secret");
    Receiver receiver(peer.path());
    ASSERT_TRUE(receiver.listening);
    const std::string to = "127.0.0.1:" + std::to_string(receiver.receiver.port());
    for (const bool listed : {false, true}) {
        SCOPED_TRACE(listed ? "its folder in RESOURCE_PATH" : "outside the allowed folders");
        base.write("queue/r.kel",
                   "SEND_TO=" + to + "\r\n[HEADER]\r\n[DATA]\r\n{PIC=" + secret + ",1,1,1,1}\r\n");
        Service sending;
        if (listed)
            sending.env.settings.resourcePath = base.file("private");
        sending.service.forward({queue + "/r.kel", queue + "/r.kel", {}, {}}, to);
        ASSERT_TRUE(waitFor([&] { return !sending.service.holdsMainTick(); }, 20000));
        EXPECT_EQ(entries(peer.path()), listed ? (std::vector<std::string>{"r.kel", "secret.png"})
                                               : std::vector<std::string>{"r.kel"});
        EXPECT_EQ(
            std::count(sending.statuses.begin(), sending.statuses.end(), "message 339 " + secret),
            listed ? 0 : 1);
        for (const std::string &f : entries(peer.path()))
            std::filesystem::remove(peer.file(f));
    }
}
