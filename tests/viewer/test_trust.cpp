// What a report from elsewhere may start on the user's desktop: addresses
// and plain documents open at once; a program (an EXEC command, a link to a
// command line, an executable file) only as EXEC_ALLOWED says, after a
// question that shows exactly what would start.
#include "app/text.h"
#include "documents/packed.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/pagearea.h"
#include "viewerfixture.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;
using test::Viewer;

namespace {

// Records what it is asked to start; starts nothing.
class RecordingStarter : public ProgramStarter
{
public:
    Outcome start(const ProgramCall &call) override
    {
        started.push_back(call);
        return {fails.isEmpty(), fails};
    }
    std::vector<ProgramCall> started;
    QString fails; // the reason every start fails with, when set
};

// A viewer whose targets go through the asking opener onto a recorder.
struct TrustingViewer
{
    explicit TrustingViewer(ExecPolicy policy)
        : opener(starter, v.env.prompter, v.env.messages, policy)
    {
        v.commands.setOpener(&opener);
    }
    // Clicks the first link area of the page shown.
    void clickLink()
    {
        const auto labels = v.window.pageArea()->picture()->findChildren<QLabel *>();
        ASSERT_FALSE(labels.isEmpty());
        QLabel *link = labels.front();
        const QPointF at(1, 1);
        QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(link, &press);
        QApplication::sendEvent(link, &release);
    }
    Viewer v{ViewerOptions{}};
    RecordingStarter starter;
    AskingTargetOpener opener;
};

// Page 1 links to a command line; page 2 runs one at every showing.
const std::string kReport =
    crlf({"[HEADER]", "[DATA]", "{LINK=touch /tmp/kel-link-ran}Invoice{\\NP}",
          "{EXEC=sh -c \"id > /tmp/kel-exec-ran\",ALWAYS}page two"});

const ProgramCall kExecCall{QStringLiteral("sh"),
                            {QStringLiteral("-c"), QStringLiteral("id > /tmp/kel-exec-ran")}};
const ProgramCall kLinkCall{QStringLiteral("touch"), {QStringLiteral("/tmp/kel-link-ran")}};

} // namespace

TEST(ViewerTrust, NothingStartsBeforeAYesAndThenExactlyTheCommandShown)
{
    TrustingViewer t(ExecPolicy::Ask);
    ScriptedPrompter &prompter = t.v.env.prompter;
    ASSERT_TRUE(t.v.open(kReport));

    // No: the EXEC of page 2 does not start, and is not asked about again
    // in this document however often the page is shown.
    prompter.queueAnswer(Answer::No);
    t.v.window.dispatch(QStringLiteral("for01"));
    ASSERT_EQ(prompter.numbers(), std::vector<int>{390});
    EXPECT_EQ(prompter.prompts()[0].defaultAnswer, Answer::No);
    EXPECT_TRUE(prompter.prompts()[0].text.contains(kExecCall.commandLine()))
        << prompter.prompts()[0].text.toStdString();
    t.v.window.dispatch(QStringLiteral("back02"));
    t.v.window.dispatch(QStringLiteral("for01"));
    EXPECT_EQ(prompter.numbers().size(), 1u);
    EXPECT_TRUE(t.starter.started.empty());

    // The link on page 1: asked, and after the Yes started as shown; a
    // second click starts it again without a question.
    t.v.window.dispatch(QStringLiteral("back01"));
    prompter.clear();
    prompter.queueAnswer(Answer::Yes);
    t.clickLink();
    ASSERT_EQ(prompter.numbers(), std::vector<int>{390});
    EXPECT_TRUE(prompter.prompts()[0].text.contains(kLinkCall.commandLine()));
    ASSERT_EQ(t.starter.started.size(), 1u);
    EXPECT_EQ(t.starter.started[0], kLinkCall);
    t.clickLink();
    EXPECT_EQ(prompter.numbers().size(), 1u);
    EXPECT_EQ(t.starter.started.size(), 2u);

    // Another document (here the same file again) asks again; a Yes starts
    // exactly the command the question showed.
    ASSERT_TRUE(t.v.open(kReport));
    prompter.clear();
    t.starter.started.clear();
    prompter.queueAnswer(Answer::Yes);
    t.v.window.dispatch(QStringLiteral("for01"));
    EXPECT_EQ(prompter.numbers(), std::vector<int>{390});
    ASSERT_EQ(t.starter.started.size(), 1u);
    EXPECT_EQ(t.starter.started[0], kExecCall);
}

TEST(ViewerTrust, PolicyDecidesWhetherAProgramStarts)
{
    struct Row
    {
        const char *name;
        const char *setting;
        Answer answer; // to a question, if one comes
        std::vector<int> prompts;
        bool started;
    };
    const Row rows[] = {
        {"empty asks, No keeps it", "", Answer::No, {390}, false},
        {"ASK asks, Yes starts it", "ask", Answer::Yes, {390}, true},
        {"Y starts without a question", "Y", Answer::No, {}, true},
        {"N never starts, says so once", "N", Answer::Yes, {391}, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TrustingViewer t(execPolicyFrom(row.setting));
        ASSERT_TRUE(t.v.open(kReport));
        t.v.env.prompter.queueAnswer(row.answer);
        t.v.window.dispatch(QStringLiteral("for01"));
        t.v.window.dispatch(QStringLiteral("back02"));
        t.v.window.dispatch(QStringLiteral("for01"));
        EXPECT_EQ(t.v.env.prompter.numbers(), row.prompts);
        EXPECT_EQ(t.starter.started.size(), row.started ? 2u : 0u);
    }
}

TEST(ViewerTrust, AddressesAndDocumentsOpenWithoutAQuestion)
{
    TrustingViewer t(ExecPolicy::Ask);
    const std::string document = t.v.env.dir.write("invoice.pdf", "%PDF-1.4\n");
    const std::string script = t.v.env.dir.write("invoice.sh", "#!/bin/sh\nid\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    const std::string entry =
        t.v.env.dir.write("invoice", "[Desktop Entry]\nType=Application\nExec=id\n");
    struct Row
    {
        std::string target;
        bool asks;
        ProgramCall call;
    };
    const QString xdgOpen = QStringLiteral("xdg-open");
    const Row rows[] = {
        {"https://example.invalid/a?b=c", false, {xdgOpen, {"https://example.invalid/a?b=c"}}},
        {"HTTP://example.invalid", false, {xdgOpen, {"HTTP://example.invalid"}}},
        {"mailto:someone@example.invalid", false, {xdgOpen, {"mailto:someone@example.invalid"}}},
        {document, false, {xdgOpen, {QString::fromStdString(document)}}},
        {script, true, {QString::fromStdString(script), {}}},
        {entry, true, {xdgOpen, {QString::fromStdString(entry)}}},
        {"smb://server/share", true, {xdgOpen, {"smb://server/share"}}},
        {"notepad \"my file.txt\"", true, {"notepad", {"my file.txt"}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.target);
        t.v.env.prompter.clear();
        t.starter.started.clear();
        t.opener.newDocument();
        t.v.env.prompter.queueAnswer(Answer::Yes);
        t.v.commands.open(row.target);
        EXPECT_EQ(t.v.env.prompter.numbers(),
                  row.asks ? std::vector<int>{390} : std::vector<int>{});
        ASSERT_EQ(t.starter.started.size(), 1u);
        EXPECT_EQ(t.starter.started[0], row.call);
    }
}

TEST(ViewerTrust, AFailureToOpenIsSaidOnceWithItsReason)
{
    TrustingViewer t(ExecPolicy::Ask);
    t.starter.fails = QStringLiteral("xdg-open: no method available for opening");
    t.v.commands.open("https://example.invalid");
    t.v.commands.open("https://example.invalid");
    ASSERT_EQ(t.v.env.prompter.numbers(), std::vector<int>{392});
    EXPECT_TRUE(t.v.env.prompter.prompts()[0].text.contains(t.starter.fails));
}

TEST(ViewerTrust, PackingLeavesOutWhatIsNoPictureOrSoundAndSaysSo)
{
    Viewer v;
    QImage logo(20, 10, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(QString::fromStdString(v.env.dir.file("logo.png"))));
    ASSERT_TRUE(logo.save(QString::fromStdString(v.env.dir.file("logo.bmp"))));
    v.env.dir.write("bell.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
    const std::string secret = v.env.dir.write("notes.txt", "the password is swordfish\n");
    ASSERT_TRUE(v.open(crlf({"[HEADER]", "[DATA]", "{PIC=logo.png,100,100,600,300}",
                             "{PIC=logo.bmp,100,400,600,600}{SND=bell.wav}",
                             "{PIC=" + secret + ",1,1,2,2}Text"})));
    v.env.prompter.clear();
    ASSERT_TRUE(v.window.saveAs(v.env.dir.file("packed.kel"), SaveForm::PackedReport));
    ASSERT_EQ(v.env.prompter.numbers(), std::vector<int>{393});
    const QString said = v.env.prompter.prompts()[0].text;
    EXPECT_TRUE(said.contains(QString::fromStdString(secret))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("logo"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("bell"))) << said.toStdString();

    std::string packed;
    std::string container;
    std::string error;
    ASSERT_TRUE(readFile(v.env.dir.file("packed.kel"), packed));
    ASSERT_TRUE(unpackPackedBytes(packed, container, error)) << error;
    EXPECT_EQ(container.find("swordfish"), std::string::npos);
    EXPECT_NE(container.find("WAVEfmt"), std::string::npos);
}
