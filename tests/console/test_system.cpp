// The real program: "kel -H -P<folder>" started on a private queue folder,
// program folder (KEL.INI with "pdf:" printers, the build's KEL.LNG) and
// temporary folder; files are dropped in and the PDFs read back with
// poppler's tools. Every wait is bounded and every process is ended by the
// test that started it.
#include "consolefixture.h"
#include "documents/packed.h"
#include "support/silentscheduler.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QThread>
#include <arpa/inet.h>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace kel;
using test::crlf;
namespace fs = std::filesystem;

namespace {

bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (done())
            return true;
        QThread::msleep(50);
    }
    return done();
}

std::string pagesReport(int n, const std::string &title)
{
    std::string r = crlf({"REPORT_TITLE=" + title, "[HEADER]", "[DATA]"});
    for (int i = 1; i <= n; ++i)
        r += title + " page " + std::to_string(i) + (i < n ? "{\\NP}\r\n" : "\r\n");
    return r;
}

// A private installation and the console processes started on it.
class Server
{
public:
    explicit Server(const std::string &printer = {},
                    const std::vector<std::string> &moreSettings = {})
    {
        for (const std::string &d : {home, temp, queue, out})
            fs::create_directories(d);
        fs::copy_file(std::string(KEL_BIN_DIR) + "/KEL.LNG", home + "/KEL.LNG");
        const std::string p = printer.empty() ? "pdf:" + out : printer;
        std::string ini =
            crlf({"QUEUE_PATH=" + root.path() + "/not-this-one", "PRINT_KEL=Y", "PRINT_KEZ=Y",
                  "PRINT_TXT=Y", "KEL_PRINTER=" + p, "KEZ_PRINTER=" + p, "TXT_PRINTER=" + p,
                  "LST_PRINTER=" + p, "PRN_PRINTER=" + p});
        for (const std::string &line : moreSettings)
            ini += line + "\r\n";
        writeFile(home + "/KEL.INI", ini);
    }
    ~Server()
    {
        for (auto &p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(10000);
            }
        }
    }

    QProcess &start()
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KEL_HOME"), QString::fromStdString(home));
        env.insert(QStringLiteral("TEMP"), QString::fromStdString(temp));
        env.remove(QStringLiteral("DISPLAY"));
        p->setProcessEnvironment(env);
        p->setStandardOutputFile(QString::fromStdString(root.file("stdout.log")),
                                 QIODevice::Append);
        p->setStandardErrorFile(QString::fromStdString(root.file("stderr.log")), QIODevice::Append);
        p->start(QStringLiteral(KEL_BIN_DIR "/kel"),
                 {QStringLiteral("-H"), QString::fromStdString("-P" + queue + "/")});
        EXPECT_TRUE(p->waitForStarted(10000));
        m_processes.push_back(std::move(p));
        return *m_processes.back();
    }

    void drop(const std::string &name, std::string_view bytes) const
    {
        // Written beside the queue and moved in, as a careful sender does;
        // the chunked test below writes in place.
        const std::string part = root.file(name + ".part");
        writeFile(part, bytes);
        fs::rename(part, queue + "/" + name);
    }
    bool inQueue(const std::string &name) const { return fs::exists(queue + "/" + name); }
    std::vector<std::string> pdfs() const
    {
        std::vector<std::string> files;
        for (const auto &e : fs::directory_iterator(out)) {
            if (e.path().extension() == ".pdf")
                files.push_back(e.path().string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }
    std::vector<int> pdfPageCounts() const
    {
        std::vector<int> pages;
        for (const std::string &f : pdfs())
            pages.push_back(test::pdfPages(f));
        std::sort(pages.begin(), pages.end());
        return pages;
    }
    std::string log() const
    {
        std::string text;
        readFile(root.file("stderr.log"), text);
        return text;
    }
    // Packs a report with its pictures, as a user does with keltool.
    bool pack(const std::string &report, const std::string &packed) const
    {
        QProcess keltool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KEL_HOME"), QString::fromStdString(home));
        env.insert(QStringLiteral("TEMP"), QString::fromStdString(temp));
        keltool.setProcessEnvironment(env);
        keltool.start(QStringLiteral(KEL_BIN_DIR "/keltool"),
                      {QStringLiteral("pack"), QString::fromStdString(report),
                       QString::fromStdString(packed)});
        return keltool.waitForFinished(30000) && keltool.exitStatus() == QProcess::NormalExit &&
               keltool.exitCode() == 0;
    }

    test::TempDir root;
    std::string home = root.path() + "/home";
    std::string temp = root.path() + "/tmp";
    std::string queue = root.path() + "/queue";
    std::string out = root.path() + "/out";

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// A TCP port on 127.0.0.1 that nothing listens on just now.
int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

// Pixels near a colour on the first page of a PDF, drawn at 30 dpi (the
// renderer's colour handling may move a channel by a step or two).
int pixelsOf(const std::string &pdf, QRgb colour, const std::string &folder)
{
    const std::string png = folder + "/page";
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-png"),
                       QStringLiteral("-singlefile"), QString::fromStdString(pdf),
                       QString::fromStdString(png)});
    const QImage page(QString::fromStdString(png + ".png"));
    int n = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QRgb p = page.pixel(x, y);
            n += std::abs(qRed(p) - qRed(colour)) < 40 &&
                 std::abs(qGreen(p) - qGreen(colour)) < 40 &&
                 std::abs(qBlue(p) - qBlue(colour)) < 40;
        }
    }
    return n;
}

} // namespace

// Two consoles on one machine, each with its own settings, port, queue and
// temporary folder: a report with SEND_TO and two pictures dropped into the
// first, plain and packed, is printed by the second, pictures and all, and
// leaves nothing behind in the first.
TEST(ConsoleSystem, ForwardsAReportWithItsPicturesToAnotherConsole)
{
    const int firstPort = freePort();
    const int secondPort = freePort();
    ASSERT_GT(firstPort, 0);
    ASSERT_GT(secondPort, 0);
    Server first({}, {"TCP_PORT=" + std::to_string(firstPort)});
    Server second({}, {"TCP_PORT=" + std::to_string(secondPort)});
    // The pictures sit in a folder of the sending side only, one that its
    // KEL.INI lets reports read from (a forwarded report's pictures are
    // read only from the allowed folders).
    const std::string pictures = first.root.path() + "/pictures";
    fs::create_directories(pictures);
    {
        std::string ini;
        ASSERT_TRUE(readFile(first.home + "/KEL.INI", ini));
        ASSERT_TRUE(writeFile(first.home + "/KEL.INI", ini + "RESOURCE_PATH=" + pictures + "\r\n"));
    }
    for (const auto &[name, colour] :
         {std::pair{"red.png", qRgb(255, 0, 0)}, std::pair{"blue.png", qRgb(0, 0, 255)}}) {
        QImage image(40, 40, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(QString::fromStdString(pictures + "/" + name)));
    }
    QProcess &sender = first.start();
    QProcess &receiver = second.start();
    ASSERT_TRUE(
        waitUntil([&] { return second.log().find("kel: 112:") != std::string::npos; }, 15000));

    const std::string report =
        crlf({"REPORT_TITLE=sent", "SEND_TO=127.0.0.1:" + std::to_string(secondPort), "[HEADER]",
              "[DATA]", "{PIC=" + pictures + "/red.png,1000,1000,2880,2880}",
              "{PIC=" + pictures + "/blue.png,5000,1000,2880,2880}", "forwarded"});
    // The packed report's pictures travel inside it, unpacked by the first
    // console into its temporary folder.
    const std::string source = first.root.write("packsrc/packed.kel", report);
    ASSERT_TRUE(first.pack(source, first.root.file("packed.kel")));
    first.drop("sent.kel", report);
    ASSERT_TRUE(waitUntil([&] { return second.pdfs().size() == 1; }, 60000))
        << first.log() << second.log();
    fs::rename(first.root.file("packed.kel"), first.queue + "/packed.kel");
    ASSERT_TRUE(waitUntil([&] { return second.pdfs().size() == 2; }, 60000))
        << first.log() << second.log();
    EXPECT_TRUE(waitUntil([&] { return fs::is_empty(first.queue); }, 15000)) << first.log();
    EXPECT_TRUE(first.pdfs().empty());
    EXPECT_FALSE(second.inQueue("sent.kel"));
    // Nor do the unpacked pictures stay in the first console's temporary
    // folder.
    const auto picturesIn = [](const std::string &folder) {
        int n = 0;
        for (const auto &e : fs::recursive_directory_iterator(folder))
            n += e.path().extension() == ".png";
        return n;
    };
    EXPECT_TRUE(waitUntil([&] { return picturesIn(first.temp) == 0; }, 15000));

    for (const std::string &pdf : second.pdfs()) {
        SCOPED_TRACE(pdf);
        EXPECT_EQ(test::pdfPages(pdf), 1);
        EXPECT_GT(pixelsOf(pdf, qRgb(255, 0, 0), second.root.path()), 100);
        EXPECT_GT(pixelsOf(pdf, qRgb(0, 0, 255), second.root.path()), 100);
    }
    sender.terminate();
    receiver.terminate();
    EXPECT_TRUE(sender.waitForFinished(15000));
    EXPECT_TRUE(receiver.waitForFinished(15000));
}

TEST(ConsoleSystem, ServesTheQueueAndObeysCommandFiles)
{
    Server s;
    QProcess &console = s.start();

    s.drop("report.kel", pagesReport(2, "report"));
    s.drop("listing.txt", "first\r\n\x0c\r\nsecond\r\n\x0c\r\nthird\r\n");
    s.drop("letter.tpl", crlf({"REPORT_TITLE=letter", "[HEADER]", "[DATA]", "Dear @NAME"}));
    s.drop("data.kez", "TEMPLATE=letter.tpl\r\n@NAME=Ada\r\n");
    const std::string source = s.root.write("packsrc/packed.kel", pagesReport(4, "packed"));
    std::string error;
    ASSERT_TRUE(makePackedFile(source, s.root.file("packed.kel"), error)) << error;
    fs::rename(s.root.file("packed.kel"), s.queue + "/packed.kel");

    ASSERT_TRUE(waitUntil([&] { return s.pdfs().size() >= 4; }, 30000)) << s.log();
    QThread::msleep(1500); // and not one more
    EXPECT_EQ(s.pdfPageCounts(), (std::vector<int>{1, 2, 3, 4})) << s.log();
    for (const char *name : {"report.kel", "listing.txt", "listing.txt.kel", "data.kez",
                             "data.kez.kel", "packed.kel", "00000000.$$$"})
        EXPECT_FALSE(s.inQueue(name)) << name;

    // A held report waits for "release_all", written in small letters.
    s.drop("held.ke", pagesReport(5, "held"));
    QThread::msleep(2500);
    EXPECT_EQ(s.pdfs().size(), 4u);
    EXPECT_TRUE(s.inQueue("held.ke"));
    s.drop("go.cmd", "  release_all  \r\n");
    ASSERT_TRUE(waitUntil([&] { return s.pdfs().size() == 5; }, 20000)) << s.log();
    EXPECT_EQ(s.pdfPageCounts().back(), 5);

    // A closed queue keeps its files until it is opened again.
    s.drop("close.cmd", "CLOSE_QUEUE\r\n");
    ASSERT_TRUE(waitUntil([&] { return !s.inQueue("close.cmd"); }, 20000));
    s.drop("waits.kel", pagesReport(6, "waits"));
    QThread::msleep(2500);
    EXPECT_EQ(s.pdfs().size(), 5u);
    s.drop("open.cmd", "OPEN_QUEUE\r\n");
    ASSERT_TRUE(waitUntil([&] { return s.pdfs().size() == 6; }, 20000)) << s.log();

    // One console per temporary folder.
    QProcess &second = s.start();
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_NE(s.log().find("kel: 109: "), std::string::npos) << s.log();

    // SHUTDOWN ends it with status 0 and leaves its file for the next start.
    s.drop("stop.cmd", "SHUTDOWN\r\n");
    ASSERT_TRUE(console.waitForFinished(20000));
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(console.exitCode(), 0);
    EXPECT_TRUE(s.inQueue("stop.cmd"));
    EXPECT_NE(s.log().find("kel: 255: "), std::string::npos) << s.log();
}

TEST(ConsoleSystem, AReportWrittenInChunksIsPrintedOnceWhole)
{
    Server s;
    QProcess &console = s.start();
    ASSERT_TRUE(waitUntil([&] { return s.log().find("kel: 112") != std::string::npos; }, 20000));
    {
        QFile file(QString::fromStdString(s.queue + "/slow.kel"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("REPORT_TITLE=slow\r\n[HEADER]\r\n[DATA]\r\n");
        for (int i = 1; i <= 8; ++i) {
            file.write(("chunk " + std::to_string(i) + (i < 8 ? "{\\NP}\r\n" : "\r\n")).c_str());
            file.flush();
            QThread::msleep(400);
        }
    }
    ASSERT_TRUE(waitUntil([&] { return !s.pdfs().empty(); }, 30000)) << s.log();
    QThread::msleep(2000);
    EXPECT_EQ(s.pdfPageCounts(), (std::vector<int>{8})) << s.log();
    EXPECT_FALSE(s.inQueue("slow.kel"));
    console.terminate();
    EXPECT_TRUE(console.waitForFinished(20000));
    EXPECT_EQ(console.exitCode(), 0);
}

TEST(ConsoleSystem, AConsoleKilledInTheMiddleOfAJobPrintsItWholeOnRestart)
{
    Server s;
    QProcess &first = s.start();
    // Enough pages that the job is still being written when the test looks
    // (the PDF writer prints some ten thousand simple pages a second).
    const int pages = 30000;
    s.drop("long.kel", pagesReport(pages, "long"));
    // The job has begun when its PDF is being written under its temporary name.
    const auto partial = [&] {
        for (const auto &e : fs::directory_iterator(s.out)) {
            if (e.path().extension() == ".part")
                return true;
        }
        return false;
    };
    ASSERT_TRUE(waitUntil(partial, 30000)) << s.log();
    ASSERT_TRUE(s.pdfs().empty()) << "the job ended before it could be cut short";
    kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_TRUE(s.inQueue("long.kel"));
    EXPECT_TRUE(s.pdfs().empty());

    s.start();
    ASSERT_TRUE(waitUntil([&] { return !s.pdfs().empty(); }, 120000)) << s.log();
    ASSERT_TRUE(waitUntil([&] { return !s.inQueue("long.kel"); }, 10000));
    for (const std::string &pdf : s.pdfs())
        EXPECT_EQ(test::pdfPages(pdf), pages) << pdf;
}

TEST(ConsoleSystem, PrintsThroughCups)
{
    const QByteArray queueName = qgetenv("KEL_CUPS_PRINTER");
    const QByteArray pdfFolder = qgetenv("KEL_CUPS_PDF_DIR");
    if (queueName.isEmpty() || pdfFolder.isEmpty())
        GTEST_SKIP() << "no CUPS queue: run tools/cups-setup.sh and export what it prints";
    Server s(queueName.toStdString());
    s.start();
    const std::string token = "kelconsole" + std::to_string(getpid());
    s.drop("cups.kel", pagesReport(2, token));
    ASSERT_TRUE(waitUntil([&] { return !s.inQueue("cups.kel"); }, 60000)) << s.log();
    std::string found;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const auto &e : fs::directory_iterator(pdfFolder.toStdString())) {
                const std::string name = e.path().filename().string();
                if (name.find(token) != std::string::npos && e.path().extension() == ".pdf" &&
                    test::pdfPages(e.path().string()) > 0) {
                    found = e.path().string();
                    return true;
                }
            }
            return false;
        },
        60000))
        << s.log();
    // The job reached CUPS as a PDF with its text, which cups-pdf keeps.
    EXPECT_EQ(test::pdfPages(found), 2);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QString::fromStdString(found), QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    EXPECT_TRUE(
        text.readAllStandardOutput().contains(QByteArray::fromStdString(token + " page 2")));
    fs::remove(found);
}

// A print scheduler that takes connections and never answers (a stopped
// cupsd): the console goes on obeying command files within seconds, and a
// report for a CUPS queue stays queued, said with the reason.
TEST(ConsoleSystem, AStoppedSchedulerLeavesTheReportQueuedAndCommandFilesObeyed)
{
    test::SilentScheduler cups; // the console started below asks it
    Server s("office");
    QProcess &console = s.start();
    ASSERT_TRUE(waitUntil([&] { return s.log().find("kel: 112") != std::string::npos; }, 20000));
    s.drop("report.kel", pagesReport(1, "report"));
    ASSERT_TRUE(
        waitUntil([&] { return s.log().find("did not answer") != std::string::npos; }, 20000))
        << s.log();
    EXPECT_GE(cups.connections(), 1);

    QElapsedTimer obeyed;
    obeyed.start();
    s.drop("close.cmd", "CLOSE_QUEUE\r\n");
    ASSERT_TRUE(waitUntil([&] { return !s.inQueue("close.cmd"); }, 20000)) << s.log();
    EXPECT_LT(obeyed.elapsed(), 8000) << s.log();
    EXPECT_TRUE(s.inQueue("report.kel"));
    EXPECT_TRUE(s.pdfs().empty());

    s.drop("stop.cmd", "SHUTDOWN\r\n");
    ASSERT_TRUE(console.waitForFinished(20000));
    EXPECT_EQ(console.exitCode(), 0);
    EXPECT_TRUE(s.inQueue("report.kel"));
}
