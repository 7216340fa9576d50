// The real program: "kel -H -P<folder>" started on a private queue folder,
// program folder (KEL.INI with "pdf:" printers, the build's KEL.LNG) and
// temporary folder; files are dropped in and the PDFs read back with
// poppler's tools. Every wait is bounded and every process is ended by the
// test that started it.
#include "app/joblog.h"
#include "consolefixture.h"
#include "documents/packed.h"
#include "support/silentscheduler.h"

#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QThread>
#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
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

// Writers that hold the file open and pause (a database query between two
// parts of a report) and a shell script that appends line by line: each
// report is printed once, whole, however long the writer pauses.
TEST(ConsoleSystem, APausingWriterAndAnAppendingScriptArePrintedOnceWhole)
{
    Server s;
    QProcess &console = s.start();
    ASSERT_TRUE(waitUntil([&] { return s.log().find("kel: 112") != std::string::npos; }, 20000));
    // One page per line: the page count shows how much was printed.
    const auto lines = [](const std::string &title, int from, int to, bool last) {
        std::string text;
        for (int i = from; i <= to; ++i)
            text += title + " " + std::to_string(i) + (last && i == to ? "\r\n" : "{\\NP}\r\n");
        return text;
    };
    std::vector<std::thread> writers;
    for (int pauseMs : {1500, 3000, 10000}) {
        writers.emplace_back([&, pauseMs] {
            const std::string title = "p" + std::to_string(pauseMs);
            std::FILE *f = std::fopen((s.queue + "/" + title + ".kel").c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fputs(("REPORT_TITLE=" + title + "\r\n[HEADER]\r\n[DATA]\r\n").c_str(), f);
            std::fputs(lines(title, 1, 49, false).c_str(), f);
            std::fflush(f);
            QThread::msleep(pauseMs);
            std::fputs(lines(title, 50, 248, true).c_str(), f);
            std::fclose(f);
        });
    }
    const std::string script = s.root.file("append.sh");
    writeFile(script, "printf 'REPORT_TITLE=a\\r\\n[HEADER]\\r\\n[DATA]\\r\\n' >> \"$1\"\n"
                      "i=1; while [ $i -lt 120 ]; do printf '%s{\\\\NP}\\r\\n' \"a $i\" >> \"$1\"; "
                      "i=$((i+1)); done\nprintf 'a 120\\r\\n' >> \"$1\"\n");
    QProcess shell;
    shell.start(QStringLiteral("sh"),
                {QString::fromStdString(script), QString::fromStdString(s.queue + "/a.kel")});
    ASSERT_TRUE(shell.waitForFinished(30000));
    for (std::thread &w : writers)
        w.join();
    ASSERT_TRUE(waitUntil([&] { return s.pdfs().size() >= 4; }, 30000)) << s.log();
    QThread::msleep(1500);
    EXPECT_EQ(s.pdfPageCounts(), (std::vector<int>{120, 248, 248, 248})) << s.log();
    for (const char *name : {"a.kel", "p1500.kel", "p3000.kel", "p10000.kel"})
        EXPECT_FALSE(s.inQueue(name)) << name;
    console.terminate();
    EXPECT_TRUE(console.waitForFinished(20000));
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
    const std::string firstLock = s.temp + "/Kel-" + std::to_string(getuid()) + "/instance-" +
                                  std::to_string(first.processId()) + ".lock";
    kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_TRUE(s.inQueue("long.kel"));
    EXPECT_TRUE(s.pdfs().empty());

    s.start();
    ASSERT_TRUE(waitUntil([&] { return !s.pdfs().empty(); }, 120000)) << s.log();
    ASSERT_TRUE(waitUntil([&] { return !s.inQueue("long.kel"); }, 10000));
    for (const std::string &pdf : s.pdfs())
        EXPECT_EQ(test::pdfPages(pdf), pages) << pdf;
    // The killed console's litter is gone: its lock file, and the PDF it
    // had half written.
    EXPECT_FALSE(partial()) << s.log();
    std::vector<std::string> locks;
    for (const auto &e : fs::recursive_directory_iterator(s.temp)) {
        if (e.path().extension() == ".lock" &&
            e.path().filename().string().rfind("instance-", 0) == 0)
            locks.push_back(e.path().string());
    }
    EXPECT_EQ(locks.size(), 1u) << "only the running console's";
    EXPECT_FALSE(fs::exists(firstLock));
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

namespace {

struct ToolRun
{
    int code = -1;
    std::string out;
    std::string err;
};

// keltool on the server's program folder, as an administrator runs it.
ToolRun keltool(const Server &s, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KEL_HOME"), QString::fromStdString(s.home));
    env.insert(QStringLiteral("TEMP"), QString::fromStdString(s.temp + "-tool"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KEL_BIN_DIR "/keltool"), args);
    ToolRun r;
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

std::vector<JobLogEntry> entriesOf(const std::string &log, const std::string &file,
                                   const std::string &outcome)
{
    std::vector<JobLogEntry> found;
    for (const JobLogEntry &e : readJobLog(log)) {
        if (e.file == file && e.outcome == outcome)
            found.push_back(e);
    }
    return found;
}

} // namespace

// The job record of a running console and the queue commands beside it: a
// printed report's line carries every field; a failed file is listed as
// failed with its reason and is tried again on "retry"; a file released
// while the console works through a long queue is printed; a file deleted
// while it is printed is printed once and leaves nothing behind.
TEST(ConsoleSystem, JobRecordAndQueueControlFromTheShell)
{
    Server s;
    const std::string log = s.root.file("jobs.log");
    std::string ini;
    readFile(s.home + "/KEL.INI", ini);
    writeFile(s.home + "/KEL.INI", ini + "JOB_LOG=" + log + "\r\n");
    const std::string report = pagesReport(2, "recorded");
    s.drop("held.ke", pagesReport(1, "held"));
    s.start();
    ASSERT_TRUE(waitUntil([&] { return s.log().find("kel: 112") != std::string::npos; }, 20000));
    s.drop("a.kel", report);
    s.drop("bad.kel", "no sections here\r\n");
    ASSERT_TRUE(waitUntil([&] { return !entriesOf(log, "bad.kel", "failed").empty(); }, 30000))
        << s.log();
    ASSERT_TRUE(waitUntil([&] { return !entriesOf(log, "a.kel", "printed").empty(); }, 30000))
        << s.log();

    // The fields of a printed report and of the start.
    const JobLogEntry printed = entriesOf(log, "a.kel", "printed").front();
    EXPECT_TRUE(QDateTime::fromString(QString::fromStdString(printed.time), Qt::ISODate).isValid())
        << printed.time;
    EXPECT_EQ(printed.event, "file");
    EXPECT_EQ(printed.type, "KEL");
    EXPECT_EQ(printed.size, std::to_string(report.size()));
    EXPECT_EQ(printed.pages, "2");
    EXPECT_EQ(printed.printer, "pdf:" + s.out);
    EXPECT_TRUE(fs::exists(printed.job)) << printed.job;
    EXPECT_EQ(printed.message, "255");
    EXPECT_FALSE(printed.duration.empty());
    EXPECT_EQ(printed.duration.find_first_not_of("0123456789"), std::string::npos);
    const std::vector<JobLogEntry> all = readJobLog(log);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().event, "start");
    EXPECT_NE(all.front().detail.find(s.queue), std::string::npos) << all.front().detail;

    // The queue as a script reads it; the failed file with its reason.
    ToolRun q = keltool(s, {QStringLiteral("queue"), QString::fromStdString(s.queue)});
    ASSERT_EQ(q.code, 0) << q.err;
    EXPECT_NE(q.out.find("failed\tbad.kel\t18\t"), std::string::npos) << q.out;
    EXPECT_NE(q.out.find("held\theld.ke\t"), std::string::npos) << q.out;
    EXPECT_EQ(q.out.find("a.kel"), std::string::npos) << q.out;
    const ToolRun failed = keltool(s, {QStringLiteral("jobs"), QStringLiteral("--failed")});
    ASSERT_EQ(failed.code, 0) << failed.err;
    EXPECT_NE(failed.out.find("\tbad.kel\t"), std::string::npos) << failed.out;
    EXPECT_EQ(failed.out.find("\ta.kel\t"), std::string::npos) << failed.out;

    // A retry takes the failed file once more; it fails again, said again.
    ASSERT_EQ(keltool(s, {QStringLiteral("retry"), QStringLiteral("bad.kel"),
                          QStringLiteral("--queue"), QString::fromStdString(s.queue)})
                  .code,
              0);
    EXPECT_TRUE(waitUntil([&] { return entriesOf(log, "bad.kel", "failed").size() == 2; }, 30000))
        << s.log();

    // A long queue keeps the console busy; a release in the middle of its
    // pass is printed at the next one, and a file deleted while it is
    // printed is printed once and is not taken again.
    for (int i = 0; i < 6; ++i)
        s.drop("busy" + std::to_string(i) + ".kel", pagesReport(4000, "busy"));
    s.drop("zbig.kel", pagesReport(40000, "big"));
    ASSERT_TRUE(waitUntil([&] { return !entriesOf(log, "busy0.kel", "printed").empty(); }, 60000))
        << s.log();
    const ToolRun released =
        keltool(s, {QStringLiteral("release"), QStringLiteral("held.ke"), QStringLiteral("--queue"),
                    QString::fromStdString(s.queue)});
    ASSERT_EQ(released.code, 0) << released.err;
    EXPECT_TRUE(s.inQueue("held.kel"));
    const auto partial = [&] {
        for (const auto &e : fs::directory_iterator(s.out)) {
            if (e.path().extension() == ".part")
                return !entriesOf(log, "busy5.kel", "printed").empty();
        }
        return false;
    };
    ASSERT_TRUE(waitUntil(partial, 120000)) << s.log();
    const ToolRun deleted =
        keltool(s, {QStringLiteral("delete"), QStringLiteral("zbig.kel"), QStringLiteral("--queue"),
                    QString::fromStdString(s.queue)});
    ASSERT_EQ(deleted.code, 0) << deleted.err;
    ASSERT_TRUE(waitUntil([&] { return !entriesOf(log, "zbig.kel", "printed").empty(); }, 120000))
        << s.log();
    EXPECT_TRUE(waitUntil([&] { return !entriesOf(log, "held.kel", "printed").empty(); }, 30000))
        << s.log();
    EXPECT_EQ(entriesOf(log, "zbig.kel", "printed").size(), 1u);
    EXPECT_TRUE(entriesOf(log, "zbig.kel", "failed").empty());
    EXPECT_FALSE(s.inQueue("zbig.kel"));

    // A name from outside never leaves the queue folder.
    const ToolRun outside =
        keltool(s, {QStringLiteral("delete"), QStringLiteral("../home/KEL.INI"),
                    QStringLiteral("--queue"), QString::fromStdString(s.queue)});
    EXPECT_EQ(outside.code, 1);
    EXPECT_TRUE(fs::exists(s.home + "/KEL.INI"));
}

// Lines on stderr carry the local time, or under the journal (its stream
// named by JOURNAL_STREAM) their syslog priority, which the journal keeps
// as the line's level: 6 for what the console did, 3 for a file it left.
TEST(ConsoleSystem, HeadlessLinesCarryATimeOrTheirPriorityForTheJournal)
{
    for (const bool journal : {false, true}) {
        SCOPED_TRACE(journal ? "journal" : "terminal");
        Server s;
        const std::string err = s.root.file("stderr.log");
        writeFile(err, "");
        struct stat st
        {
        };
        ASSERT_EQ(::stat(err.c_str(), &st), 0);
        if (journal)
            qputenv("JOURNAL_STREAM", QByteArray::number(static_cast<qulonglong>(st.st_dev)) + ":" +
                                          QByteArray::number(static_cast<qulonglong>(st.st_ino)));
        s.start();
        qunsetenv("JOURNAL_STREAM");
        s.drop("good.kel", pagesReport(1, "good"));
        s.drop("bad.kel", "no sections here\r\n");
        ASSERT_TRUE(waitUntil(
            [&] {
                return s.log().find("kel: 255:") != std::string::npos &&
                       s.log().find("kel: 97:") != std::string::npos;
            },
            30000))
            << s.log();
        const std::string log = s.log();
        if (journal) {
            EXPECT_EQ(log.rfind("<6>kel: 112: ", 0), 0u) << log;
            EXPECT_NE(log.find("\n<6>kel: 255: "), std::string::npos) << log;
            EXPECT_NE(log.find("\n<3>kel: 97: "), std::string::npos) << log;
        } else {
            const QString first = QString::fromStdString(log.substr(0, log.find(' ')));
            EXPECT_TRUE(QDateTime::fromString(first, Qt::ISODate).isValid()) << log;
            EXPECT_EQ(log.find("<6>"), std::string::npos) << log;
        }
    }
}

// Reports that ask for the viewer start no program on a server without a
// window: each waits under its viewer name, and is said.
TEST(ConsoleSystem, TheHeadlessConsoleStartsNoViewer)
{
    Server s;
    QProcess &console = s.start();
    ASSERT_TRUE(waitUntil([&] { return s.log().find("kel: 112") != std::string::npos; }, 20000));
    for (int i = 0; i < 10; ++i)
        s.drop("v" + std::to_string(i) + ".kel", "OPEN_VIEW\r\n" + pagesReport(1, "view"));
    ASSERT_TRUE(waitUntil(
        [&] {
            for (int i = 0; i < 10; ++i) {
                if (!s.inQueue("v" + std::to_string(i) + ".l"))
                    return false;
            }
            return true;
        },
        30000))
        << s.log();
    // No process has the console as its parent.
    std::vector<std::string> children;
    for (const auto &p : fs::directory_iterator("/proc")) {
        std::ifstream stat(p.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string state;
        qint64 parent = 0;
        rest >> state >> parent;
        if (parent == console.processId())
            children.push_back(line);
    }
    EXPECT_EQ(children, std::vector<std::string>{});
    size_t said = 0;
    for (size_t at = 0; (at = s.log().find("kel: 226", at)) != std::string::npos; ++at)
        ++said;
    EXPECT_EQ(said, 10u) << s.log();
    EXPECT_TRUE(s.pdfs().empty());
}
