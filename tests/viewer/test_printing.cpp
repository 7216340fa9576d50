// Printing, export, save and mail from the viewer; printing through a real
// CUPS queue when the test run has one (KEL_CUPS_PRINTER and the folder its
// cups-pdf writes into, KEL_CUPS_PDF_DIR).
#include "printing/printers.h"
#include "render/clock.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/pagearea.h"
#include "viewer/printdialog.h"
#include "viewer/viewerwindow.h"
#include "viewerfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;
using test::Viewer;

namespace {

std::string threePages(const std::string &title)
{
    return crlf({"REPORT_TITLE=" + title, "[HEADER]", "[DATA]", "first page{\\NP}",
                 "second page{\\NP}", "third page"});
}

int pdfPages(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    if (!p.waitForFinished(30000))
        return -1;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

// The one PDF in `folder` whose name holds `token`, waiting up to a minute
// for the print system to write it.
QString waitForPdf(const QString &folder, const QString &token)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000) {
        const QStringList files =
            QDir(folder).entryList({QStringLiteral("*") + token + QStringLiteral("*.pdf")});
        if (!files.isEmpty()) {
            const QString path = QDir(folder).filePath(files.front());
            // cups-pdf writes the file in place: wait until it reads whole.
            if (pdfPages(path) > 0)
                return path;
        }
        QThread::msleep(200);
    }
    return {};
}

} // namespace

TEST(ViewerPrinting, PdfPrinterWholeRangeAndCopies)
{
    Viewer v;
    ASSERT_TRUE(v.open(threePages("pdfjob")));
    const std::string folder = v.env.dir.path() + "/out";
    QDir().mkpath(QString::fromStdString(folder));
    const std::string printer = "pdf:" + folder;

    const struct
    {
        bool all;
        int from, to, copies, pages;
    } cases[] = {{true, 1, 1, 1, 3}, {false, 2, 3, 1, 2}, {false, 1, 1, 2, 2}};
    for (const auto &c : cases) {
        QDir(QString::fromStdString(folder)).removeRecursively();
        QDir().mkpath(QString::fromStdString(folder));
        v.window.print({printer, c.all, c.from, c.to, c.copies});
        const QStringList files =
            QDir(QString::fromStdString(folder)).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        ASSERT_EQ(files.size(), 1);
        EXPECT_EQ(pdfPages(QString::fromStdString(folder) + QLatin1Char('/') + files.front()),
                  c.pages);
    }
    EXPECT_TRUE(v.env.prompter.prompts().empty());
    EXPECT_EQ(v.window.currentPage(), 1); // the page shown before is shown again
    EXPECT_EQ(v.window.statusText(), "message 168 1 message 152 3");

    v.window.print({printer, false, 5, 6, 1}); // beyond the document
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{153});
}

TEST(ViewerPrinting, PrintAllowedIsTestedByEachCommandItsOwnWay)
{
    Viewer v;
    ASSERT_TRUE(v.open(crlf({"PRINT_ALLOWED=n", "[HEADER]", "[DATA]", "x"})));
    v.window.setCurrentPrinter("pdf:" + v.env.dir.path());
    v.window.dispatch("imprime"); // exact "Y" required
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{150});
}

TEST(ViewerPrinting, DialogChecks)
{
    test::TestEnvironment env;
    const Printers printers;
    const std::string printer = "pdf:" + env.dir.path();
    const struct
    {
        const char *from, *to, *copies;
        bool all;
        std::vector<int> messages;
        bool accepted;
    } cases[] = {
        {"1", "20000", "1", false, {}, true},          {"1", "25000", "1", false, {}, true},
        {"1", "3000000000", "1", false, {132}, false}, {"5", "4", "1", false, {132}, false},
        {"1", "1", "0", true, {132}, false},           {"2", "3", "2", false, {}, true},
        {"5", "4", "1", true, {132}, false},
    };
    for (const auto &c : cases) {
        env.prompter.clear();
        PrintDialog dialog(env.messages, env.prompter, printers, printer, 1);
        env.prompter.clear(); // the printer list may be empty on this machine
        dialog.allPagesBox()->setChecked(c.all);
        dialog.fromField()->setText(QString::fromLatin1(c.from));
        dialog.toField()->setText(QString::fromLatin1(c.to));
        dialog.copiesField()->setText(QString::fromLatin1(c.copies));
        EXPECT_EQ(dialog.tryAccept(), c.accepted) << c.from << "-" << c.to << " x" << c.copies;
        EXPECT_EQ(env.prompter.numbers(), c.messages);
    }
    env.prompter.clear();
    PrintDialog unknown(env.messages, env.prompter, printers, "no-such-printer-here", 1);
    env.prompter.clear();
    EXPECT_FALSE(unknown.tryAccept());
    EXPECT_EQ(env.prompter.numbers(), std::vector<int>{133});
}

TEST(ViewerPrinting, ThroughCups)
{
    const QByteArray printer = qgetenv("KEL_CUPS_PRINTER");
    const QByteArray folder = qgetenv("KEL_CUPS_PDF_DIR");
    if (printer.isEmpty() || folder.isEmpty())
        GTEST_SKIP() << "no CUPS printer for this run (KEL_CUPS_PRINTER, KEL_CUPS_PDF_DIR)";
    Viewer v;
    const QString token = QUuid::createUuid().toString(QUuid::Id128).left(12);
    const struct
    {
        const char *name;
        bool all;
        int from, to, copies, pages;
    } cases[] = {
        {"whole", true, 1, 1, 1, 3}, {"range", false, 2, 3, 1, 2}, {"copies", false, 1, 1, 2, 2}};
    for (const auto &c : cases) {
        const QString title = QStringLiteral("kel%1%2").arg(token, QLatin1String(c.name));
        ASSERT_TRUE(v.open(threePages(title.toStdString())));
        v.window.print({printer.toStdString(), c.all, c.from, c.to, c.copies});
        const QString pdf = waitForPdf(QString::fromLocal8Bit(folder), title);
        ASSERT_FALSE(pdf.isEmpty()) << c.name;
        EXPECT_EQ(pdfPages(pdf), c.pages) << c.name;
    }
    EXPECT_TRUE(v.env.prompter.prompts().empty());

    // keltool prints through the same job.
    const QString title = QStringLiteral("kel%1keltool").arg(token);
    const std::string report = v.env.dir.write("k.kel", threePages(title.toStdString()));
    QProcess keltool;
    keltool.start(QStringLiteral(KEL_BIN_DIR "/keltool"),
                  {QStringLiteral("print"), QString::fromStdString(report),
                   QStringLiteral("--printer"), QString::fromLocal8Bit(printer),
                   QStringLiteral("--from"), QStringLiteral("2"), QStringLiteral("--to"),
                   QStringLiteral("3")});
    ASSERT_TRUE(keltool.waitForFinished(60000));
    EXPECT_EQ(keltool.exitCode(), 0) << keltool.readAllStandardError().toStdString();
    const QString pdf = waitForPdf(QString::fromLocal8Bit(folder), title);
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_EQ(pdfPages(pdf), 2);
}

TEST(ViewerSave, ThreeFormsAndTheOverwriteQuestion)
{
    Viewer v;
    v.env.dir.write("logo.png", "");
    QImage logo(20, 10, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(QString::fromStdString(v.env.dir.file("logo.png"))));
    ASSERT_TRUE(v.open(crlf(
        {"[HEADER]", "[DATA]", "{PIC=" + v.env.dir.file("logo.png") + ",100,100,600,300}Text"})));

    const std::string copy = v.env.dir.file("copy.kel");
    EXPECT_TRUE(v.window.saveAs(copy, SaveForm::Report));
    std::string saved;
    ASSERT_TRUE(readFile(copy, saved));
    EXPECT_NE(saved.find("[DATA]"), std::string::npos);

    const std::string packed = v.env.dir.file("packed.txt");
    EXPECT_TRUE(v.window.saveAs(packed, SaveForm::PackedReport));
    EXPECT_TRUE(std::filesystem::exists(packed + ".Kel"));

    const std::string picture = v.env.dir.file("page.png");
    EXPECT_TRUE(v.window.saveAs(picture, SaveForm::PagePicture));
    QImage page(QString::fromStdString(picture));
    EXPECT_EQ(page.size(), v.window.pageArea()->image().size());

    // Saving over an existing file asks first; No saves nothing.
    v.env.prompter.queueAnswer(Answer::No);
    writeFile(copy, "keep");
    EXPECT_FALSE(v.window.saveAs(copy, SaveForm::Report));
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{165});
    ASSERT_TRUE(readFile(copy, saved));
    EXPECT_EQ(saved, "keep");

    // The packed report opens again with its picture.
    Viewer other;
    ASSERT_TRUE(other.window.openDocument(packed + ".Kel"));
    EXPECT_TRUE(other.env.prompter.prompts().empty());
}

TEST(ViewerMail, HandsThePackedReportToTheMailProgram)
{
    Viewer v;
    ASSERT_TRUE(
        v.open(crlf({"REPORT_TITLE=Invoices", "[HEADER]", "[DATA]", "x"}), "report.txt.kel"));
    // The one stand-in of the project: a mail program that records its arguments.
    const std::string bin = v.env.dir.path() + "/bin";
    QDir().mkpath(QString::fromStdString(bin));
    const std::string record = v.env.dir.file("mail-args");
    v.env.dir.write("bin/xdg-email",
                    "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " + record +
                        "\nexit ${KEL_MAIL_EXIT:-0}\n");
    std::filesystem::permissions(bin + "/xdg-email", std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin) + ":" + path);
    v.context.outbox = v.env.dir.path();

    v.window.sendByMail();
    std::string args;
    ASSERT_TRUE(readFile(record, args));
    const std::string attachment = v.env.dir.file("report.txt.kel");
    EXPECT_EQ(args, "--subject\nInvoices\n--body\n\r\n\r\n\r\nmessage 268\n--attach\n" +
                        attachment + "\n");
    EXPECT_TRUE(std::filesystem::exists(attachment));
    EXPECT_TRUE(v.env.prompter.prompts().empty());

    qputenv("KEL_MAIL_EXIT", "4");
    v.window.sendByMail();
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{288});
    qunsetenv("KEL_MAIL_EXIT");

    v.env.prompter.clear();
    qputenv("PATH", QByteArray("/nonexistent"));
    v.window.sendByMail();
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{317});
    qputenv("PATH", path);
}

TEST(ViewerPrinting, QtPrinterOfTheSystemDialogAndThePreviewDrawTheSameJob)
{
    Viewer v;
    ASSERT_TRUE(v.open(threePages("qtjob")));
    const struct
    {
        const char *name;
        QPrinter::PrintRange range;
        int from, to;
        int pages;
    } cases[] = {
        {"all pages", QPrinter::AllPages, 0, 0, 3},
        {"a range", QPrinter::PageRange, 2, 3, 2},
        {"the page shown", QPrinter::CurrentPage, 0, 0, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString pdf = QString::fromStdString(v.env.dir.file(std::string(c.name) + ".pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPrintRange(c.range);
        printer.setFromTo(c.from, c.to);
        EXPECT_TRUE(v.window.printOn(printer));
        EXPECT_EQ(pdfPages(pdf), c.pages);
    }
    EXPECT_EQ(v.window.currentPage(), 1);
    EXPECT_TRUE(v.env.prompter.prompts().empty());

    // The preview shows every page of the job.
    int previewed = -1;
    QTimer::singleShot(0, [&previewed] {
        auto *dialog = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto *preview = dialog->findChild<QPrintPreviewWidget *>();
        ASSERT_NE(preview, nullptr);
        preview->updatePreview();
        previewed = preview->pageCount();
        dialog->reject();
    });
    v.window.dispatch("preview");
    EXPECT_EQ(previewed, 3);

    // Both follow PRINT_ALLOWED as the print button does.
    Viewer refused;
    ASSERT_TRUE(refused.open(crlf({"PRINT_ALLOWED=N", "[HEADER]", "[DATA]", "x"})));
    refused.window.dispatch("sysprint");
    refused.window.dispatch("preview");
    EXPECT_EQ(refused.env.prompter.numbers(), (std::vector<int>{150, 150}));
}
