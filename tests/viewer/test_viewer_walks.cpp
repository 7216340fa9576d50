// What the viewer shows of its page walks: the diagnostics of a walk as
// boxes once the page is on the screen, never from inside the walk; and a
// page reached by paging exactly as keltool draws that page alone.
#include "render/clock.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/pagearea.h"
#include "viewer/viewerwindow.h"
#include "viewerfixture.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;

namespace {

// Records each box with whether the page picture was there when it came up.
class PageWatchingPrompter : public ScriptedPrompter
{
public:
    Answer show(const Prompt &prompt) override
    {
        drawnFirst.push_back(window && !window->pageArea()->image().isNull());
        return ScriptedPrompter::show(prompt);
    }
    const ViewerWindow *window = nullptr;
    std::vector<bool> drawnFirst;
};

} // namespace

TEST(ViewerWalks, DiagnosticsShownAfterThePageIsDrawnUntilSwitchedOff)
{
    test::TestEnvironment env;
    PageWatchingPrompter prompter;
    Warnings warnings(prompter, env.messages);
    ExternalCommands commands;
    FixedClock clock{QDateTime(QDate(2026, 12, 9), QTime(9, 5, 3))};
    ViewerContext context{env.folders, env.messages, env.settings, prompter,
                          warnings,    commands,     clock,        {}};
    ViewerWindow window(context);
    prompter.window = &window;
    const std::string report = env.dir.write(
        "bad.kel", crlf({"[HEADER]", "[DATA]", "{FOO}x{\\N}", "{S=-1}y{\\NP}", "{B=Q}z"}));

    // The first warning answered Yes (the default) switches the warnings off.
    ASSERT_TRUE(window.openDocument(report));
    EXPECT_EQ(prompter.numbers(), (std::vector<int>{205, 207}));
    EXPECT_EQ(prompter.drawnFirst, (std::vector<bool>{true, true}));
    EXPECT_EQ(prompter.prompts()[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompter.prompts()[1].icon, PromptIcon::Exclamation);

    // Off for the rest of the document: only the refusal comes again.
    prompter.clear();
    window.nextPage();
    window.previousPage();
    EXPECT_EQ(prompter.numbers(), (std::vector<int>{207}));

    // Opening the document again switches them on; No keeps them on.
    prompter.clear();
    prompter.queueAnswer(Answer::No);
    ASSERT_TRUE(window.openDocument(report));
    window.nextPage();
    EXPECT_EQ(prompter.numbers(), (std::vector<int>{205, 207, 199}));
}

TEST(ViewerWalks, PagedToPageIsWhatKeltoolRendersAlone)
{
    test::Viewer v;
    const std::string report =
        v.env.dir.write("carried.kel", crlf({"[HEADER]", "[DATA]", "{F=courier;S=14;BAR}ABC{\\NP}",
                                             "DEF{NOBAR}{\\NP}", "GHI{S=30}{\\NP}", "JKL"}));
    ASSERT_TRUE(v.window.openDocument(report));
    for (int page = 2; page <= 4; ++page) {
        SCOPED_TRACE(page);
        v.window.nextPage();
        ASSERT_EQ(v.window.currentPage(), page);
        const std::string png = v.env.dir.file("page.png");
        QProcess keltool;
        keltool.start(QStringLiteral(KEL_BIN_DIR "/keltool"),
                      {"render", QString::fromStdString(report), "--page", QString::number(page),
                       "-o", QString::fromStdString(png)});
        ASSERT_TRUE(keltool.waitForFinished(60000));
        ASSERT_EQ(keltool.exitCode(), 0) << keltool.readAllStandardError().toStdString();
        const QImage alone =
            QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(alone == v.window.pageArea()->image().convertToFormat(QImage::Format_RGB32));
    }
}

TEST(ViewerWalks, EveryPageOfALongReportIsReached)
{
    test::Viewer v;
    std::string text = crlf({"[HEADER]", "[DATA]"});
    for (int p = 1; p <= 25000; ++p)
        text += "page " + std::to_string(p) + (p < 25000 ? "{\\NP}\r\n" : "\r\n");
    ASSERT_TRUE(v.open(text));

    v.window.goToPage(20000);
    EXPECT_EQ(v.window.currentPage(), 20000);
    v.window.nextPage();
    EXPECT_EQ(v.window.currentPage(), 20001);

    v.window.find(QStringLiteral("page 24999"), {MatchCase::No, FindFrom::FirstPage});
    EXPECT_EQ(v.window.currentPage(), 24999);
    EXPECT_TRUE(v.env.prompter.prompts().empty()); // not "not found"

    v.window.goToPage(25000);
    EXPECT_EQ(v.window.statusText(), "message 151 25000 message 152 25000");
    v.window.nextPage();
    EXPECT_EQ(v.window.currentPage(), 25000);
}
