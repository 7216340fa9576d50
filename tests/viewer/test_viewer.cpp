#include "render/clock.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/pagearea.h"
#include "viewer/viewerwindow.h"
#include "viewerfixture.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;
using test::Viewer;

namespace {

// A report of `pages` pages, each line "page N line M", with a TOTAL line
// on the last page.
std::string pagedReport(int pages)
{
    std::string text = crlf({"MAXY=5000", "SPACING=200", "[HEADER]", "[DATA]"});
    for (int p = 1; p <= pages; ++p) {
        for (int l = 1; l <= 5; ++l)
            text += "page " + std::to_string(p) + " line " + std::to_string(l) + "{\\N}\r\n";
        if (p == pages)
            text += "TOTAL due{\\N}\r\n";
        else
            text += "{\\NP}\r\n";
    }
    return text;
}

} // namespace

TEST(Viewer, OpensAndTurnsPagesWithKeysAndToolbar)
{
    Viewer v;
    ASSERT_TRUE(v.open(pagedReport(3)));
    EXPECT_EQ(v.window.statusText(), "message 146 +");
    EXPECT_EQ(v.window.currentPage(), 1);
    EXPECT_TRUE(v.window.button("for01")->isEnabled()); // last page still "+"

    v.window.dispatch("for01");
    EXPECT_EQ(v.window.statusText(), "message 151 2 message 152 +");
    v.key(Qt::Key_PageDown); // the page fits: Page Down turns the page
    EXPECT_EQ(v.window.currentPage(), 3);
    EXPECT_EQ(v.window.statusText(), "message 151 3 message 152 3");
    v.window.dispatch("for01"); // refused past the last page
    EXPECT_EQ(v.window.currentPage(), 3);
    v.key(Qt::Key_PageUp);
    EXPECT_EQ(v.window.currentPage(), 2);
    v.window.dispatch("back01");
    EXPECT_EQ(v.window.currentPage(), 1);
    v.window.dispatch("back02");
    EXPECT_EQ(v.window.currentPage(), 1);
    v.window.dispatch("for02");
    EXPECT_EQ(v.window.currentPage(), 3);
}

TEST(Viewer, EnabledButtonsFollowTheDocument)
{
    Viewer v;
    EXPECT_FALSE(v.window.button("imprime")->isEnabled());
    EXPECT_FALSE(v.window.button("acerca")->isEnabled());
    ASSERT_TRUE(
        v.open(crlf({"PRINT_ALLOWED=n", "SAVE_ALLOWED=N", "[HEADER]", "[DATA]", "one page"})));
    EXPECT_FALSE(v.window.button("imprime")->isEnabled());
    EXPECT_FALSE(v.window.button("printsetup")->isEnabled());
    EXPECT_FALSE(v.window.button("salvar")->isEnabled());
    EXPECT_TRUE(v.window.button("exportar")->isEnabled());
    EXPECT_TRUE(v.window.button("acerca")->isEnabled());
    // One page, known once drawn: the page buttons are off.
    EXPECT_FALSE(v.window.button("for01")->isEnabled());
    EXPECT_FALSE(v.window.button("back01")->isEnabled());
}

TEST(Viewer, OptionLettersHideButtons)
{
    ViewerOptions options;
    options.hidePrint = true;
    options.hideExport = true;
    Viewer v(options);
    EXPECT_FALSE(v.window.button("imprime")->isVisible());
    EXPECT_FALSE(v.window.button("printsetup")->isVisible());
    EXPECT_FALSE(v.window.button("exportar")->isVisible());
    EXPECT_FALSE(v.window.button("edit")->isVisible()); // design mode only
    v.window.show();
    EXPECT_TRUE(v.window.button("abrir")->isVisible());
    EXPECT_TRUE(v.window.button("salvar")->isVisible());
}

TEST(Viewer, ZoomStepsAndTypedZoom)
{
    Viewer v;
    ASSERT_TRUE(v.open(pagedReport(1)));
    const QSize at100 = v.window.pageArea()->image().size();
    EXPECT_EQ(at100, QSize(794, 1123)); // A4 at 96 dpi
    v.key(Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1.2);
    v.window.dispatch("acerca");
    v.window.dispatch("acerca");
    v.window.dispatch("acerca");
    v.window.dispatch("acerca");
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 3);
    v.window.dispatch("acerca"); // the last level
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 3);
    EXPECT_EQ(v.window.pageArea()->image().width(), 2381);
    v.window.applyZoomText("110 %");
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1.1);
    v.window.dispatch("aleja"); // not a level: no step
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1.1);
    v.window.applyZoomText("25 %");
    v.key(Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 0.25);
    v.window.applyZoomText("100000 %"); // refused: no picture that size
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 0.25);
}

TEST(Viewer, FindAndFindAgain)
{
    Viewer v;
    ASSERT_TRUE(v.open(pagedReport(4)));
    v.window.find("total");
    EXPECT_EQ(v.window.currentPage(), 4);
    EXPECT_TRUE(v.env.prompter.prompts().empty());

    v.window.dispatch("back01");
    v.window.find("Total",
                  {MatchCase::Yes, FindFrom::PageShown}); // match case: "TOTAL" does not match
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{280});
    EXPECT_EQ(v.window.currentPage(), 1);

    v.env.prompter.clear();
    v.window.find("line 3", {MatchCase::No, FindFrom::FirstPage});
    EXPECT_EQ(v.window.currentPage(), 1);
    v.window.findAgain();
    EXPECT_EQ(v.window.currentPage(), 2);
}

TEST(Viewer, GoToPage)
{
    Viewer v;
    ASSERT_TRUE(v.open(pagedReport(5)));
    v.window.goToPage(4);
    EXPECT_EQ(v.window.currentPage(), 4);
    EXPECT_EQ(v.window.statusText(), "message 151 4 message 152 +");
    v.window.goToPage(9); // walks to the end, stops at page 5
    EXPECT_EQ(v.window.currentPage(), 5);
    v.window.goToPage(7); // beyond a known last page: message 167
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{167});
    EXPECT_EQ(v.window.currentPage(), 5);
    v.window.goToPage(2);
    EXPECT_EQ(v.window.currentPage(), 2);
    v.window.goToPage(0); // ignored
    EXPECT_EQ(v.window.currentPage(), 2);
}

TEST(Viewer, RefusalsLeaveNoDocumentOrEndTheProgram)
{
    Viewer v;
    EXPECT_FALSE(v.open("tiny"));
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{136});
    EXPECT_FALSE(v.window.hasDocument());
    EXPECT_EQ(v.window.exitCode(), 0);
    EXPECT_FALSE(v.open(crlf({"[HEADER]", "no data marker"})));
    EXPECT_EQ(v.window.exitCode(), 1);
}

TEST(Viewer, LinkAreasAndScrollBars)
{
    Viewer v;
    ASSERT_TRUE(v.open(crlf({"[HEADER]", "[DATA]", "{LINK=https://example.invalid}here{\\N}"})));
    EXPECT_EQ(v.window.pageArea()->linkCount(), 1);
    v.window.resize(800, 500);
    v.window.show();
    QApplication::processEvents();
    QScrollBar *bar = v.window.pageArea()->verticalBar();
    EXPECT_TRUE(bar->isVisible()); // A4 does not fit 500 pixels
    EXPECT_EQ(bar->maximum(), 20);
    v.key(Qt::Key_End);
    EXPECT_EQ(bar->value(), 20);
    v.key(Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    v.key(Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), 10);
    v.key(Qt::Key_Down);
    EXPECT_EQ(bar->value(), 11);
}

TEST(Viewer, EscapeClosesOnlyWhenAllowed)
{
    Viewer v;
    v.window.show();
    v.key(Qt::Key_Escape);
    EXPECT_TRUE(v.window.isVisible());
    v.env.settings.escExits = "y";
    v.key(Qt::Key_Escape);
    EXPECT_FALSE(v.window.isVisible());
}

TEST(Viewer, BarsHaveTwentyPositionsAfterAResize)
{
    Viewer v;
    ASSERT_TRUE(v.open(pagedReport(1)));
    v.window.show();
    v.window.applyZoomText("300 %");
    QScrollBar *bar = v.window.pageArea()->verticalBar();
    EXPECT_EQ(bar->maximum(), 60);
    v.window.resize(700, 500);
    QApplication::processEvents();
    EXPECT_EQ(bar->maximum(), 20);
    v.key(Qt::Key_End); // the page's foot is still reachable, in larger steps
    EXPECT_EQ(bar->value(), 20);
    const QWidget *page = v.window.pageArea()->picture();
    EXPECT_LE(page->y() + page->height(), v.window.pageArea()->height());
}

TEST(Viewer, ButtonTableDrivesHidingAndEnabling)
{
    // Letters hide their group with the separator after it; the separator
    // after open, save and export only when all three are given.
    const struct
    {
        const char *name;
        ViewerOptions options;
        std::vector<const char *> hidden;
        std::vector<const char *> shown;
    } cases[] = {
        {"open only",
         [] {
             ViewerOptions o;
             o.hideOpen = true;
             return o;
         }(),
         {"abrir"},
         {"salvar", "asda"}},
        {"open, save and export",
         [] {
             ViewerOptions o;
             o.hideOpen = o.hideSave = o.hideExport = true;
             return o;
         }(),
         {"abrir", "salvar", "exportar", "asda"},
         {"about"}},
        {"paging",
         [] {
             ViewerOptions o;
             o.hidePaging = true;
             return o;
         }(),
         {"back01", "back02", "ir", "for01", "for02", "aa"},
         {"acerca"}},
        {"zoom",
         [] {
             ViewerOptions o;
             o.hideZoom = true;
             return o;
         }(),
         {"acerca", "aleja", "CSize", "zx"},
         {"findtext"}},
        {"design mode",
         [] {
             ViewerOptions o;
             o.designMode = true;
             return o;
         }(),
         {"recordkey", "playsound", "stopplaying", "trrrr"},
         {"config", "edit", "columns", "yyytrd"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(c.options);
        v.window.show();
        for (const char *key : c.hidden)
            EXPECT_FALSE(v.window.button(key)->isVisible()) << key;
        for (const char *key : c.shown)
            EXPECT_TRUE(v.window.button(key)->isVisible()) << key;
    }

    // Every key is in the table once, and the toolbar holds them in order.
    Viewer v;
    const auto &table = ViewerWindow::buttonTable();
    QList<QAction *> actions = v.window.findChild<QToolBar *>("Toolbar1")->actions();
    // The page bar stands among them but is no button of the table.
    actions.removeIf([](const QAction *a) { return a->objectName() == QLatin1String("pagebar"); });
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].key);
        ASSERT_LT(static_cast<qsizetype>(i), actions.size());
        EXPECT_EQ(actions[static_cast<qsizetype>(i)]->objectName(), table[i].key);
    }

    // A report that may be exported but not saved, of one page.
    ASSERT_TRUE(v.open(crlf({"SAVE_ALLOWED=N", "EXPORT_ALLOWED=Y", "SEND_ALLOWED=Y", "[HEADER]",
                             "[DATA]", "one page"})));
    EXPECT_FALSE(v.window.button("salvar")->isEnabled());
    EXPECT_TRUE(v.window.button("exportar")->isEnabled());
    EXPECT_TRUE(v.window.button("sendbymail")->isEnabled());
    EXPECT_FALSE(v.window.button("ir")->isEnabled());
    EXPECT_TRUE(v.window.button("CSize")->isEnabled());
    EXPECT_TRUE(v.window.button("abrir")->isEnabled());
}
