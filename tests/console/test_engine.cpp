// The console engine driven tick by tick: what it prints, in what order,
// what command files do, and that no file is ever lost or printed twice.
#include "console/headless.h"
#include "consolefixture.h"
#include "documents/packed.h"

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace kel;
using test::crlf;
using Kind = ProcessOutcome::Kind;

namespace {

std::string report(const std::string &body, const std::string &header = {})
{
    return header + crlf({"[HEADER]", "[DATA]"}) + body;
}

std::string pages(int n, const std::string &word = "page")
{
    std::string body;
    for (int i = 1; i <= n; ++i)
        body += word + " " + std::to_string(i) + (i < n ? "{\\NP}\r\n" : "\r\n");
    return report(body);
}

int count(const std::vector<int> &numbers, int n)
{
    return static_cast<int>(std::count(numbers.begin(), numbers.end(), n));
}

} // namespace

TEST(ConsoleEngine, PrintsEveryKindOnceWithItsPages)
{
    test::Console c;
    c.drop("r.kel", pages(2, "report"));
    // Two form feeds: three pages.
    c.drop("l.txt", "listing one\r\n\x0c\r\nlisting two\r\n\x0c\r\nlisting three\r\n");
    c.drop("letter.tpl", report("Dear @NAME\r\n"));
    c.drop("d.kez", "TEMPLATE=letter.tpl\r\n@NAME=Ada\r\n");
    const std::string source = c.env.dir.write("packsrc/p.kel", pages(3, "packed"));
    std::string error;
    ASSERT_TRUE(makePackedFile(source, c.queue + "/p.kel", error)) << error;

    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.pass();

    EXPECT_EQ(c.log.names(Kind::Printed),
              (std::vector<std::string>{"d.kez", "l.txt", "p.kel", "r.kel"}));
    EXPECT_EQ(c.queueFiles(), (std::vector<std::string>{"letter.tpl"}));
    std::map<std::string, int> pagesByTitle;
    for (const HandledFile &f : c.log.files) {
        ASSERT_FALSE(f.outcome.output.empty()) << f.name << ": " << f.outcome.reason.detail;
        pagesByTitle[f.name] = test::pdfPages(f.outcome.output);
    }
    EXPECT_EQ(pagesByTitle,
              (std::map<std::string, int>{{"d.kez", 1}, {"l.txt", 3}, {"p.kel", 3}, {"r.kel", 2}}));
    EXPECT_EQ(c.pdfs().size(), 4u);
    EXPECT_TRUE(test::pdfText(c.log.files[0].outcome.output).contains(QStringLiteral("Dear Ada")));
    EXPECT_TRUE(c.env.prompter.prompts().empty());
    EXPECT_EQ(c.engine.releasedCount(), 0);

    // Nothing is printed twice.
    c.pass();
    EXPECT_EQ(c.pdfs().size(), 4u);
}

TEST(ConsoleEngine, CommandFilesSteerTheQueue)
{
    test::Console c;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.drop("a.ke", pages(1));
    c.drop("b.kz", "TEMPLATE=missing\r\n");
    c.drop("c.kel", pages(1));
    c.drop("x.cmd", "  hold_all  \r\n");
    c.pass();
    // HOLD_ALL closes the queue while it renames, then opens it again.
    EXPECT_TRUE(c.engine.queueOpen());
    EXPECT_EQ(c.queueFiles(), (std::vector<std::string>{"a.ke", "b.kz", "c.ke"}));
    EXPECT_TRUE(c.log.states.size() >= 3 && !c.log.states[c.log.states.size() - 2]);

    // Two command files are obeyed in name order.
    c.drop("1.cmd", "CLOSE_QUEUE\r\n");
    c.drop("2.cmd", "release_all\r\n");
    c.pass();
    EXPECT_FALSE(c.engine.queueOpen());
    EXPECT_EQ(c.queueFiles(), (std::vector<std::string>{"a.kel", "b.kez", "c.kel"}));
    EXPECT_TRUE(c.pdfs().empty());

    c.drop("3.CMD", "OPEN_QUEUE\r\nEMPTY_RELEASED_QUEUE\r\n");
    c.drop("a.ke", pages(1));
    c.drop("z.kz", "x");
    c.drop("4.cmd", "EMPTY_HELD_QUEUE\r\n");
    c.pass();
    // Only reports are emptied; template data stays (and waits for its template).
    EXPECT_EQ(c.queueFiles(), (std::vector<std::string>{"b.kez", "z.kz"}));
    EXPECT_TRUE(c.pdfs().empty());

    // A line that is no verb is said, naming the file and the line; the
    // verbs around it are obeyed and the file goes as any other.
    c.env.prompter.clear();
    c.drop("5.cmd", "CLOSE_QUEUE\r\nopen queue\r\n");
    c.pass();
    EXPECT_FALSE(c.engine.queueOpen());
    EXPECT_FALSE(c.inQueue("5.cmd"));
    ASSERT_EQ(c.env.prompter.numbers(), (std::vector<int>{97}));
    EXPECT_TRUE(c.env.prompter.prompts()[0].text.contains(QStringLiteral("5.cmd, line 2")));
}

TEST(ConsoleEngine, ACommandFileThatArrivesDuringAPassGoesFirst)
{
    test::Console c;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    for (const char *name : {"1.kel", "2.kel", "3.kel"})
        c.drop(name, pages(1));
    // After the first file a command file closes the queue.
    struct Dropper : ConsoleObserver
    {
        test::Console &c;
        explicit Dropper(test::Console &console) : c(console) {}
        void fileHandled(const HandledFile &) override
        {
            if (c.log.files.size() == 1)
                c.drop("stop.cmd", "CLOSE_QUEUE\r\n");
        }
    } dropper(c);
    c.engine.addObserver(&dropper);
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed), (std::vector<std::string>{"1.kel"}));
    EXPECT_FALSE(c.engine.queueOpen());
    EXPECT_FALSE(c.inQueue("stop.cmd"));
    EXPECT_EQ(c.engine.nextLookIn(), std::nullopt);

    // A report that arrives during a pass is taken right after it, not at
    // the next five-second tick.
    c.engine.setQueueOpen(true);
    c.engine.removeObserver(&dropper);
    struct Late : ConsoleObserver
    {
        test::Console &c;
        explicit Late(test::Console &console) : c(console) {}
        void fileHandled(const HandledFile &f) override
        {
            if (f.name == "2.kel")
                c.drop("0-late.kel", pages(1));
        }
    } late(c);
    c.engine.addObserver(&late);
    c.pass();
    EXPECT_EQ(c.engine.nextLookIn(), 0);
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed),
              (std::vector<std::string>{"1.kel", "2.kel", "3.kel", "0-late.kel"}));
    EXPECT_EQ(c.engine.nextLookIn(), std::nullopt);
}

TEST(ConsoleEngine, StartUpObeysAutoexecAndDiscardsOtherCommandFiles)
{
    test::Console c;
    c.drop("autoexec.cmd", "CLOSE_QUEUE\r\n");
    c.drop("old.cmd", "SHUTDOWN\r\n");
    c.engine.start(ConsoleEngine::StartQueue::Open);
    EXPECT_FALSE(c.engine.queueOpen());
    EXPECT_FALSE(c.engine.shutdownRequested());
    EXPECT_TRUE(c.queueFiles().empty());
    EXPECT_EQ(c.transfer.started, c.queue);

    // SHUTDOWN ends at once and leaves its file; the next start discards it.
    test::Console d;
    d.drop("a.cmd", "SHUTDOWN\r\nOPEN_QUEUE\r\n");
    d.drop("r.kel", pages(1));
    d.engine.start(ConsoleEngine::StartQueue::Closed);
    d.drop("a.cmd", "SHUTDOWN\r\nOPEN_QUEUE\r\n");
    d.pass();
    EXPECT_TRUE(d.engine.shutdownRequested());
    EXPECT_FALSE(d.engine.queueOpen());
    EXPECT_TRUE(d.inQueue("a.cmd"));
    d.pass(); // nothing after the end
    EXPECT_TRUE(d.pdfs().empty());
}

TEST(ConsoleEngine, AFileStillBeingWrittenWaitsUntilItKeepsStill)
{
    test::Console c;
    c.engine.setQuietMs(1000);
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.drop("r.kel", report("half"));
    c.pass();
    EXPECT_TRUE(c.pdfs().empty());
    EXPECT_EQ(c.engine.nextLookIn(), 1000);

    c.clock.advance(600);
    c.drop("r.kel", report("whole{\\NP}\r\nsecond page\r\n"));
    c.pass(); // it changed: the quiet period starts again
    c.clock.advance(600);
    c.pass();
    EXPECT_TRUE(c.pdfs().empty());
    c.clock.advance(400);
    c.pass();
    ASSERT_EQ(c.pdfs().size(), 1u);
    EXPECT_EQ(test::pdfPages(c.pdfs()[0]), 2);
    EXPECT_EQ(c.engine.nextLookIn(), std::nullopt);
}

TEST(ConsoleEngine, BadInputStaysInTheQueueSaidOnceAndTheServerGoesOn)
{
    test::Console c;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    const struct
    {
        const char *name;
        std::string bytes;
        int message;
    } bad[] = {
        {"a-junk.kel", std::string(1, '\0') + "\x01\xff\xfe junk bytes \x7f", 251},
        {"b-nosections.kel", "REPORT_TITLE=x\r\nline\r\nline\r\n", 251},
        {"c-badpack.kel", std::string("22\x03\x04\x14 not really a zip archive"), 253},
        {"d-notemplate.kez", "TEMPLATE=nowhere.tpl\r\n@A=1\r\n", kNoMessage},
        {"e-empty.txt", "", 210},
    };
    for (const auto &b : bad)
        c.drop(b.name, b.bytes);
    c.drop("z-good.kel", pages(1));

    for (int i = 0; i < 3; ++i)
        c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed), (std::vector<std::string>{"z-good.kel"}));
    // Each bad file is said once, though the ticks went on.
    EXPECT_EQ(count(c.env.prompter.numbers(), 97), 5);
    for (const auto &b : bad) {
        SCOPED_TRACE(b.name);
        EXPECT_TRUE(c.inQueue(b.name));
        const auto it = std::find_if(c.log.files.begin(), c.log.files.end(),
                                     [&](const HandledFile &f) { return f.name == b.name; });
        ASSERT_NE(it, c.log.files.end());
        EXPECT_EQ(it->outcome.reason.message, b.message);
    }
    EXPECT_FALSE(c.inQueue("d-notemplate.kez.kel"));
    EXPECT_FALSE(c.inQueue("00000000.$$$"));
    // The template that arrives later lets the data print; nothing else
    // was tried again, since the files did not change.
    const size_t handled = c.log.files.size();
    c.drop("nowhere.tpl", report("@A"));
    c.clock.advance(ConsoleEngine::kFirstRetryMs);
    c.pass();
    ASSERT_EQ(c.log.files.size(), handled + 1);
    EXPECT_EQ(c.log.files.back().name, "d-notemplate.kez");
    EXPECT_EQ(c.log.files.back().outcome.kind, Kind::Printed);
}

TEST(ConsoleEngine, AFailedJobKeepsItsFileUntilThePrinterComesBack)
{
    test::Console c;
    const std::string later = c.env.dir.path() + "/later";
    c.env.settings.row(DocType::Txt).printer = "pdf:" + later;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.drop("l.txt", "a listing\r\n");
    // Tried again after 5 s, then 10, 20, 40 and at most every minute; said
    // once, since the cause stays the same.
    std::vector<int64_t> waits;
    size_t tried = 0;
    for (int i = 0; i < 7; ++i) {
        c.pass();
        ASSERT_GT(c.log.files.size(), tried);
        tried = c.log.files.size();
        const std::optional<int64_t> next = c.engine.nextLookIn();
        ASSERT_TRUE(next);
        waits.push_back(*next);
        c.clock.advance(*next - 1);
        c.pass(); // not yet
        EXPECT_EQ(c.log.files.size(), tried);
        c.clock.advance(1);
    }
    EXPECT_EQ(waits, (std::vector<int64_t>{5000, 10000, 20000, 40000, 60000, 60000, 60000}));
    EXPECT_TRUE(c.inQueue("l.txt"));
    EXPECT_FALSE(c.inQueue("l.txt.kel"));
    EXPECT_EQ(c.env.prompter.numbers(), (std::vector<int>{97}));
    // The folder is named with what is wrong with it, not as a missing printer.
    EXPECT_EQ(c.log.files.back().outcome.reason.message, kMsgPdfFolder);
    EXPECT_EQ(c.log.files.back().outcome.reason.detail, later + ": No such file or directory");

    std::filesystem::create_directories(later);
    c.pass();
    EXPECT_FALSE(c.inQueue("l.txt"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(later),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(ConsoleEngine, AQueueFolderThatIsNotThereYetIsSaidOnceAndWaitedFor)
{
    test::Console c;
    std::filesystem::remove(c.queue);
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.pass();
    c.pass();
    EXPECT_EQ(c.env.prompter.numbers(), (std::vector<int>{257}));
    std::filesystem::create_directories(c.queue);
    c.drop("r.kel", pages(1));
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed), (std::vector<std::string>{"r.kel"}));
}

TEST(ConsoleEngine, PrinterOfTheReportOfTheTypeOrTheSystem)
{
    test::Console c;
    QueueProcessor &p = c.engine.processor();
    const std::string mine = "pdf:" + c.out;
    c.env.settings.row(DocType::Kez).printer = "";
    const std::string system = c.printers.defaultPrinter();
    const struct
    {
        const char *name;
        std::string reportPrinter;
        DocType type;
        std::string expected;
    } rows[] = {
        {"a pdf: printer of the settings", "PDF:" + c.out, DocType::Kel, mine},
        {"a folder the settings do not name", "pdf:/tmp", DocType::Kel, mine},
        {"an unknown queue", "NoSuchQueue", DocType::Kel, mine},
        {"no printer, no type printer", "", DocType::Kez, system},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(p.choosePrinter(r.reportPrinter, r.type), r.expected);
    }
}

TEST(ConsoleEngine, ViewerRequestsIncludesCopiesAndForwarding)
{
    test::Console c;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.drop("a.kel", "open_view\r\n" + pages(1));
    c.drop("view.tpl", "OPEN_VIEW\r\n" + pages(1));
    c.drop("b.kez", "TEMPLATE=view.tpl\r\n");
    c.drop("c.kel", report("before\r\n{COPY=missing.inc}\r\nafter\r\n", "COPIES=2\r\n"));
    c.pass();

    EXPECT_EQ(c.viewerStarted, (std::vector<std::string>{c.queue + "/a.l", c.queue + "/b.kez.l"}));
    EXPECT_EQ(c.queueFiles(), (std::vector<std::string>{"a.l", "b.kez.l", "view.tpl"}));
    ASSERT_EQ(c.pdfs().size(), 1u);
    EXPECT_EQ(test::pdfPages(c.pdfs()[0]), 2); // two copies of one page
    EXPECT_TRUE(test::pdfText(c.pdfs()[0]).contains(QStringLiteral("message 98")));

    // SEND_TO hands the files to the transfer, which holds the main tick;
    // that tick ends at once, without its end.
    const int ended = c.transfer.ticksEnded;
    c.drop("send.tpl", report("x", "SEND_TO=peer\r\n"));
    c.drop("d.kez", "TEMPLATE=send.tpl\r\n");
    c.drop("e.kel", report("x", "SEND_TO=peer:1002\r\n"));
    c.pass();
    EXPECT_EQ(c.transfer.forwarded,
              (std::vector<std::string>{c.queue + "/d.kez|" + c.queue + "/d.kez.kel|peer"}));
    EXPECT_EQ(c.transfer.ticksEnded, ended);
    EXPECT_EQ(c.pdfs().size(), 1u);
    c.pass(); // held by the transfer
    EXPECT_EQ(c.transfer.forwarded.size(), 1u);
    // The transfer ends: it has sent the files and deleted them.
    std::filesystem::remove(c.queue + "/d.kez");
    std::filesystem::remove(c.queue + "/d.kez.kel");
    c.transfer.holding = false;
    c.pass();
    ASSERT_EQ(c.transfer.forwarded.size(), 2u);
    EXPECT_EQ(c.transfer.forwarded[1], c.queue + "/e.kel|" + c.queue + "/e.kel|peer:1002");
}

TEST(ConsoleEngine, IncludedLinesAreNotExaminedForIncludesAgain)
{
    // The report is read once, through the one pipeline: a {COPY=} line that
    // an included file brings along stays a line of the report and names
    // nothing that is read.
    test::Console c;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.drop("secret.inc", "SECRET\r\n");
    c.drop("part.inc", "INNER\r\n{COPY=secret.inc}\r\n");
    c.drop("r.kel", report("{COPY=part.inc}\r\n"));
    c.pass();
    ASSERT_EQ(c.pdfs().size(), 1u);
    const QString text = test::pdfText(c.pdfs()[0]);
    EXPECT_TRUE(text.contains(QStringLiteral("INNER"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("SECRET"))) << text.toStdString();
    // Nothing was written into the queue folder on the way.
    EXPECT_EQ(c.queueFiles(), (std::vector<std::string>{"part.inc", "secret.inc"}));
}

TEST(ConsoleEngine, AReportReadsOnlyFromTheAllowedFolders)
{
    // A report from another machine names files outside the queue folder:
    // by absolute path, by "..", and through a link planted in the queue.
    // None is read until the settings allow their folder.
    test::Console c;
    const std::string outside = c.env.dir.path() + "/forms";
    std::filesystem::create_directories(outside);
    c.env.dir.write("forms/secret.txt", "SECRET{\\N}\r\n");
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString(outside + "/logo.png")));
    std::filesystem::create_symlink(outside + "/secret.txt", c.queue + "/link.inc");
    const std::string body = "{COPY=" + outside + "/secret.txt}\r\n{COPY=../forms/secret.txt}\r\n" +
                             "{COPY=link.inc}\r\n{PIC=" + outside +
                             "/logo.png,1000,1000,2880,2880}after\r\n";
    auto printOnce = [&] {
        c.drop("r.kel", report(body));
        const size_t before = c.pdfs().size();
        c.pass();
        EXPECT_EQ(c.pdfs().size(), before + 1);
        const std::string pdf = c.pdfs().back();
        const QString images = test::runTool(
            QStringLiteral("pdfimages"), {QStringLiteral("-list"), QString::fromStdString(pdf)});
        return std::pair{test::pdfText(pdf), images.count(QStringLiteral("image")) > 0};
    };
    c.engine.start(ConsoleEngine::StartQueue::Open);
    const auto [refused, refusedPicture] = printOnce();
    EXPECT_FALSE(refused.contains(QStringLiteral("SECRET"))) << refused.toStdString();
    EXPECT_EQ(refused.count(QStringLiteral("message 98")), 3) << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("after")));
    EXPECT_FALSE(refusedPicture);
    const std::vector<int> said = c.env.prompter.numbers();
    EXPECT_EQ(std::count(said.begin(), said.end(), 225), 3);

    c.env.settings.resourcePath = " /nonexistent ; " + outside;
    const auto [allowed, allowedPicture] = printOnce();
    EXPECT_EQ(allowed.count(QStringLiteral("SECRET")), 3) << allowed.toStdString();
    EXPECT_TRUE(allowedPicture);
}

TEST(HeadlessLog, OnePageIsNoPages)
{
    test::TestEnvironment env;
    std::FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    HeadlessLog log(env.messages, out);
    for (int pages : {1, 2}) {
        HandledFile file;
        file.name = "r.kel";
        file.outcome.kind = Kind::Printed;
        file.outcome.printer = "office";
        file.outcome.pages = pages;
        log.fileHandled(file);
    }
    std::rewind(out);
    char line[200];
    std::vector<std::string> lines;
    while (std::fgets(line, sizeof line, out))
        lines.emplace_back(line);
    std::fclose(out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("(office, 1 message 398)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("(office, 2 message 264)"), std::string::npos) << lines[1];
}

TEST(ConsoleEngine, TheWatchDecidesWhenAFileIsCompleteTheSettleRuleOtherwise)
{
    test::Console c;
    c.engine.setQuietMs(1000);
    c.engine.start(ConsoleEngine::StartQueue::Open);
    // Being written: never taken while its writer holds it, however long
    // the writer pauses; 200 ms after its close it is.
    c.drop("w.kel", pages(1, "written"));
    c.engine.fileEvent("w.kel", FileEvent::Created);
    c.engine.fileEvent("w.kel", FileEvent::Written);
    // Renamed in: taken at once, without the settle time.
    c.drop("m.kel", pages(1, "moved"));
    c.engine.fileEvent("m.kel", FileEvent::MovedIn);
    // Found without a word from the watch: the settle rule.
    c.drop("s.kel", pages(1, "settled"));
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed), (std::vector<std::string>{"m.kel"}));
    EXPECT_EQ(c.engine.nextLookIn(), 1000);
    for (int i = 0; i < 60; ++i) {
        c.clock.advance(1000);
        c.pass();
    }
    EXPECT_EQ(c.log.names(Kind::Printed), (std::vector<std::string>{"m.kel", "s.kel"}));
    EXPECT_EQ(c.engine.nextLookIn(), std::nullopt); // it waits for the close, not a time

    c.engine.fileEvent("w.kel", FileEvent::Closed);
    c.pass();
    EXPECT_EQ(c.engine.nextLookIn(), IntakeTracker::kClosedQuietMs);
    // A script's next append within the quiet time starts it again.
    c.clock.advance(150);
    c.engine.fileEvent("w.kel", FileEvent::Written);
    c.engine.fileEvent("w.kel", FileEvent::Closed);
    c.clock.advance(150);
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed).size(), 2u);
    c.clock.advance(50);
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed), (std::vector<std::string>{"m.kel", "s.kel", "w.kel"}));

    // Lost events: what the watch said no longer holds; the settle rule
    // takes over.
    c.drop("x.kel", pages(1));
    c.engine.fileEvent("x.kel", FileEvent::Written);
    c.engine.watchLost();
    c.pass();
    c.clock.advance(1000);
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed).back(), "x.kel");
}

TEST(ConsoleEngine, ThePassTakesOneFilePerStep)
{
    test::Console c;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    for (const char *name : {"1.kel", "2.kel", "3.kel"})
        c.drop(name, pages(1));
    std::vector<size_t> afterEachStep;
    do {
        c.engine.tick();
        afterEachStep.push_back(c.log.files.size());
        if (c.engine.passing()) {
            EXPECT_EQ(c.engine.nextLookIn(), 0);
        }
    } while (c.engine.passing());
    EXPECT_EQ(afterEachStep, (std::vector<size_t>{0, 1, 2, 3}));
    EXPECT_EQ(c.transfer.ticksEnded, 1); // once, at the end of the pass
}

TEST(ConsoleEngine, SettleSecondsOfTheSettings)
{
    const struct
    {
        const char *value;
        int64_t ms;
    } rows[] = {{"", 1000}, {"3", 3000}, {" 0.5 ", 500},    {"0", 0},
                {"-2", 0},  {"x", 0},    {"99999", 3600000}};
    for (const auto &r : rows) {
        SettingsRecord s;
        s.settleSeconds = r.value;
        EXPECT_EQ(ConsoleEngine::settleMsOf(s), r.ms) << r.value;
    }
}

namespace {

// A small file system of its own mounted over a folder, filled up; none
// when mounting is not allowed here.
class FullFolder
{
public:
    explicit FullFolder(const std::string &folder) : m_folder(folder)
    {
        const std::string options = "size=512k";
        m_mounted =
            QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QString::fromStdString(options), QStringLiteral("tmpfs"),
                               QString::fromStdString(folder)}) == 0;
        if (!m_mounted)
            return;
        std::FILE *f = std::fopen((folder + "/filler").c_str(), "wb");
        const std::string block(4096, 'x');
        while (f && std::fwrite(block.data(), 1, block.size(), f) == block.size() &&
               std::fflush(f) == 0) {
        }
        if (f)
            std::fclose(f);
    }
    ~FullFolder()
    {
        // Lazily: the console may still hold a file open there.
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"),
                              {QStringLiteral("-l"), QString::fromStdString(m_folder)});
    }
    bool mounted() const { return m_mounted; }
    void makeRoom() { std::filesystem::remove(m_folder + "/filler"); }

private:
    std::string m_folder;
    bool m_mounted = false;
};

} // namespace

TEST(ConsoleEngine, AFullTemporaryFolderIsNamedOnceAndTheReportPrintsWhenRoomReturns)
{
    test::Console c;
    FullFolder full(c.env.folders.temp);
    if (!full.mounted())
        GTEST_SKIP() << "no file system can be mounted here";
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.drop("r.kel", pages(1));
    for (int i = 0; i < 4; ++i) {
        c.pass();
        c.clock.advance(ConsoleEngine::kLongestRetryMs);
    }
    EXPECT_TRUE(c.pdfs().empty());
    ASSERT_EQ(c.env.prompter.numbers(), (std::vector<int>{97}));
    EXPECT_TRUE(
        c.env.prompter.prompts()[0].text.contains(QStringLiteral("No space left on device")))
        << c.env.prompter.prompts()[0].text.toStdString();
    EXPECT_EQ(c.log.files.size(), 4u); // tried again, though the file did not change

    full.makeRoom();
    // No working copy of the failed tries is left behind.
    std::vector<std::string> left;
    for (const auto &e : std::filesystem::directory_iterator(c.env.folders.temp))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{ConsoleEngine::kJournalName}));
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed), (std::vector<std::string>{"r.kel"}));
    EXPECT_FALSE(c.inQueue("r.kel"));
}

TEST(ConsoleEngine, AFileFoundHeldOpenByItsWriterWaitsForItsClose)
{
    // Found without the watch's word (as at start): settled by the rule,
    // but its writer still holds it open while it pauses.
    test::Console c;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    std::FILE *writer = std::fopen((c.queue + "/r.kel").c_str(), "wb");
    ASSERT_NE(writer, nullptr);
    std::fputs(pages(1, "alpha").c_str(), writer);
    std::fflush(writer);
    for (int i = 0; i < 3; ++i) {
        c.pass();
        c.clock.advance(5000);
    }
    EXPECT_TRUE(c.pdfs().empty());
    std::fputs("{\\NP}omega\r\n", writer);
    std::fclose(writer);
    c.pass();
    ASSERT_EQ(c.pdfs().size(), 1u);
    EXPECT_EQ(test::pdfPages(c.pdfs()[0]), 2); // both halves
}

TEST(ConsoleEngine, AReportForAPrinterThatIsNotHereSaysWhereItWent)
{
    test::Console c;
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.drop("a.kel", report("x", "PRINTER=NoSuchQueue\r\n"));
    c.drop("b.kel", report("y", "PRINTER=NoSuchQueue\r\n"));
    c.drop("c.kel", report("z", "PRINTER=PDF:" + c.out + "\r\n"));
    c.pass();
    EXPECT_EQ(c.log.names(Kind::Printed), (std::vector<std::string>{"a.kel", "b.kel", "c.kel"}));
    std::vector<QString> said;
    for (const Prompt &p : c.env.prompter.prompts()) {
        if (p.number == 228)
            said.push_back(p.text);
    }
    ASSERT_EQ(said.size(), 1u); // once for the pair, nothing for a printer that is there
    EXPECT_TRUE(said[0].contains(QStringLiteral("NoSuchQueue -> pdf:"))) << said[0].toStdString();
}

TEST(ConsoleEngine, TheTemporaryFolderIsNotAFolderAReportMayRead)
{
    // The temporary folder holds the journal and other jobs' unpacked
    // pictures: a report reads only its own unpacked files there.
    test::Console c;
    c.env.dir.write("tmp/other-job.txt", "OTHERJOB{\\N}\r\n");
    const std::string other = c.env.folders.temp + "/other-job.txt";
    std::filesystem::copy_file(c.env.dir.file("tmp/other-job.txt"), other);
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.drop("r.kel", report("{COPY=" + other + "}\r\nafter{\\N}\r\n"));
    c.pass();
    ASSERT_EQ(c.pdfs().size(), 1u);
    const QString text = test::pdfText(c.pdfs()[0]);
    EXPECT_FALSE(text.contains(QStringLiteral("OTHERJOB"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("message 98"))) << text.toStdString();
}
