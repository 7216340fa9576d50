// The real program as a peer finds it: "kel -H" on a private program folder
// (KEL.INI with a "pdf:" printer and a TCP port, the build's KEL.LNG), queue
// and temporary folder, on 127.0.0.1. Every wait is bounded and the test
// ends every process it started.
#include "app/text.h"
#include "support/testenv.h"
#include "transfertest.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using kel::test::PythonHelper;
using kel::test::waitFor;
namespace fs = std::filesystem;

namespace {

class Console
{
public:
    explicit Console(const std::vector<std::string> &settings)
    {
        for (const std::string &d : {home, temp, queue, out})
            fs::create_directories(d);
        fs::copy_file(std::string(KEL_BIN_DIR) + "/KEL.LNG", home + "/KEL.LNG");
        std::string ini = test::crlf(
            {"PRINT_KEL=Y", "KEL_PRINTER=pdf:" + out, "TCP_PORT=" + std::to_string(port)});
        for (const std::string &line : settings)
            ini += line + "\r\n";
        writeFile(home + "/KEL.INI", ini);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KEL_HOME"), QString::fromStdString(home));
        env.insert(QStringLiteral("TEMP"), QString::fromStdString(temp));
        env.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(env);
        process.setStandardErrorFile(QString::fromStdString(root.file("stderr.log")));
        process.start(QStringLiteral(KEL_BIN_DIR "/kel"),
                      {QStringLiteral("-H"), QString::fromStdString("-P" + queue)});
    }
    ~Console()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(15000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }
    // Listening: a connection is greeted.
    bool ready()
    {
        return waitFor(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                return probe.waitForConnected(200) && probe.waitForReadyRead(500);
            },
            15000);
    }
    std::string log() const { return test::readAll(root.file("stderr.log")); }
    int pdfs() const
    {
        int n = 0;
        for (const auto &e : fs::directory_iterator(out))
            n += e.path().extension() == ".pdf";
        return n;
    }
    QStringList peer() const { return {QStringLiteral("--port"), QString::number(port)}; }

    test::TempDir root;
    std::string home = root.path() + "/home";
    std::string temp = root.path() + "/tmp";
    std::string queue = root.path() + "/queue";
    std::string out = root.path() + "/out";
    uint16_t port = test::freePort();
    QProcess process;
};

} // namespace

// A command file from the network would let any host stop the server or
// empty its queue: refused, unless the site says TCP_COMMANDS=Y.
TEST(TransferSystem, ACommandFileFromAPeerIsRefusedUnlessAllowed)
{
    test::TempDir source;
    const std::string cmd = source.write("X.CMD", "SHUTDOWN\r\n");
    for (const bool allowed : {false, true}) {
        SCOPED_TRACE(allowed ? "TCP_COMMANDS=Y" : "no TCP_COMMANDS");
        Console console(allowed ? std::vector<std::string>{"TCP_COMMANDS=Y"}
                                : std::vector<std::string>{});
        ASSERT_TRUE(console.ready()) << console.log();
        PythonHelper peer(
            "wirepeer.py",
            QStringList{"send", "--file", QString::fromStdString(cmd), "--name", "C:\\q\\X.CMD"}
                << console.peer());
        EXPECT_EQ(peer.wait(), allowed ? 0 : 3);
        if (allowed) {
            EXPECT_TRUE(console.process.waitForFinished(20000)) << console.log();
            EXPECT_EQ(console.process.exitCode(), 0);
        } else {
            EXPECT_FALSE(console.process.waitForFinished(7000)) << console.log();
            EXPECT_NE(console.log().find("accepts them. Refused: X.CMD from 127.0.0.1"),
                      std::string::npos)
                << console.log();
            EXPECT_FALSE(fs::exists(console.queue + "/X.CMD"));
        }
    }
}

// A peer that trickles a file byte by byte holds no printing: a report
// dropped into the queue meanwhile is printed at once.
TEST(TransferSystem, ATricklingPeerHoldsNoPrinting)
{
    Console console({});
    ASSERT_TRUE(console.ready()) << console.log();
    QTcpSocket trickle;
    trickle.connectToHost(QHostAddress::LocalHost, console.port);
    ASSERT_TRUE(waitFor([&] { return trickle.bytesAvailable() > 0; }, 5000)); // "."
    trickle.readAll();
    trickle.write(".RECEIVE_FILE=C:\\q\\slow.kel");
    ASSERT_TRUE(waitFor([&] { return trickle.bytesAvailable() > 0; }, 5000)); // "OK"
    trickle.readAll();

    const std::string part = console.root.file("r.kel.part");
    writeFile(part, test::crlf({"[HEADER]", "[DATA]", "printed meanwhile"}));
    fs::rename(part, console.queue + "/r.kel");
    QElapsedTimer took;
    took.start();
    QElapsedTimer sinceByte;
    sinceByte.start();
    const bool printed = waitFor(
        [&] {
            if (sinceByte.elapsed() >= 300) {
                trickle.write("x");
                trickle.flush();
                sinceByte.restart();
            }
            return console.pdfs() == 1;
        },
        10000);
    EXPECT_TRUE(printed) << console.log();
    EXPECT_LT(took.elapsed(), 3000) << console.log();
    EXPECT_EQ(trickle.state(), QAbstractSocket::ConnectedState);
}
