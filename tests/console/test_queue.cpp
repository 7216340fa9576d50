// The queue folder's rules, command files and the console's steps over a
// report's bytes, fed from memory.
#include "app/messages.h"
#include "console/commandfile.h"
#include "console/queuefolder.h"
#include "console/reportsteps.h"
#include "console/settling.h"
#include "documents/conversion.h"
#include "documents/loading.h"
#include "support/testenv.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;

TEST(QueueFolder, KindsAndNamesByExtension)
{
    const QueueTypes all;
    const QueueTypes noTemplates{true, false, true};
    const struct
    {
        const char *name;
        QueueKind kind;
        QueueKind withoutTemplates;
        const char *held;     // heldName(name)
        const char *released; // releasedName(name)
    } rows[] = {
        {"a.kel", QueueKind::Released, QueueKind::Released, "a.ke", "a.kel"},
        {"A.KEL", QueueKind::Released, QueueKind::Released, "A.ke", "A.KEL"},
        {"a.ke", QueueKind::Held, QueueKind::Held, "a.ke", "a.kel"},
        {"a.kez", QueueKind::Released, QueueKind::Other, "a.kz", "a.kez"},
        {"a.kz", QueueKind::Held, QueueKind::Other, "a.kz", "a.kez"},
        {"a.txt", QueueKind::Released, QueueKind::Released, "a.tx", "a.txt"},
        {"a.tx", QueueKind::Held, QueueKind::Held, "a.tx", "a.txt"},
        {"a.LST", QueueKind::Released, QueueKind::Released, "a.ls", "a.LST"},
        {"a.pr", QueueKind::Held, QueueKind::Held, "a.pr", "a.prn"},
        {"a.txt.kel", QueueKind::Released, QueueKind::Released, "a.txt.ke", "a.txt.kel"},
        {"Go.CMD", QueueKind::Command, QueueKind::Command, "Go.CMD", "Go.CMD"},
        {"a.kel$", QueueKind::Other, QueueKind::Other, "a.kel$", "a.kel$"},
        {"a.kel.NOT_SENT", QueueKind::Other, QueueKind::Other, "a.kel.NOT_SENT", "a.kel.NOT_SENT"},
        {"00000000.$$$", QueueKind::Other, QueueKind::Other, "00000000.$$$", "00000000.$$$"},
        {"a.l", QueueKind::Other, QueueKind::Other, "a.l", "a.l"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(queueKind(r.name, all), r.kind);
        EXPECT_EQ(queueKind(r.name, noTemplates), r.withoutTemplates);
        EXPECT_EQ(heldName(r.name), r.held);
        EXPECT_EQ(releasedName(r.name), r.released);
    }
    EXPECT_EQ(heldFilter(all), "*.ke;*.kz;*.tx;*.ls;*.pr");
    EXPECT_EQ(releasedFilter(all), "*.kel;*.kez;*.txt;*.lst;*.prn");
    EXPECT_EQ(releasedFilter(noTemplates), "*.kel;*.txt;*.lst;*.prn");
    EXPECT_EQ(heldFilter(QueueTypes{false, false, false}), "");

    SettingsRecord s;
    s.printKel = " y ";
    s.printKez = "N";
    s.printTxt = "";
    EXPECT_EQ(QueueTypes::fromSettings(s), (QueueTypes{true, false, false}));
}

TEST(QueueFolder, ListsInNameOrderRegularFilesOnly)
{
    test::TempDir dir;
    for (const char *name :
         {"b.kel", "a.txt", "00000002.kel", "00000001.kel", "x.ke", "2.cmd", "1.CMD", "notes.doc"})
        dir.write(name, "x");
    std::filesystem::create_directory(dir.file("folder.kel"));
    std::filesystem::create_symlink(dir.file("b.kel"), dir.file("link.kel"));

    const QueueListing l = listQueue(dir.path(), QueueTypes{});
    ASSERT_TRUE(l.readable);
    auto names = [](const std::vector<QueueEntry> &list) {
        std::vector<std::string> out;
        for (const QueueEntry &e : list)
            out.push_back(e.name);
        return out;
    };
    EXPECT_EQ(names(l.released),
              (std::vector<std::string>{"00000001.kel", "00000002.kel", "a.txt", "b.kel"}));
    EXPECT_EQ(names(l.held), (std::vector<std::string>{"x.ke"}));
    EXPECT_EQ(names(l.commands), (std::vector<std::string>{"1.CMD", "2.cmd"}));
    EXPECT_FALSE(listQueue(dir.file("missing"), QueueTypes{}).readable);

    // A rename never replaces a file that is there.
    dir.write("a.ke", "held before");
    EXPECT_FALSE(renameNoReplace(dir.file("b.kel"), dir.file("x.ke")));
    EXPECT_TRUE(renameNoReplace(dir.file("b.kel"), dir.file("b.ke")));
    std::string bytes;
    ASSERT_TRUE(readFile(dir.file("x.ke"), bytes));
    EXPECT_EQ(bytes, "x");
}

TEST(CommandFile, WholeLinesAreVerbs)
{
    const struct
    {
        const char *name;
        const char *text;
        std::vector<Verb> verbs;
    } rows[] = {
        {"small letters with blanks", "  open_queue  \r\n", {Verb::OpenQueue}},
        {"a further word", "OPEN_QUEUE now\r\n", {}},
        {"empty and unknown lines", "\r\n\r\nPRINT_ALL\r\nhold_all", {Verb::HoldAll}},
        {"every verb",
         "CLOSE_QUEUE\nOPEN_QUEUE\nHOLD_ALL\nRELEASE_ALL\nEMPTY_HELD_QUEUE\n"
         "EMPTY_RELEASED_QUEUE\nMINIMIZE_ME\nRESTORE_ME\n",
         {Verb::CloseQueue, Verb::OpenQueue, Verb::HoldAll, Verb::ReleaseAll, Verb::EmptyHeldQueue,
          Verb::EmptyReleasedQueue, Verb::MinimizeMe, Verb::RestoreMe}},
        {"nothing after SHUTDOWN",
         "CLOSE_QUEUE\r\nShutDown\r\nOPEN_QUEUE\r\n",
         {Verb::CloseQueue, Verb::Shutdown}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(parseCommandFile(r.text), r.verbs);
    }

    // The lines that are no verb, up to SHUTDOWN, are handed back to be said.
    std::vector<UnknownCommandLine> unknown;
    EXPECT_EQ(parseCommandFile(
                  "\r\n OPEN_QUEUE now \r\nhold_all\r\n\tPRINT_ALL\r\nSHUTDOWN\r\njunk", &unknown),
              (std::vector<Verb>{Verb::HoldAll, Verb::Shutdown}));
    ASSERT_EQ(unknown.size(), 2u);
    EXPECT_EQ(unknown[0].number, 2);
    EXPECT_EQ(unknown[0].text, "OPEN_QUEUE now");
    EXPECT_EQ(unknown[1].number, 4);
    EXPECT_EQ(unknown[1].text, "PRINT_ALL");
}

TEST(ReportSteps, ViewerRequestWithinTheFirstHundredLines)
{
    std::string report;
    for (int i = 1; i < 100; ++i)
        report += "line\r\n";
    EXPECT_TRUE(asksForViewer(report + "open_view\r\n[HEADER]\r\n[DATA]\r\n"));
    EXPECT_TRUE(asksForViewer(report + "OPEN_VIEWER\r\n"));
    EXPECT_FALSE(asksForViewer(report + "line\r\nOPEN_VIEW\r\n")); // line 101
    EXPECT_FALSE(asksForViewer("OPEN_VIEW now\r\n"));

    EXPECT_EQ(viewerFileName("a.kel"), "a.l");
    EXPECT_EQ(viewerFileName("a.txt.kel"), "a.txt.l");
}

TEST(ReportSteps, ConversionOnlyBeforeTheHeader)
{
    EXPECT_EQ(conversionBeforeHeader(crlf({"conversion= dos ", "[HEADER]", "[DATA]"})), "DOS");
    EXPECT_EQ(conversionBeforeHeader(crlf({"[HEADER]", "CONVERSION=DOS", "[DATA]"})), "");
    EXPECT_EQ(conversionBeforeHeader(crlf({"CONVERSIONS=DOS", "[HEADER]"})), "");
}

namespace {

// The console's include step over report bytes, with the delimiters and
// error text given, relative names read in `folder`.
std::string expandForConsole(std::string_view report, char open, char close, std::string errorText,
                             const std::string &folder, uint64_t maxIncluded = kMaxIncludeBytes)
{
    IncludeRules rules = LoadPlan::console(Messages{}).includes;
    rules.open = open;
    rules.close = close;
    rules.errorText = std::move(errorText);
    rules.maxIncludedBytes = maxIncluded;
    IncludePass pass(rules, includesFromFolder(folder, true));
    pass.feed(report);
    return pass.finish() ? pass.take() : std::string("(too large)");
}

} // namespace

TEST(ReportSteps, IncludesAndTheirErrorLine)
{
    test::TempDir dir;
    dir.write("part.txt", "included 1\nincluded 2");
    const std::string report = crlf({"[HEADER]", "[DATA]", "before", "{copy=part.txt}",
                                     "<COPY=part.txt>", "{COPY=missing.txt}", "{COPY=}", "after"});
    EXPECT_EQ(expandForConsole(report, '{', '}', "cannot read", dir.path()),
              crlf({"[HEADER]", "[DATA]", "before", "included 1", "included 2", "<COPY=part.txt>",
                    "{100}cannot read{\\N}", "{100}cannot read{\\N}", "after"}));
    // The report's own delimiters, and a folder is not a file to include.
    EXPECT_EQ(expandForConsole(crlf({"<COPY=part.txt>", "<COPY=.>"}), '<', '>', "x", dir.path()),
              crlf({"included 1", "included 2", "<100>x<\\N>"}));

    // A device is no file to include, and the includes of one report
    // together stay under their limit: a file named on many lines is
    // included only while it fits.
    EXPECT_EQ(expandForConsole(crlf({"{COPY=/dev/zero}", "{COPY=part.txt}", "{COPY=part.txt}"}),
                               '{', '}', "x", dir.path(), 30),
              crlf({"{100}x{\\N}", "included 1", "included 2", "{100}x{\\N}"}));
}

TEST(ReportSteps, HeaderKeys)
{
    const QueueHeader h =
        readQueueHeader(crlf({"OPEN=<", "CLOSE=>", "send_to=peer:1002", "PRINTER=KelPDF",
                              "COPIES=3", "ORIENTATION=2", "[HEADER]", "[DATA]"}));
    EXPECT_EQ(h.open, '<');
    EXPECT_EQ(h.close, '>');
    EXPECT_EQ(h.sendTo, "peer:1002");
    EXPECT_EQ(h.printer, "KelPDF");
    EXPECT_EQ(h.copies, 3);
    EXPECT_EQ(h.orientation, "2");
    for (const char *copies : {"0", "-2", "many", ""})
        EXPECT_EQ(readQueueHeader(std::string("COPIES=") + copies).copies, 1) << copies;
    EXPECT_EQ(readQueueHeader("COPIES=100000000").copies, kMaxCopies);
    EXPECT_EQ(readQueueHeader("x").open, '{');
}

TEST(Settling, TakenOnlyAfterKeepingStillForTheQuietPeriod)
{
    SettleTracker t(1000);
    QueueEntry e{"a.kel", 10, 5, 1};
    const std::vector<QueueEntry> seen{e};
    t.observe({&seen}, 0);
    EXPECT_FALSE(t.settled(e, 0));
    EXPECT_EQ(t.nextSettleAt(0), 1000);
    EXPECT_FALSE(t.settled(e, 999));
    EXPECT_TRUE(t.settled(e, 1000));

    // It grew between two looks: the quiet period starts again.
    QueueEntry grown = e;
    grown.size = 20;
    const std::vector<QueueEntry> again{grown};
    t.observe({&again}, 1500);
    EXPECT_FALSE(t.settled(grown, 2000));
    EXPECT_TRUE(t.settled(grown, 2500));
    // What the tracker did not see is not settled; a vanished file is forgotten.
    EXPECT_FALSE(t.settled(e, 5000));
    t.observe({}, 3000);
    EXPECT_FALSE(t.settled(grown, 9000));
    EXPECT_EQ(t.nextSettleAt(9000), std::nullopt);
}
