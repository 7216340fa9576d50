// The printers' list and the time limits of every question to the print
// system, against a scheduler on loopback that takes connections and never
// answers (a stopped cupsd looks the same from here).
#include "../render/harness.h"
#include "printing/cupsjob.h"
#include "printing/printers.h"
#include "printing/printjob.h"
#include "support/silentscheduler.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace kel;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

// libcups pointed at a scheduler that never answers, on this thread too.
class SilentScheduler : public test::SilentScheduler
{
public:
    SilentScheduler() { cupsSetServer(nullptr); }
    ~SilentScheduler() { cupsSetServer(nullptr); }
};

struct ThreePages : test::Harness
{
    ThreePages() : Harness({"one{\\NP}", "two{\\NP}", "three"}) {}
};

std::chrono::milliseconds since(SteadyClock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
}

} // namespace

// The console's tick waits once for a list that does not come, then not at
// all while the question is open; queues are refused as missing printers,
// with the reason, and a "pdf:" printer goes on printing.
TEST(Printers, AStoppedSchedulerCostsOneShortWaitAndLeavesPdfPrintersWorking)
{
    test::ensureGuiApplication();
    SilentScheduler cups;
    Printers printers;

    SteadyClock::time_point start = SteadyClock::now();
    printers.refresh(Printers::kTickWait);
    EXPECT_LT(since(start), Printers::kTickWait + 1s);
    EXPECT_GE(cups.connections(), 1);
    bool available = true;
    EXPECT_TRUE(printers.installed(&available).empty());
    EXPECT_FALSE(available);
    EXPECT_EQ(printers.defaultPrinter(), "");
    const Status office = printers.check("office");
    EXPECT_EQ(office.message(), 133);
    EXPECT_NE(office.refusal().detail.find("did not answer"), std::string::npos)
        << office.refusal().detail;

    start = SteadyClock::now();
    printers.refresh(Printers::kTickWait);
    ThreePages h;
    EXPECT_EQ(printDocument(h.engine(), PrintRequest{"office"}, printers).message(), 133);
    EXPECT_LT(since(start), 500ms) << "a second tick waited for the same silence";

    test::TempDir out;
    const Result<PrintReport> printed =
        printDocument(h.engine(), PrintRequest{"pdf:" + out.path()}, printers);
    ASSERT_TRUE(printed.ok()) << printed.refusal().detail;
    EXPECT_EQ(printed->pagesPrinted, 3);
}

// keltool takes its list once per run with the whole limit; a job on a queue
// gives the scheduler the same limit for every request. Both end in time,
// as a missing printer (133), so the caller keeps its report.
TEST(Printers, EveryQuestionToASilentSchedulerEndsWithinItsLimit)
{
    test::ensureGuiApplication();
    SilentScheduler cups;
    const struct
    {
        const char *name;
        std::chrono::milliseconds limit;
    } limits[] = {{"short", 300ms}, {"longer", 1500ms}};
    for (const auto &c : limits) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> cancel{false};
        SteadyClock::time_point start = SteadyClock::now();
        const PrinterList list = queryCupsQueues(c.limit, cancel);
        EXPECT_LT(since(start), c.limit + 3s);
        EXPECT_FALSE(list.answered);
        EXPECT_NE(list.why.find("did not answer"), std::string::npos) << list.why;

        CupsQueueOutput job("office", JobOptions{"t", 1}, c.limit);
        ASSERT_NE(job.beginPage(PageSetup{}), nullptr);
        job.endPage();
        start = SteadyClock::now();
        const Status finished = job.finish();
        EXPECT_LT(since(start), c.limit + 3s);
        EXPECT_EQ(finished.message(), 133);
        EXPECT_EQ(job.cupsJobId(), 0);
    }

    // A caller that gives up ends the question at once, whatever its limit.
    std::atomic<bool> cancel{true};
    const SteadyClock::time_point start = SteadyClock::now();
    EXPECT_FALSE(queryCupsQueues(kPrintSystemLimit, cancel).answered);
    EXPECT_LT(since(start), 5s);
}

namespace {

// A print system whose answer waits until the test lets it go.
struct HeldAnswer
{
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    bool sawCancel = false;
    int asked = 0;

    PrinterListSource source()
    {
        return [this](std::chrono::milliseconds, const std::atomic<bool> &cancel) {
            std::unique_lock lock(mutex);
            ++asked;
            while (!released && !cancel)
                changed.wait_for(lock, 10ms);
            sawCancel = cancel;
            changed.notify_all();
            PrinterList list;
            list.names = {"office", "Lab"};
            list.defaultName = "Lab";
            list.answered = !cancel;
            return list;
        };
    }
    void release()
    {
        const std::lock_guard lock(mutex);
        released = true;
    }
    int timesAsked()
    {
        const std::lock_guard lock(mutex);
        return asked;
    }
};

} // namespace

TEST(Printers, AnAnswerThatComesLateServesTheNextRefreshAndNoQuestionIsAskedTwice)
{
    HeldAnswer cups;
    Printers printers(nullptr, cups.source());
    printers.refresh(50ms);
    EXPECT_FALSE(printers.list().answered);
    printers.refresh(50ms);
    EXPECT_FALSE(printers.list().answered);
    EXPECT_EQ(cups.timesAsked(), 1);

    cups.release();
    const SteadyClock::time_point start = SteadyClock::now();
    while (!printers.list().answered && since(start) < 5s)
        printers.refresh(0ms);
    ASSERT_TRUE(printers.list().answered);
    EXPECT_EQ(cups.timesAsked(), 1);
    EXPECT_EQ(printers.installed(), (std::vector<std::string>{"office", "Lab"}));
    EXPECT_EQ(printers.defaultPrinter(), "Lab");
    EXPECT_EQ(printers.findIgnoringCase("LAB"), "Lab");
    EXPECT_TRUE(printers.exists("office"));
    EXPECT_FALSE(printers.exists("OFFICE")); // names are exact; findIgnoringCase is not
    EXPECT_EQ(printers.check("kitchen").message(), 133);

    // The next refresh asks again and gets its answer within its wait.
    printers.refresh(5s);
    EXPECT_EQ(cups.timesAsked(), 2);
    EXPECT_TRUE(printers.list().answered);
}

// Printers that go away while the print system is silent leave no question
// waiting behind them: the worker gives up, and has when they are gone.
TEST(Printers, AQuestionStillOpenEndsWhenThePrintersGoAway)
{
    HeldAnswer cups;
    const SteadyClock::time_point start = SteadyClock::now();
    {
        Printers printers(nullptr, cups.source());
        printers.refresh(10ms);
    }
    EXPECT_LT(since(start), 2s);
    const std::lock_guard lock(cups.mutex);
    EXPECT_TRUE(cups.sawCancel);
}
