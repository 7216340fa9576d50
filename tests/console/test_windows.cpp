// The console's windows under the offscreen platform: pconsole follows the
// queue, browser keeps its lists and settings, configfrm converts paper
// sizes.
#include "console/browserwindow.h"
#include "console/consoleprompter.h"
#include "console/consolewindow.h"
#include "console/filetypeswindow.h"
#include "consolefixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kel;

namespace {

// A console engine with its windows' context; KEL.INI holds the fixture's
// settings, since the configuration window reads it again.
struct Windows : test::Console
{
    Windows()
    {
        EXPECT_TRUE(
            saveSettings(env.folders.inProgram("KEL.INI"), env.settings, env.messages).ok());
        engine.start(ConsoleEngine::StartQueue::Open);
    }
    ConsoleWindowContext context()
    {
        return {engine,       env.messages,
                env.settings, env.folders,
                printers,     transfer,
                {},           env.prompter,
                {},           [this](const std::string &p) { viewerStarted.push_back(p); }};
    }
    static std::vector<std::string> items(const QListWidget *list)
    {
        std::vector<std::string> out;
        for (int i = 0; i < list->count(); ++i)
            out.push_back(list->item(i)->text().toStdString());
        return out;
    }
};

template <class T> T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

} // namespace

TEST(ConsoleWindow, LampAndQueueButtonFollowTheQueue)
{
    Windows w;
    ConsoleWindow window(w.context());
    EXPECT_EQ(window.lamp()->color(), QueueLamp::kOpen);
    EXPECT_EQ(window.queueButton()->text(), QStringLiteral("message 81"));

    // A command file closes it: the window follows.
    w.drop("x.cmd", "CLOSE_QUEUE\r\n");
    w.drop("a.kel", "x");
    w.drop("b.ke", "x");
    w.engine.tick();
    EXPECT_EQ(window.lamp()->color(), QueueLamp::kClosed);
    EXPECT_EQ(window.queueButton()->text(), QStringLiteral("message 80"));
    EXPECT_EQ(child<QLabel>(window, "held")->text(), QStringLiteral("1"));
    EXPECT_EQ(child<QLabel>(window, "released")->text(), QStringLiteral("1"));

    window.queueButton()->click();
    EXPECT_TRUE(w.engine.queueOpen());
    EXPECT_EQ(window.lamp()->color(), QueueLamp::kOpen);

    // The configuration closes the queue first, and says so.
    window.openConfiguration();
    EXPECT_FALSE(w.engine.queueOpen());
    EXPECT_EQ(window.queueButton()->text(), QStringLiteral("message 80"));
    EXPECT_EQ(w.env.prompter.numbers(), (std::vector<int>{87}));
    ASSERT_NE(window.browser(), nullptr);
    window.browser()->close();
    // The status says so, also after the next tick has waited.
    EXPECT_EQ(window.statusText(), QStringLiteral("message 263"));
    w.engine.tick();
    EXPECT_EQ(window.statusText(), QStringLiteral("message 263"));
}

TEST(BrowserWindow, TypeSwitchesRebuildBothListsAndTheConsoles)
{
    Windows w;
    for (const char *name : {"a.kel", "b.kez", "c.kz", "d.ke", "e.txt", "f.tx"})
        w.drop(name, "x");
    ConsoleWindow console(w.context());
    BrowserWindow browser(w.context());
    EXPECT_EQ(Windows::items(browser.heldList()),
              (std::vector<std::string>{"c.kz", "d.ke", "f.tx"}));
    EXPECT_EQ(Windows::items(browser.releasedList()),
              (std::vector<std::string>{"a.kel", "b.kez", "e.txt"}));

    child<QCheckBox>(browser, "KEZ_YN")->setChecked(false);
    EXPECT_EQ(Windows::items(browser.heldList()), (std::vector<std::string>{"d.ke", "f.tx"}));
    EXPECT_EQ(Windows::items(browser.releasedList()), (std::vector<std::string>{"a.kel", "e.txt"}));
    EXPECT_EQ(w.env.settings.printKez, "N");
    EXPECT_FALSE(w.engine.types().templates);
    EXPECT_EQ(child<QLabel>(console, "held")->text(), QStringLiteral("2"));
    EXPECT_EQ(child<QLabel>(console, "released")->text(), QStringLiteral("2"));

    // Hold and release move the selected files between the lists.
    browser.releasedList()->item(0)->setSelected(true);
    child<QPushButton>(browser, "hold_em")->click();
    EXPECT_EQ(Windows::items(browser.heldList()),
              (std::vector<std::string>{"a.ke", "d.ke", "f.tx"}));
    EXPECT_TRUE(w.inQueue("a.ke"));
}

TEST(BrowserWindow, CheckIntervalFromFiveToSixtySeconds)
{
    Windows w;
    BrowserWindow browser(w.context());
    auto *every = child<QLineEdit>(browser, "Check_every");
    const struct
    {
        const char *text;
        bool taken;
    } rows[] = {{"4", false}, {"61", false}, {"soon", false},
                {"5", true},  {"60", true},  {"", true}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text);
        w.env.prompter.clear();
        w.env.settings.checkEvery = "old";
        every->setText(QString::fromLatin1(r.text));
        EXPECT_EQ(browser.takeCheckInterval(), r.taken);
        EXPECT_EQ(w.env.settings.checkEvery, r.taken ? r.text : "old");
        EXPECT_EQ(w.env.prompter.numbers(), r.taken ? std::vector<int>{} : std::vector<int>{43});
    }
}

TEST(BrowserWindow, ViewingAQueuedFileLeavesItUnchanged)
{
    Windows w;
    const std::string listing = "a listing line\r\n";
    w.drop("l.txt", listing);
    w.drop("h.tx", listing);
    w.drop("r.kel", "DELETE_AFTER=Y\r\n[HEADER]\r\n[DATA]\r\nx\r\n");
    BrowserWindow browser(w.context());
    const auto before = std::filesystem::last_write_time(w.queue + "/l.txt");

    browser.releasedList()->item(0)->setSelected(true); // l.txt
    browser.viewSelected(false);
    browser.heldList()->item(0)->setSelected(true); // h.tx
    browser.viewSelected(true);
    browser.releasedList()->clearSelection();
    browser.releasedList()->item(1)->setSelected(true); // r.kel
    browser.viewSelected(false);

    const std::string released = w.env.folders.inTemp("$$$.KEL");
    EXPECT_EQ(w.viewerStarted,
              (std::vector<std::string>{released, w.queue + "/$$$.$$$", released}));
    std::string bytes;
    ASSERT_TRUE(readFile(w.queue + "/l.txt", bytes));
    EXPECT_EQ(bytes, listing);
    EXPECT_EQ(std::filesystem::last_write_time(w.queue + "/l.txt"), before);
    ASSERT_TRUE(readFile(w.queue + "/$$$.$$$", bytes));
    EXPECT_NE(bytes.find("[HEADER]"), std::string::npos);
    // The report that deletes itself was shown from a copy.
    EXPECT_TRUE(w.inQueue("r.kel"));
    ASSERT_TRUE(readFile(released, bytes));
    EXPECT_NE(bytes.find("DELETE_AFTER=Y"), std::string::npos);
}

TEST(BrowserWindow, ConnectionFileAndSave)
{
    Windows w;
    w.env.settings.cnxFile = "remote.cnx";
    ASSERT_TRUE(
        saveSettings(w.env.folders.inProgram("KEL.INI"), w.env.settings, w.env.messages).ok());
    BrowserWindow browser(w.context());
    auto *cnx = child<QLineEdit>(browser, "Cnxfile");
    EXPECT_EQ(cnx->text(), QStringLiteral("remote.cnx"));
    cnx->setText(QStringLiteral("other"));
    browser.takeConnectionFile();
    EXPECT_EQ(cnx->text(), QStringLiteral("other.cnx"));
    EXPECT_EQ(w.env.prompter.numbers(), (std::vector<int>{37}));
    EXPECT_FALSE(child<QPushButton>(browser, "Command6")->isEnabled());
    // Without the transfer's tester the button says it is not available.
    child<QPushButton>(browser, "Command3")->click();
    EXPECT_EQ(w.env.prompter.numbers(), (std::vector<int>{37, 259}));

    browser.save();
    EXPECT_EQ(w.env.prompter.numbers().back(), 224);
    SettingsRecord saved;
    ASSERT_TRUE(loadSettings(w.env.folders.inProgram("KEL.INI"), saved, true));
    EXPECT_EQ(saved.cnxFile, "other.cnx");
    EXPECT_EQ(saved.queuePath, w.queue);
}

TEST(FileTypesWindow, PaperInMillimetresStoredInTwips)
{
    Windows w;
    w.env.settings.row(DocType::Txt).length = "16840";
    w.env.settings.row(DocType::Txt).width = "11907";
    w.env.settings.row(DocType::Txt).orientation = "PORTRAIT";
    FileTypesWindow window(w.env.settings, w.env.messages, w.printers, w.env.folders);
    auto *length = child<QLineEdit>(window, "Length_crt");
    auto *width = child<QLineEdit>(window, "Width_crt");
    auto *paper = child<QComboBox>(window, "PaperSize");
    auto *apply = child<QPushButton>(window, "Command1");

    // The report type uses its printer only.
    EXPECT_FALSE(child<QWidget>(window, "Frame2")->isEnabled());
    EXPECT_TRUE(length->text().isEmpty());

    child<QListWidget>(window, "Files_type")->setCurrentRow(2); // TXT
    EXPECT_EQ(window.shownType(), DocType::Txt);
    EXPECT_TRUE(child<QWidget>(window, "Frame2")->isEnabled());
    EXPECT_EQ(length->text(), QStringLiteral("297"));
    EXPECT_EQ(paper->currentText(), QStringLiteral("A4"));
    EXPECT_TRUE(child<QRadioButton>(window, "Option1")->isChecked());
    EXPECT_FALSE(apply->isEnabled());

    const struct
    {
        const char *length;
        const char *width;
        const char *paper;
        const char *twips;
    } rows[] = {
        {"210", "297", "(custom)", "11907"},
        {"297", "210", "A4", "16840"},
        {"279", "216", "Letter", "15819"},
        {"100", "100", "(custom)", "5670"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(r.length) + " x " + r.width);
        length->setText(QString::fromLatin1(r.length));
        width->setText(QString::fromLatin1(r.width));
        EXPECT_EQ(paper->currentText(), QString::fromLatin1(r.paper));
        EXPECT_EQ(window.lengthTwips(), QString::fromLatin1(r.twips));
    }
    EXPECT_TRUE(apply->isEnabled());
    child<QRadioButton>(window, "Option2")->setChecked(true);
    apply->click();
    EXPECT_EQ(w.env.settings.row(DocType::Txt).length, "5670");
    EXPECT_EQ(w.env.settings.row(DocType::Txt).width, "5670");
    EXPECT_EQ(w.env.settings.row(DocType::Txt).orientation, "LANDSCAPE");
    EXPECT_FALSE(apply->isEnabled());

    // Choosing a paper fills both fields; another type without Apply
    // drops the edit.
    paper->setCurrentIndex(2); // Legal
    Q_EMIT paper->activated(2);
    EXPECT_EQ(length->text(), QStringLiteral("356"));
    EXPECT_EQ(window.widthTwips(), QStringLiteral("12247"));
    child<QListWidget>(window, "Files_type")->setCurrentRow(3);
    child<QListWidget>(window, "Files_type")->setCurrentRow(2);
    EXPECT_EQ(length->text(), QStringLiteral("100"));
}

TEST(BrowserWindow, OpenedByTheViewerShowsTheQueueAndTouchesNothing)
{
    // KEL.INI names the queue; an AUTOEXEC.CMD and a released report wait.
    test::Console c;
    ASSERT_TRUE(
        saveSettings(c.env.folders.inProgram("KEL.INI"), c.env.settings, c.env.messages).ok());
    c.drop("AUTOEXEC.CMD", "EMPTY_RELEASED_QUEUE\r\n");
    c.drop("a.kel", "[HEADER]\r\n[DATA]\r\nx\r\n");
    c.drop("b.ke", "x");
    SettingsRecord viewerSettings;
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        auto *window = qobject_cast<BrowserWindow *>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        shown = true;
        EXPECT_EQ(Windows::items(window->releasedList()), std::vector<std::string>{"a.kel"});
        EXPECT_EQ(Windows::items(window->heldList()), std::vector<std::string>{"b.ke"});
        auto *apply = window->findChild<QPushButton *>(QStringLiteral("Command6"));
        ASSERT_NE(apply, nullptr);
        EXPECT_FALSE(apply->isVisibleTo(window));
        window->close();
    });
    showConfigurationForViewer(c.env.folders, c.env.messages, viewerSettings, c.env.prompter,
                               c.env.warnings, nullptr);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(c.env.prompter.prompts().empty());
    EXPECT_TRUE(std::filesystem::exists(c.queue + "/a.kel"));
    EXPECT_TRUE(std::filesystem::exists(c.queue + "/AUTOEXEC.CMD"));
    EXPECT_EQ(viewerSettings.queuePath, c.queue);
}

TEST(ConsoleWindow, WithoutATrayHideMinimisesAndBadFilesDoNotStackBoxes)
{
    Windows w;
    ConsoleWindowContext context = w.context();
    context.switches.install = true; // no tray icon
    context.switches.visible = true;
    ConsoleWindow window(context);
    window.activate();
    ASSERT_TRUE(window.isVisible());
    // Hidden without a tray icon to bring it back, it would be gone for good.
    window.hideToTray();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());

    // The boxes of files left in the queue never wait, and only a few stay.
    ConsolePrompter prompter(&window);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(prompter.show({250, QStringLiteral("left"), QStringLiteral("t"),
                                 PromptIcon::Critical, PromptButtons::Ok, Answer::Ok}),
                  Answer::Ok);
    }
    EXPECT_EQ(prompter.openBoxes(), ConsolePrompter::kMaxOpenBoxes);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
