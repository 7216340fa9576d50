// FTP fetching and the connection tester against a real FTP server on
// 127.0.0.1 (pyftpdlib, started and stopped by each test).
#include "support/testenv.h"
#include "transfer/curlftp.h"
#include "transfer/ftpfetcher.h"
#include "transfer/tester.h"
#include "transfer/transferservice.h"
#include "transfer/xtod.h"
#include "transfertest.h"

#include <QProcess>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using kel::test::entries;
using kel::test::waitFor;

namespace {

// A server root with the remote folder "in", and a queue folder.
struct Site
{
    Site() { std::filesystem::create_directories(root.file("in")); }
    std::string remote(const std::string &name) const { return root.file("in/" + name); }
    void put(const std::string &name, const std::string &bytes) const
    {
        root.write("in/" + name, bytes);
    }

    test::TempDir root;
    test::TempDir queue;
    test::TestEnvironment env;
};

// Runs one check of a fetcher to its end.
struct Fetch
{
    Fetch(Site &site, const Connection &connection)
        : fetcher(client, {site.env.messages, site.env.prompter, [this](const std::string &t) {
                               statuses.push_back(t);
                               heldWhileDownloading =
                                   heldWhileDownloading ||
                                   (t.rfind("message 102", 0) == 0 && fetcher.fetching());
                           }})
    {
        client.setConnection(connection);
        fetcher.setQueueFolder(site.queue.path());
        fetcher.checkEnded = [this] { ended = true; };
    }
    bool run()
    {
        ended = false;
        fetcher.check();
        return waitFor([this] { return ended; }, 30000);
    }
    bool said(const std::string &text) const
    {
        return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
    }

    CurlFtp client;
    std::vector<std::string> statuses;
    bool ended = false;
    bool heldWhileDownloading = false;
    FtpFetcher fetcher;
};

const std::string kPicture = std::string("\x89PNG\r\n\x1a\n\0\n\n\r", 12) + std::string(3000, '\n');

} // namespace

TEST(FtpFetcher, FetchesTheFolderAndEmptiesIt)
{
    Site site;
    test::FtpServer server(site.root.path());
    ASSERT_TRUE(server.ok());
    site.put("report.kel", "[HEADER]\n[DATA]\nline\n");
    site.put("a.k", "[HEADER]\r\n[DATA]\r\nfrom a.k\r\n");
    site.put("logo.png", kPicture);
    site.put("notes.ins", "one\ntwo\n");
    // A name the line-end conversion once used for its own work.
    site.put("XtoD", "data\n");

    Fetch fetch(site, {server.host(), "writer", "pw", "in"});
    ASSERT_TRUE(fetch.run());
    EXPECT_TRUE(entries(site.root.file("in")).empty());
    EXPECT_EQ(entries(site.queue.path()),
              (std::vector<std::string>{"XtoD", "a.kel", "logo.png", "notes.ins", "report.kel"}));
    EXPECT_EQ(test::readAll(site.queue.file("XtoD")), "data\n");
    EXPECT_EQ(test::readAll(site.queue.file("report.kel")), "[HEADER]\r\n[DATA]\r\nline\r\n");
    EXPECT_EQ(test::readAll(site.queue.file("a.kel")), "[HEADER]\r\n[DATA]\r\nfrom a.k\r\n");
    EXPECT_EQ(test::readAll(site.queue.file("notes.ins")), "one\r\ntwo\r\n");
    EXPECT_TRUE(test::readAll(site.queue.file("logo.png")) == kPicture);
    EXPECT_TRUE(fetch.said("message 99"));
    EXPECT_TRUE(fetch.said("message 102 report.kel"));
    EXPECT_TRUE(fetch.said("message 101 logo.png"));
    EXPECT_TRUE(fetch.heldWhileDownloading);
    EXPECT_FALSE(fetch.fetcher.fetching());
}

TEST(FtpFetcher, RefusedDownloadStaysOnTheServer)
{
    Site site;
    test::FtpServer server(site.root.path(), {"locked.kel"});
    ASSERT_TRUE(server.ok());
    site.put("locked.kel", "locked\n");
    site.put("free.kel", "free\n");
    Fetch fetch(site, {server.host(), "writer", "pw", "/in"});
    ASSERT_TRUE(fetch.run());
    EXPECT_EQ(entries(site.root.file("in")), std::vector<std::string>{"locked.kel"});
    EXPECT_EQ(entries(site.queue.path()), std::vector<std::string>{"free.kel"});
    EXPECT_FALSE(fetch.said("message 101 locked.kel"));
}

TEST(FtpFetcher, NothingIsFetchedWithoutWork)
{
    Site site;
    test::FtpServer server(site.root.path());
    ASSERT_TRUE(server.ok());
    site.put("logo.png", kPicture);
    site.put("half.k", "still arriving");
    Fetch fetch(site, {server.host(), "writer", "pw", "in"});
    ASSERT_TRUE(fetch.run());
    EXPECT_EQ(entries(site.root.file("in")), (std::vector<std::string>{"half.k", "logo.png"}));
    EXPECT_TRUE(entries(site.queue.path()).empty());
    EXPECT_TRUE(fetch.said("message 99"));
    EXPECT_FALSE(fetch.heldWhileDownloading);

    // A server that cannot be reached ends the check too.
    Fetch unreachable(site,
                      {"127.0.0.1:" + std::to_string(test::freePort()), "writer", "pw", "in"});
    ASSERT_TRUE(unreachable.run());
    EXPECT_TRUE(entries(site.queue.path()).empty());
}

TEST(FtpFetcher, ListingsAreReadAsBareNames)
{
    const std::string listing = " report.kel \r\n./\r\n../\r\n.\r\n\r\nsub/evil.kel\r\n"
                                "..\\up.kel\r\n.hidden.kel\r\nlogo.png\nlast.CMD";
    const ListedNames names = readListing(listing);
    EXPECT_EQ(names.names, (std::vector<std::string>{"report.kel", "logo.png", "last.CMD"}));
    EXPECT_EQ(names.skipped,
              (std::vector<std::string>{"sub/evil.kel", "..\\up.kel", ".hidden.kel"}));
    EXPECT_TRUE(names.workWaiting);
    EXPECT_FALSE(readListing("a.png\r\nb.k\r\nc.ins\r\n").workWaiting);

    std::string thousandAndOne;
    for (int i = 0; i < 1001; ++i)
        thousandAndOne += "f" + std::to_string(i) + ".png\r\n";
    EXPECT_EQ(readListing(thousandAndOne).names.size(), 1000u);

    EXPECT_TRUE(convertsLineEnds("a.ins"));
    EXPECT_TRUE(convertsLineEnds("A.TxT"));
    EXPECT_FALSE(convertsLineEnds("a.png"));
    EXPECT_FALSE(convertsLineEnds("ins"));
}

TEST(Xtod, LineEnds)
{
    struct Row
    {
        const char *name;
        std::string in, out;
    };
    const std::string longLf = std::string(2500, 'x') + "\n" + std::string(10, 'y') + "\n";
    const Row rows[] = {
        {"line feeds alone", "a\nb\n", "a\r\nb\r\n"},
        {"already CR LF", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"a short CR LF file gets no second CR", "a\r\n", "a\r\n"},
        {"one CR LF anywhere leaves the file as it is", "a\nb\r\nc\n", "a\nb\r\nc\n"},
        {"a long file", longLf, std::string(2500, 'x') + "\r\n" + std::string(10, 'y') + "\r\n"},
        {"a lone CR stays", "a\rb", "a\rb"},
        {"empty", "", ""},
    };
    test::TestEnvironment env;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(xtod(row.in), row.out);
        const std::string source = env.dir.write("in", row.in);
        ASSERT_TRUE(xtodFile(source, env.dir.file("out"), env.prompter).ok());
        EXPECT_EQ(test::readAll(env.dir.file("out")), row.out);
    }
    // CR LF split across the reading chunks.
    const std::string straddling = std::string(64 * 1024 - 1, 'x') + "\r\n" + "z\n";
    const std::string source = env.dir.write("in", straddling);
    ASSERT_TRUE(xtodFile(source, env.dir.file("out"), env.prompter).ok());
    EXPECT_TRUE(test::readAll(env.dir.file("out")) == straddling);
    EXPECT_TRUE(env.prompter.prompts().empty());

    EXPECT_FALSE(xtodFile(source, source, env.prompter).ok());
    EXPECT_FALSE(xtodFile(source, env.dir.file("no/such/folder"), env.prompter).ok());
    ASSERT_EQ(env.prompter.prompts().size(), 2u);
    EXPECT_EQ(env.prompter.prompts()[0].text,
              QStringLiteral("Can't continue. Source and destination must be different."));
    EXPECT_EQ(env.prompter.prompts()[0].title, QStringLiteral("Error XTOD"));
    EXPECT_EQ(env.prompter.prompts()[1].text,
              QStringLiteral("XTOD operation will not be completed because system couldn't open "
                             "destination file."));
    EXPECT_EQ(env.prompter.prompts()[1].icon, PromptIcon::Critical);
}

TEST(ConnectionTester, PassesOnAWritableFolderAndFailsOnAReadOnlyOne)
{
    Site site;
    test::FtpServer server(site.root.path());
    ASSERT_TRUE(server.ok());
    struct Row
    {
        const char *name;
        Connection connection;
        bool passes;
    };
    const Row rows[] = {
        {"writable folder", {server.host(), "writer", "pw", "in"}, true},
        {"read-only account", {server.host(), "reader", "pw", "in"}, false},
        {"wrong password", {server.host(), "writer", "nope", "in"}, false},
        {"no server there",
         {"127.0.0.1:" + std::to_string(test::freePort()), "w", "pw", "in"},
         false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        CurlFtp client;
        client.setConnection(row.connection);
        ConnectionTester tester(client, site.env.folders.temp);
        int outcome = -1;
        tester.run([&](bool passed) { outcome = passed ? 1 : 0; });
        ASSERT_TRUE(waitFor([&] { return outcome >= 0; }, 60000));
        EXPECT_EQ(outcome == 1, row.passes) << tester.detail();
        EXPECT_EQ(tester.detail().empty(), row.passes);
        EXPECT_FALSE(std::filesystem::exists(tester.localFile()));
        EXPECT_TRUE(entries(site.root.file("in")).empty());
    }
}

TEST(ConnectionTester, KeltoolTestcnx)
{
    Site site;
    test::FtpServer server(site.root.path());
    ASSERT_TRUE(server.ok());
    const std::string good = site.env.dir.file("good.cnx");
    const std::string readOnly = site.env.dir.file("ro.cnx");
    ASSERT_TRUE(writeConnectionFile(good, {server.host(), "writer", "pw", "in"}).ok());
    ASSERT_TRUE(writeConnectionFile(readOnly, {server.host(), "reader", "pw", "in"}).ok());
    struct Row
    {
        const char *name;
        std::string file;
        std::string out;
        int code;
    };
    const Row rows[] = {
        {"passing connection", good, "tested=1", 0},
        {"name without extension", site.env.dir.file("good"), "tested=1", 0},
        {"read-only folder", readOnly, "tested=0", 1},
        {"no such file", site.env.dir.file("none.cnx"), "tested=0", 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QProcess keltool;
        keltool.start(QStringLiteral(KEL_BIN_DIR "/keltool"),
                      {QStringLiteral("testcnx"), QString::fromStdString(row.file)});
        // The FTP server runs in another process: plain waiting is fine.
        ASSERT_TRUE(keltool.waitForFinished(60000));
        EXPECT_EQ(keltool.readAllStandardOutput().toStdString(), row.out + "\n");
        EXPECT_EQ(keltool.exitCode(), row.code) << keltool.readAllStandardError().toStdString();
    }
}

TEST(TransferService, AppliedConnectionFetchesAfterTheTickAndTestsConnections)
{
    Site site;
    test::FtpServer server(site.root.path());
    ASSERT_TRUE(server.ok());
    site.put("job.kel", "[HEADER]\n[DATA]\nx\n");
    const std::string cnx = site.env.dir.file("office.cnx");
    ASSERT_TRUE(writeConnectionFile(cnx, {server.host(), "writer", "pw", "in"}).ok());

    std::vector<std::string> statuses;
    TransferService service({site.env.settings, site.env.messages, site.env.prompter,
                             site.env.folders.temp,
                             [&](const std::string &t) { statuses.push_back(t); }});
    service.setListenAddress(QHostAddress::LocalHost);
    service.setListenPort(0);
    service.start(site.queue.path());
    EXPECT_FALSE(service.connectionLoaded());
    service.applyConnection(site.env.dir.file("missing"), 5);
    EXPECT_FALSE(service.connectionLoaded());
    service.applyConnection(site.env.dir.file("office"), 60);
    ASSERT_TRUE(service.connectionLoaded());
    EXPECT_EQ(service.connection().user, "writer");

    service.tickEnded();
    ASSERT_TRUE(
        waitFor([&] { return std::filesystem::exists(site.queue.file("job.kel")); }, 30000));
    ASSERT_TRUE(waitFor([&] { return !service.holdsMainTick(); }, 30000));
    EXPECT_TRUE(entries(site.root.file("in")).empty());

    const ConnectionTools tools = service.connectionTools();
    EXPECT_TRUE(tools.test(cnx));
    EXPECT_FALSE(tools.test(site.env.dir.file("none.cnx")));
    EXPECT_EQ(site.env.prompter.numbers(), (std::vector<int>{239, 240}));
    EXPECT_EQ(site.env.prompter.prompts()[1].icon, PromptIcon::Critical);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "message 236"), statuses.end());
    service.dropConnection();
    EXPECT_FALSE(service.connectionLoaded());
}
