// keltool testcnx, receive and send: the network transfer from the command
// line. testcnx runs the connection tester; receive and send run the TCP
// transfer's two ends on their own, for scripts, checks between machines and
// tests of two consoles.
#include "app/text.h"
#include "cli/cli.h"
#include "transfer/connectionfile.h"
#include "transfer/curlftp.h"
#include "transfer/protocol.h"
#include "transfer/tcptransfer.h"
#include "transfer/tester.h"
#include "transfer/transfermessages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace kel::cli {
namespace {

// Status texts on stderr when asked for.
std::function<void(const std::string &)> statusPrinter(bool verbose)
{
    if (!verbose)
        return nullptr;
    return [](const std::string &text) {
        std::fprintf(stderr, "keltool: %s\n", fromCp1252(text).toLocal8Bit().constData());
    };
}

int testcnx(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {}, {}, parsed))
        return 2;
    if (!positionalCount(parsed, 1, "testcnx FILE.cnx"))
        return 2;
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    const std::optional<Connection> connection = readConnectionFile(parsed.positionals[0]);
    if (!connection) {
        std::printf("tested=0\n");
        fail("cannot read " + connectionFileName(parsed.positionals[0]));
        return 1;
    }
    CurlFtp client;
    client.setConnection(*connection);
    ConnectionTester tester(client, env->folders.temp);
    const bool passed = tester.runAndWait();
    std::printf("tested=%d\n", passed ? 1 : 0);
    if (!passed)
        failWithMessage(env->messages, 240, tester.detail());
    if (!passed && !tester.detail().empty())
        fail(tester.detail());
    return passed ? 0 : 1;
}

int receive(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {"port", "queue", "count", "address", "quiet-ms"}, {"v"}, parsed))
        return 2;
    int port = -1;
    int count = 0;
    TcpReceiver::Options options;
    if (!intOption(parsed, "port", port) || !intOption(parsed, "count", count) ||
        !intOption(parsed, "quiet-ms", options.quietMs))
        return 2;
    const std::string *queue = parsed.option("queue");
    // A port given must be one (0 picks a free one); without --port the
    // receiver takes TCP_PORT.
    const bool badPort = parsed.option("port") && (port < 0 || port > 65535);
    if (!queue || !parsed.positionals.empty() || badPort || count < 0 || options.quietMs < 1) {
        fail("usage: keltool receive --queue DIR [--port N] [--address A] [--count K] "
             "[--quiet-ms M] [-v]");
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(*queue, ec)) {
        fail("not a folder: " + *queue);
        return 2;
    }
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    if (port < 0)
        port = wire::portSetting(env->settings.tcpPort);
    QHostAddress address(QHostAddress::Any);
    if (const std::string *a = parsed.option("address");
        a && !address.setAddress(QString::fromStdString(*a))) {
        fail("not an address: " + *a);
        return 2;
    }
    // The same limits as the console's receiver: TCP_ALLOW and TCP_COMMANDS
    // of KEL.INI; what is refused is said on stderr.
    options.policy.commandFiles = equalsNoCase(trimmed(env->settings.tcpCommands), "Y");
    std::vector<std::string> bad;
    options.allow = AllowList::parse(env->settings.tcpAllow, bad);
    const Messages &messages = env->messages;
    auto refused = [&messages](int message, const std::string &detail) {
        failWithMessage(messages, message, detail);
    };
    for (const std::string &entry : bad)
        refused(transfermsg::kBadAllowEntry, entry);
    QEventLoop loop;
    TcpReceiver receiver(*queue,
                         {statusPrinter(parsed.flag("v")),
                          [&](const std::string &name) {
                              std::printf("received %s\n", name.c_str());
                              std::fflush(stdout);
                          },
                          nullptr, refused},
                         std::move(options));
    std::string error;
    if (!receiver.listen(static_cast<uint16_t>(port), address, error)) {
        fail(error);
        return 2;
    }
    std::printf("listening on %u\n", unsigned(receiver.port()));
    std::fflush(stdout);
    // With --count the receiver stops once that many files have arrived and
    // their connections have closed; without it, it runs until stopped.
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (count > 0 && receiver.filesReceived() >= count && receiver.sessions() == 0)
            loop.quit();
    });
    check.start(20);
    loop.exec();
    return 0;
}

int send(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {"to"}, {"v"}, parsed))
        return 2;
    const std::string *to = parsed.option("to");
    if (!to || parsed.positionals.empty()) {
        fail("usage: keltool send FILE... --to HOST[:PORT] [-v]");
        return 2;
    }
    auto env = setUpEnvironment();
    if (!env)
        return 2;
    Result<wire::Destination> destination =
        wire::parseDestination(*to, wire::portSetting(env->settings.tcpPort));
    if (!destination) {
        fail(destination.refusal().detail);
        return 2;
    }
    SendJob job;
    for (const std::string &file : parsed.positionals) {
        std::error_code ec;
        const std::string path = std::filesystem::absolute(file, ec).string();
        std::string announced = path;
        std::replace(announced.begin(), announced.end(), '/', '\\');
        job.items.push_back({path, announced, false});
    }
    job.destination = *destination;
    job.destinationText = *to;
    QEventLoop loop;
    bool delivered = false;
    TcpSender sender({statusPrinter(parsed.flag("v")),
                      [&](const SendJob &, SendOutcome outcome, const std::string &detail) {
                          delivered = outcome == SendOutcome::Delivered;
                          if (!delivered)
                              fail("not sent: " + detail);
                          loop.quit();
                      }});
    sender.send(std::move(job));
    if (sender.busy())
        loop.exec();
    return delivered ? 0 : 1;
}

const CommandRegistration regTest({"testcnx", "FILE.cnx",
                                   "test a connection file's FTP folder (put, get, delete); "
                                   "prints tested=1 (exit 0) or tested=0 (exit 1)",
                                   &testcnx});
const CommandRegistration regReceive(
    {"receive", "--queue DIR [--port N] [--address A] [--count K] [--quiet-ms M] [-v]",
     "receive files over TCP into DIR as a console does (port: TCP_PORT, else 1001; 0 picks "
     "one); prints \"listening on PORT\" and \"received NAME\" lines; a message shorter "
     "than 900 bytes is taken after M ms of quiet (50)",
     &receive});
const CommandRegistration regSend({"send", "FILE... --to HOST[:PORT] [-v]",
                                   "send files over TCP to a console, one connection each; exit 1 "
                                   "when the destination does not take them within 20 seconds",
                                   &send});

} // namespace
} // namespace kel::cli
