// The viewer over a day's use: edits kept until the user lets them go, an
// editor that cannot start, the zoom box's own keys, go to page, the save
// forms and mailed attachments that outlive the viewer.
#include "app/text.h"
#include "printing/printers.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/dialogs.h"
#include "viewer/findbar.h"
#include "viewer/mail.h"
#include "viewer/pagebar.h"
#include "viewerfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;
using test::Viewer;
namespace fs = std::filesystem;

namespace {

// An editor that appends a line to the file it is given, or fails.
class ScriptedEditor : public ProgramStarter
{
public:
    Outcome start(const ProgramCall &call) override
    {
        calls.push_back(call);
        if (!fails.isEmpty())
            return {false, fails};
        std::string bytes;
        const std::string path = call.arguments.back().toStdString();
        readFile(path, bytes);
        writeFile(path, bytes + "edited line\r\n");
        return {};
    }
    std::vector<ProgramCall> calls;
    QString fails;
};

struct DesignViewer
{
    DesignViewer()
    {
        v.context.starter = &editor;
        v.env.settings.defaultEditor = "my-editor --new-window";
    }
    ViewerOptions design()
    {
        ViewerOptions o;
        o.designMode = true;
        return o;
    }
    Viewer v{design()};
    ScriptedEditor editor;
};

// Runs `answer` on the next modal dialog once it is shown.
template <typename Dialog, typename F> void onNextDialog(F answer)
{
    QTimer::singleShot(0, [answer] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        answer(dialog);
    });
}

void saveAsIn(const std::string &path)
{
    onNextDialog<QFileDialog>([path](QFileDialog *d) {
        d->selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(d, "accept");
    });
}

const std::string kReport = crlf({"[HEADER]", "[DATA]", "first line"});

} // namespace

TEST(ViewerDayOfUse, EditsAreSavedOrDroppedOnlyAfterAQuestion)
{
    DesignViewer d;
    ScriptedPrompter &prompter = d.v.env.prompter;
    const std::string other = d.v.env.dir.write("other.kel", kReport);

    // Edited and reloaded; opening another document asks, and Yes saves
    // the edited copy where the user says.
    ASSERT_TRUE(d.v.open(kReport, "orig.kel"));
    prompter.queueAnswer(Answer::Yes); // reload
    d.v.window.dispatch(QStringLiteral("edit"));
    ASSERT_EQ(d.editor.calls.size(), 1u);
    EXPECT_EQ(d.editor.calls[0].program, QStringLiteral("my-editor"));
    prompter.clear();
    prompter.queueAnswer(Answer::Yes); // save the changes
    const std::string saved = d.v.env.dir.file("kept.kel");
    saveAsIn(saved);
    ASSERT_TRUE(d.v.window.openDocument(other));
    EXPECT_EQ(prompter.numbers(), std::vector<int>{396});
    std::string bytes;
    ASSERT_TRUE(readFile(saved, bytes));
    EXPECT_NE(bytes.find("edited line"), std::string::npos);

    // No drops them; an unedited copy goes without a word.
    prompter.clear();
    d.v.window.dispatch(QStringLiteral("edit"));
    prompter.queueAnswer(Answer::No);
    ASSERT_TRUE(d.v.window.openDocument(d.v.env.dir.file("orig.kel")));
    EXPECT_EQ(prompter.numbers(), (std::vector<int>{195, 396}));
    prompter.clear();
    ASSERT_TRUE(d.v.window.openDocument(other));
    EXPECT_TRUE(prompter.numbers().empty());

    // Cancelling the save keeps the viewer open with its edits.
    d.v.window.show();
    d.v.window.dispatch(QStringLiteral("edit"));
    prompter.clear();
    prompter.queueAnswer(Answer::Yes);
    onNextDialog<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); });
    EXPECT_FALSE(d.v.window.close());
    EXPECT_TRUE(d.v.window.isVisible());
    EXPECT_EQ(prompter.numbers(), std::vector<int>{396});
}

TEST(ViewerDayOfUse, AnEditorThatCannotStartIsSaidWithItsReason)
{
    DesignViewer d;
    d.editor.fails = QStringLiteral("xdg-open: no method available for opening 'r.kel'");
    ASSERT_TRUE(d.v.open(kReport));
    d.v.window.dispatch(QStringLiteral("edit"));
    ASSERT_EQ(d.v.env.prompter.numbers(), std::vector<int>{395});
    EXPECT_TRUE(d.v.env.prompter.prompts()[0].text.contains(d.editor.fails));
}

TEST(ViewerDayOfUse, ZoomBoxTakesCAndMarksTheLevelShown)
{
    Viewer v;
    ASSERT_TRUE(v.open(kReport));
    v.window.show();
    auto *box = v.window.findChild<QComboBox *>();
    ASSERT_NE(box, nullptr);
    v.window.zoomStep(ZoomStep::Out);
    EXPECT_EQ(box->currentText(), QStringLiteral("75 %"));
    EXPECT_EQ(box->currentIndex(), 2);

    // Keys reach the box itself when it has the focus, as typing does.
    box->setFocus();
    box->lineEdit()->setText(QString());
    for (const QChar c : QStringLiteral("130c")) {
        QKeyEvent press(QEvent::KeyPress,
                        c == QLatin1Char('c') ? Qt::Key_C : Qt::Key_0 + (c.unicode() - '0'),
                        Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &press);
    }
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1.3);
    EXPECT_EQ(box->currentText(), QStringLiteral("130 %"));
    EXPECT_EQ(box->currentIndex(), -1);
}

TEST(ViewerDayOfUse, GoToPageNamesTheRangeAndCanBeCancelled)
{
    Viewer v;
    ASSERT_TRUE(v.open(crlf({"[HEADER]", "[DATA]", "one{\\NP}", "two{\\NP}", "three"})));
    onNextDialog<GoToDialog>([](GoToDialog *dialog) {
        const auto *range = dialog->findChild<QLabel *>(QStringLiteral("range"));
        ASSERT_NE(range, nullptr);
        EXPECT_TRUE(range->text().endsWith(QStringLiteral("1 - 3"))) << range->text().toStdString();
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        ASSERT_NE(buttons, nullptr);
        ASSERT_NE(buttons->button(QDialogButtonBox::Ok), nullptr);
        dialog->findChild<QLineEdit *>()->setText(QStringLiteral("3"));
        buttons->button(QDialogButtonBox::Cancel)->click();
    });
    v.window.dispatch(QStringLiteral("ir"));
    EXPECT_EQ(v.window.currentPage(), 1);
    onNextDialog<GoToDialog>([](GoToDialog *dialog) {
        dialog->findChild<QLineEdit *>()->setText(QStringLiteral("3"));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    v.window.dispatch(QStringLiteral("ir"));
    EXPECT_EQ(v.window.currentPage(), 3);
}

TEST(ViewerDayOfUse, SaveProposesTheDocumentsNameAndWritesEveryForm)
{
    Viewer v;
    v.env.messages.set(287, "Kel report|*.kel|Packed report with pictures|*.kel|Page picture|*.bmp|"
                            "Page picture as PNG|*.png|PDF document|*.pdf");
    ASSERT_TRUE(v.open(
        crlf({"REPORT_TITLE=Invoice", "[HEADER]", "[DATA]", "{B}Total{\\NP}", "second page"}),
        "invoice.kel"));
    struct Row
    {
        int type;
        const char *proposed;
        const char *written;
        const char *startsWith;
    };
    const Row rows[] = {
        {0, "invoice.kel", "a.kel", "REPORT_TITLE=Invoice"},
        {1, "invoice.kel", "b.kel", "22"},
        {2, "invoice.bmp", "c.bmp", "BM"},
        {3, "invoice.png", "d.png", "\x89PNG"},
        {4, "invoice.pdf", "e.pdf", "%PDF"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.written);
        const QString name = QString::fromLatin1(row.written).section(QLatin1Char('.'), 0, 0);
        onNextDialog<QFileDialog>([&row, name](QFileDialog *d) {
            // As the user picks a type: the proposed name follows it.
            const QString type = d->nameFilters().value(row.type);
            d->selectNameFilter(type);
            Q_EMIT d->filterSelected(type);
            EXPECT_TRUE(d->selectedFiles().value(0).endsWith(QLatin1String(row.proposed)))
                << d->selectedFiles().value(0).toStdString();
            d->selectFile(name);
            QMetaObject::invokeMethod(d, "accept");
        });
        v.window.dispatch(QStringLiteral("salvar"));
        std::string bytes;
        ASSERT_TRUE(readFile(v.env.dir.file(row.written), bytes));
        EXPECT_EQ(bytes.rfind(row.startsWith, 0), 0u);
    }
    EXPECT_FALSE(fs::exists(v.env.dir.file("b.kel.Kel")));

    // The PDF is the printer drawing of every page, as keltool pdf writes it.
    QProcess pdf;
    pdf.start(QStringLiteral(KEL_BIN_DIR "/keltool"),
              {QStringLiteral("pdf"), QString::fromStdString(v.env.dir.file("invoice.kel")),
               QStringLiteral("-o"), QString::fromStdString(v.env.dir.file("tool.pdf"))});
    ASSERT_TRUE(pdf.waitForFinished(60000));
    ASSERT_EQ(pdf.exitCode(), 0) << pdf.readAllStandardError().toStdString();
    std::string fromViewer;
    std::string fromTool;
    ASSERT_TRUE(readFile(v.env.dir.file("e.pdf"), fromViewer));
    ASSERT_TRUE(readFile(v.env.dir.file("tool.pdf"), fromTool));
    // The same bytes but for the moment each was made.
    const auto undated = [](std::string pdf) {
        const size_t at = pdf.find("/CreationDate(D:");
        if (at != std::string::npos)
            pdf.erase(at, pdf.find(')', at) - at);
        return pdf;
    };
    EXPECT_EQ(undated(fromViewer), undated(fromTool));
}

TEST(ViewerDayOfUse, MailedAttachmentsOutliveTheViewerForADay)
{
    Viewer v;
    const std::string outbox = v.env.dir.path() + "/outbox";
    fs::create_directories(outbox);
    v.context.outbox = outbox;
    ASSERT_TRUE(v.open(kReport, "mailed.kel"));
    const std::string bin = v.env.dir.path() + "/bin";
    fs::create_directories(bin);
    v.env.dir.write("bin/xdg-email", "#!/bin/sh\nexit 0\n");
    fs::permissions(bin + "/xdg-email", fs::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin) + ":" + path);
    v.window.sendByMail();
    qputenv("PATH", path);
    EXPECT_TRUE(v.env.prompter.prompts().empty());
    EXPECT_TRUE(fs::exists(outbox + "/mailed.kel"));
    EXPECT_FALSE(fs::exists(v.env.folders.inTemp("mailed.kel")));

    // At the next start, what is older than a day goes; links stay.
    const std::string old = v.env.dir.write("outbox/old.kel", "old");
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(25));
    const std::string target = v.env.dir.write("elsewhere.kel", "not ours");
    fs::last_write_time(target, fs::file_time_type::clock::now() - std::chrono::hours(25));
    fs::create_symlink(target, outbox + "/link.kel");
    removeOldAttachments(outbox);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(outbox + "/mailed.kel"));
    EXPECT_TRUE(fs::is_symlink(outbox + "/link.kel"));
    EXPECT_TRUE(fs::exists(target));
}

TEST(ViewerDayOfUse, WithoutAPrintSystemPrintSaysSoAndOffersAPdfFolder)
{
    bool available = false;
    Printers().installed(&available);
    if (available)
        GTEST_SKIP() << "the print system runs on this machine";
    Viewer v;
    ASSERT_TRUE(v.open(crlf({"PRINT_ALLOWED=Y", "[HEADER]", "[DATA]", "printed"})));
    // The print dialog opens, and a PDF folder named there prints.
    const std::string folder = v.env.dir.path() + "/pdf";
    fs::create_directories(folder);
    onNextDialog<QDialog>([folder](QDialog *dialog) {
        auto *printer = dialog->findChild<QComboBox *>(QStringLiteral("Combo1"));
        ASSERT_NE(printer, nullptr);
        EXPECT_TRUE(printer->lineEdit()->placeholderText().startsWith(QStringLiteral("pdf:")));
        printer->setEditText(QString::fromStdString("pdf:" + folder));
        dialog->findChild<QPushButton *>(QStringLiteral("imprimir"))->click();
    });
    v.window.dispatch(QStringLiteral("imprime"));
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{397});
    EXPECT_FALSE(fs::is_empty(folder));
}

TEST(ViewerDayOfUse, ConfigurationOpensTheWindowHandedInOverTheViewer)
{
    DesignViewer d;
    std::vector<QWidget *> parents;
    d.v.context.openConfiguration = [&parents](QWidget *parent) { parents.push_back(parent); };
    d.v.window.dispatch(QStringLiteral("config"));
    EXPECT_EQ(parents, std::vector<QWidget *>{&d.v.window});
    EXPECT_TRUE(d.v.env.prompter.prompts().empty());
}

TEST(ViewerDayOfUse, FindBarAndPageBarAskTheNavigator)
{
    Viewer v;
    ASSERT_TRUE(v.open(crlf({"[HEADER]", "[DATA]", "one{\\NP}", "two{\\NP}", "two again"})));
    v.window.show();
    v.window.dispatch(QStringLiteral("findtext"));
    FindBar *bar = v.window.findBar();
    ASSERT_TRUE(bar->isVisible());
    bar->textBox()->setText(QStringLiteral("two"));
    Q_EMIT bar->textBox()->returnPressed();
    EXPECT_EQ(v.window.currentPage(), 2);
    // Enter again with the same text: the next page that holds it.
    Q_EMIT bar->textBox()->returnPressed();
    EXPECT_EQ(v.window.currentPage(), 3);

    // The page bar shows the page as the status bar does, from one text,
    // and a page typed there is shown at the zoom set.
    QLineEdit *page = v.window.pageBar()->pageBox();
    EXPECT_EQ(page->text(), QStringLiteral("3"));
    v.window.applyZoomText(QStringLiteral("150 %"));
    page->setText(QStringLiteral("1"));
    Q_EMIT page->returnPressed();
    EXPECT_EQ(v.window.currentPage(), 1);
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1.5);
    EXPECT_EQ(v.window.statusText(), QStringLiteral("message 151 1 message 152 3"));
    EXPECT_EQ(v.window.pageBar()->lastText(), QStringLiteral("message 152 3"));
}
