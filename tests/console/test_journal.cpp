// The journal of jobs: what a console killed at any moment finds at its
// next start, and what it does with each file.
#include "console/consolemessages.h"
#include "console/journal.h"
#include "consolefixture.h"
#include "printing/pageoutput.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
namespace fs = std::filesystem;
using Action = Journal::Recovered::Action;

namespace {

struct Scene
{
    test::TempDir dir;
    std::string queue = dir.path() + "/queue";
    std::string out = dir.path() + "/out";
    std::string journal = dir.path() + "/console.journal";
    Scene()
    {
        fs::create_directories(queue);
        fs::create_directories(out);
    }
};

} // namespace

TEST(Journal, AtStartAFileWhoseJobIsCompleteIsDeletedTheOthersPrintAgain)
{
    const std::string pdf = "r-1.pdf";
    const struct
    {
        const char *name;
        // What the killed run got to write, on a file "r 1.kel" (a blank
        // and a line break in its name, to be kept whole).
        std::function<void(Scene &, Journal &, uint64_t job)> before;
        bool queuedAfter;  // the file is still queued after the start
        bool partRemoved;  // a half-written PDF was removed
        bool lookupAnswer; // what the print system says of job 7
    } rows[] = {
        {"the PDF renamed into place",
         [&](Scene &r, Journal &j, uint64_t job) {
             j.pdf(job, r.out + "/" + pdf);
             writeFile(r.out + "/" + pdf, "%PDF");
         },
         false, false, false},
        {"the PDF still half-written",
         [&](Scene &r, Journal &j, uint64_t job) {
             j.pdf(job, r.out + "/" + pdf);
             writeFile(PdfFileOutput::temporaryPath(r.out + "/" + pdf), "%PD");
         },
         true, true, false},
        {"the job begun only", [](Scene &, Journal &, uint64_t) {}, true, false, false},
        {"a print-system job still listed",
         [](Scene &, Journal &j, uint64_t job) { j.cupsJob(job, 7, "office"); }, false, false,
         true},
        {"a print-system job no longer listed",
         [](Scene &, Journal &j, uint64_t job) { j.cupsJob(job, 7, "office"); }, true, false,
         false},
        {"the job failed", [](Scene &, Journal &j, uint64_t job) { j.failed(job); }, true, false,
         false},
        {"done and deleted, a new file of the name since",
         [](Scene &r, Journal &j, uint64_t job) {
             j.pdf(job, r.out + "/x.pdf");
             writeFile(r.out + "/x.pdf", "%PDF");
             j.deleted(job);
             fs::remove(r.queue + "/r 1\n.kel");
             writeFile(r.queue + "/r 1\n.kel", "a newer report, longer");
         },
         true, false, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Scene r;
        const std::string name = "r 1\n.kel";
        writeFile(r.queue + "/" + name, "report");
        {
            Journal j;
            ASSERT_TRUE(j.open(r.journal));
            j.begin(journalFileOf(r.queue, "other.kel")); // gone: nothing to do
            const uint64_t job = j.begin(journalFileOf(r.queue, name));
            ASSERT_NE(job, 0u);
            row.before(r, j, job);
        } // killed here
        // A line cut short by the kill is passed over.
        {
            std::FILE *f = std::fopen(r.journal.c_str(), "ab");
            std::fputs("D 2", f);
            std::fclose(f);
        }
        Journal next;
        ASSERT_TRUE(next.open(r.journal));
        std::vector<std::pair<std::string, int>> asked;
        const auto recovered = next.recover(r.queue, [&](const std::string &printer, int id) {
            asked.emplace_back(printer, id);
            return row.lookupAnswer;
        });
        EXPECT_EQ(fs::exists(r.queue + "/" + name), row.queuedAfter);
        EXPECT_FALSE(fs::exists(PdfFileOutput::temporaryPath(r.out + "/" + pdf)));
        if (!row.queuedAfter) {
            ASSERT_EQ(recovered.size(), 1u);
            EXPECT_EQ(recovered[0].name, name);
            EXPECT_EQ(recovered[0].action, Action::DeletedAsDone);
        }
        for (const auto &rec : recovered)
            EXPECT_EQ(rec.removedParts.empty(), !row.partRemoved);
        // The journal starts empty, and the next run's jobs go on from there.
        std::string text;
        readFile(r.journal, text);
        EXPECT_EQ(text, "");
        EXPECT_EQ(next.begin(journalFileOf(r.queue, "missing.kel")), 0u);
    }
}

TEST(Journal, TheConsoleDoesNotPrintAgainWhatItPrintedBeforeItWasKilled)
{
    test::Console c;
    c.drop("done.kel", test::crlf({"[HEADER]", "[DATA]", "printed already"}));
    c.drop("half.kel", test::crlf({"[HEADER]", "[DATA]", "printed again"}));
    {
        Journal j;
        ASSERT_TRUE(j.open(c.env.folders.temp + "/" + ConsoleEngine::kJournalName));
        const uint64_t done = j.begin(journalFileOf(c.queue, "done.kel"));
        j.pdf(done, c.out + "/done.pdf");
        writeFile(c.out + "/done.pdf", "%PDF");
        const uint64_t half = j.begin(journalFileOf(c.queue, "half.kel"));
        j.pdf(half, c.out + "/half.pdf");
        writeFile(c.out + "/half.pdf.part", "%PD");
    }
    c.engine.start(ConsoleEngine::StartQueue::Open);
    c.pass();
    EXPECT_EQ(c.log.names(ProcessOutcome::Kind::Printed), (std::vector<std::string>{"half.kel"}));
    EXPECT_TRUE(c.queueFiles().empty());
    ASSERT_EQ(c.env.prompter.numbers(), (std::vector<int>{kMsgDoneBeforeStop}));
    EXPECT_TRUE(c.env.prompter.prompts()[0].text.contains(QStringLiteral("done.kel")));
    EXPECT_FALSE(fs::exists(c.out + "/half.pdf.part"));
    EXPECT_EQ(c.pdfs().size(), 2u); // done.pdf and the new one of half.kel
}

TEST(Journal, WorkingFilesOfEndedProcessesAreRemovedOthersStay)
{
    QProcess ended;
    ended.start(QStringLiteral("true"));
    ASSERT_TRUE(ended.waitForStarted(10000));
    const std::string dead = std::to_string(ended.processId());
    ASSERT_TRUE(ended.waitForFinished(10000));
    const std::string alive = std::to_string(getpid());
    test::TempDir dir;
    const struct
    {
        std::string name;
        bool removed;
    } rows[] = {
        {"r-20261211-101010-" + dead + "-3.pdf.part", true},
        {"r-20261211-101010-" + alive + "-3.pdf.part", false},
        {"a.kel.part" + dead, true},
        {"a.kel.part" + alive, false},
        {"r-20261211-101010-" + dead + "-3.pdf", false}, // a finished PDF
        {"a.kel", false},
        {"notes.part", false},
        {"x.pdf.part", false},
    };
    for (const auto &r : rows)
        writeFile(dir.file(r.name), "x");
    removeDeadWorkingFiles(dir.path());
    for (const auto &r : rows)
        EXPECT_EQ(fs::exists(dir.file(r.name)), !r.removed) << r.name;
}

TEST(Journal, ThePrintSystemListsAJobItTookAndNoJobItNeverHad)
{
    const char *printer = std::getenv("KEL_CUPS_PRINTER");
    if (!printer || !*printer)
        GTEST_SKIP() << "KEL_CUPS_PRINTER names no CUPS queue (tools/cups-setup.sh)";
    test::TempDir dir;
    const std::string file = dir.write("page.txt", "one line\n");
    QProcess lp;
    lp.start(QStringLiteral("lp"),
             {QStringLiteral("-d"), QString::fromLocal8Bit(printer), QString::fromStdString(file)});
    ASSERT_TRUE(lp.waitForFinished(30000));
    // "request id is QUEUE-ID (1 file(s))"
    const QString said = QString::fromLocal8Bit(lp.readAllStandardOutput());
    const int id = said.section(QLatin1Char('-'), -1).section(QLatin1Char(' '), 0, 0).toInt();
    ASSERT_GT(id, 0) << said.toStdString();
    EXPECT_TRUE(cupsListsJob(printer, id));
    EXPECT_FALSE(cupsListsJob(printer, id + 100000));
}
