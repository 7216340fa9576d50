// The print job over page outputs: which pages reach the paper, with what
// page setup, in how many copies, and what a refused job leaves behind.
#include "../render/harness.h"
#include "documents/documentsettings.h"
#include "printing/pageoutput.h"
#include "printing/printers.h"
#include "printing/printjob.h"
#include "render/recordingsurface.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using test::Harness;
using Lines = std::vector<std::string>;

namespace {

// A page output that records its calls: "begin W x L", the first text of
// every page, "end", "finish". It fails at page `failAt` when set.
class RecordingOutput : public PageOutput
{
public:
    explicit RecordingOutput(int repeat = 1, int failAt = 0) : m_repeat(repeat), m_failAt(failAt) {}
    Surface *beginPage(const PageSetup &setup) override
    {
        if (++m_begun == m_failAt)
            return nullptr;
        calls.push_back("begin " + std::to_string(int(setup.width)) + "x" +
                        std::to_string(int(setup.length)) + " at " +
                        std::to_string(int(setup.origin.x())));
        m_surface = std::make_unique<RecordingSurface>();
        return m_surface.get();
    }
    void endPage() override
    {
        for (const std::string &l : m_surface->lines()) {
            if (l.rfind("text ", 0) == 0 && l.find("\"\"") == std::string::npos) {
                calls.push_back(l.substr(l.find('"')));
                break;
            }
        }
        calls.push_back("end");
    }
    Status finish() override
    {
        calls.push_back("finish");
        return {};
    }
    int repeat() const override { return m_repeat; }

    Lines calls;

private:
    int m_repeat;
    int m_failAt;
    int m_begun = 0;
    std::unique_ptr<RecordingSurface> m_surface;
};

// Three landscape pages of one line each: "one", "two", "three".
struct ThreePages : Harness
{
    ThreePages() : Harness({"one{\\NP}", "two{\\NP}", "three"})
    {
        document.settings.pageWidth = 16840;
        document.settings.pageLength = 11907;
        document.settings.leftMargin = 500;
    }
};

} // namespace

TEST(PrintJob, PagesCopiesAndRefusals)
{
    const struct
    {
        const char *name;
        bool all;
        int from, to, repeat, failAt;
        int message;
        Lines calls;
    } cases[] = {
        {"the whole document",
         true,
         1,
         1,
         1,
         0,
         0,
         {"begin 16840x11907 at 500", "\"one\"", "end", "begin 16840x11907 at 500", "\"two\"",
          "end", "begin 16840x11907 at 500", "\"three\"", "end", "finish"}},
        {"a range",
         false,
         2,
         3,
         1,
         0,
         0,
         {"begin 16840x11907 at 500", "\"two\"", "end", "begin 16840x11907 at 500", "\"three\"",
          "end", "finish"}},
        {"copies drawn by the job",
         false,
         3,
         3,
         2,
         0,
         0,
         {"begin 16840x11907 at 500", "\"three\"", "end", "begin 16840x11907 at 500", "\"three\"",
          "end", "finish"}},
        {"a range beyond the end begins nothing", false, 2, 4, 1, 0, 153, {}},
        {"a range backwards", false, 3, 2, 1, 0, 153, {}},
        {"the device fails on page 2",
         true,
         1,
         1,
         1,
         2,
         154,
         {"begin 16840x11907 at 500", "\"one\"", "end"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ThreePages h;
        h.engine().pages().setCurrentPage(2);
        RecordingOutput output(c.repeat, c.failAt);
        const Result<PrintReport> printed = printPages(h.engine(), output, c.all, c.from, c.to);
        EXPECT_EQ(printed.message(), c.message);
        EXPECT_EQ(output.calls, c.calls);
        EXPECT_EQ(h.engine().pages().currentPage(), 2); // the page shown is kept
    }
}

// The paper a printer is asked for is one it can take, whatever the report
// gives: a missing or negative side takes A4's, a huge one is cut to 200 in.
TEST(PrintJob, PaperIsUsableWhateverSizeTheReportGives)
{
    struct Case
    {
        const char *name;
        const char *orientation;
        double width, length;
        double paperWidth, paperLength;
    };
    const Case cases[] = {
        {"as given", "1", 11907, 16840, 11907, 16840},
        {"no width", "1", 0, 20000, 11907, 20000},
        {"negative length", "1", 5000, -3, 5000, 16840},
        {"landscape without a length", "2", 20000, 0, 20000, 11907},
        {"larger than any paper", "1", 1e7, 1e7, 288000, 288000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DocumentSettings settings;
        settings.orientation = c.orientation;
        settings.pageWidth = c.width;
        settings.pageLength = c.length;
        const PageSetup setup = printerPageSetup(settings);
        EXPECT_EQ(setup.width, c.paperWidth);
        EXPECT_EQ(setup.length, c.paperLength);
    }
}

TEST(PrintJob, PdfPrinterWritesUnderATemporaryNameUntilTheJobEnds)
{
    test::ensureGuiApplication();
    ThreePages h;
    test::TempDir out;
    const Printers printers;

    // Abandoned: neither the PDF nor its temporary file stays.
    {
        PdfFileOutput output(out.file("a.pdf"), JobOptions{"a", 1});
        ASSERT_NE(output.beginPage(PageSetup{}), nullptr);
        output.endPage();
        EXPECT_TRUE(std::filesystem::exists(PdfFileOutput::temporaryPath(out.file("a.pdf"))));
        EXPECT_FALSE(std::filesystem::exists(out.file("a.pdf")));
    }
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));

    // Refused before a page: nothing written.
    PrintRequest beyond{"pdf:" + out.path(), false, 2, 9, 1};
    EXPECT_EQ(printDocument(h.engine(), beyond, printers).message(), 153);
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));

    // Printed: one finished PDF, no temporary file, the pages twice.
    PrintRequest twice{"pdf:" + out.path(), true, 1, 1, 2};
    const Result<PrintReport> printed = printDocument(h.engine(), twice, printers);
    ASSERT_TRUE(printed.ok()) << printed.refusal().detail;
    EXPECT_EQ(printed->pagesPrinted, 6);
    EXPECT_EQ(std::filesystem::path(printed->file).parent_path(), out.path());
    QFile pdf(QString::fromStdString(printed->file));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    int files = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(out.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

// `keltool pdf -o` names its file: one that exists is replaced whole.
TEST(PrintJob, APdfFileReplacesAnOlderFileOfItsName)
{
    test::ensureGuiApplication();
    test::TempDir out;
    const std::string path = out.write("a.pdf", "an older file");
    PdfFileOutput output(path, JobOptions{"a", 1});
    ASSERT_NE(output.beginPage(PageSetup{}), nullptr);
    output.endPage();
    ASSERT_TRUE(output.finish());
    std::string bytes;
    ASSERT_TRUE(readFile(path, bytes));
    EXPECT_EQ(bytes.rfind("%PDF-", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(PdfFileOutput::temporaryPath(path)));
}

TEST(PrintJob, UnknownPrintersAreRefused)
{
    ThreePages h;
    const Printers printers;
    for (const std::string name : {"pdf:", "no-such-printer-here", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(printDocument(h.engine(), PrintRequest{name}, printers).message(), 133);
    }
}

// A "pdf:" printer whose folder cannot take a job says what is wrong with
// the folder (410, its path and the system's reason), not "not found".
TEST(PrintJob, APdfFolderThatCannotBeWrittenSaysWhy)
{
    ThreePages h;
    test::TempDir dir;
    const std::string file = dir.write("a-file", "x");
    const Printers printers;
    const struct
    {
        const char *name;
        std::string folder;
        const char *why;
    } cases[] = {
        {"missing", dir.file("none"), "No such file or directory"},
        {"a file", file, "Not a directory"},
        {"below a file", file + "/sub", "Not a directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Status checked = printers.check("pdf:" + c.folder);
        EXPECT_EQ(checked.message(), kMsgPdfFolder);
        EXPECT_EQ(checked.refusal().detail, c.folder + ": " + c.why);
        const Result<PrintReport> printed =
            printDocument(h.engine(), PrintRequest{"pdf:" + c.folder}, printers);
        EXPECT_EQ(printed.message(), kMsgPdfFolder);
        EXPECT_FALSE(printers.exists("pdf:" + c.folder));
    }
    EXPECT_TRUE(printers.check("pdf:" + dir.path()));
}

TEST(PrintJob, APdfThatCannotBeWrittenIsRefused)
{
    test::ensureGuiApplication();
    ThreePages h;
    test::TempDir out;
    PdfFileOutput output(out.file("missing/folder/a.pdf"), JobOptions{"a", 1});
    EXPECT_EQ(printPages(h.engine(), output, true, 1, 0).message(), 154);
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

namespace {

QString runTool(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(60000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

int pdfPages(const QString &path)
{
    const QString info = runTool(QStringLiteral("pdfinfo"), {path});
    static const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    const QRegularExpressionMatch m = pages.match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The PDF the print system wrote for the job titled `title`, once whole.
QString waitForPdf(const QString &folder, const QString &title)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000) {
        const QStringList files =
            QDir(folder).entryList({QStringLiteral("*") + title + QStringLiteral("*.pdf")});
        if (!files.isEmpty() && pdfPages(QDir(folder).filePath(files.front())) > 0)
            return QDir(folder).filePath(files.front());
        QThread::msleep(200);
    }
    return {};
}

} // namespace

// A real CUPS queue (tools/cups-setup.sh: a cups-pdf queue writing PDFs
// into a folder): the job is our PDF with the copies as an attribute.
TEST(PrintJob, ThroughCupsWithPictures)
{
    const QByteArray printer = qgetenv("KEL_CUPS_PRINTER");
    const QByteArray folder = qgetenv("KEL_CUPS_PDF_DIR");
    if (printer.isEmpty() || folder.isEmpty())
        GTEST_SKIP() << "no CUPS printer for this run (KEL_CUPS_PRINTER, KEL_CUPS_PDF_DIR)";
    test::ensureGuiApplication();
    test::TempDir dir;
    QImage logo(60, 30, QImage::Format_RGB32);
    logo.fill(Qt::darkBlue);
    ASSERT_TRUE(logo.save(QString::fromStdString(dir.file("logo.png"))));
    const QString token = QUuid::createUuid().toString(QUuid::Id128).left(12);
    const struct
    {
        const char *name;
        bool all;
        int from, to, copies, pages;
    } cases[] = {
        {"whole", true, 1, 1, 1, 3}, {"range", false, 2, 3, 1, 2}, {"copies", false, 3, 3, 2, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ThreePages h;
        const QString title = QStringLiteral("kel%1pic%2").arg(token, QLatin1String(c.name));
        h.document.settings.title = title.toStdString();
        // The logo of the prologue is on every page.
        h.document.settings.prologueLines = {"{PIC=" + dir.file("logo.png") +
                                             ",6000,100,1200,600}"};
        const Result<PrintReport> printed = printDocument(
            h.engine(), {printer.toStdString(), c.all, c.from, c.to, c.copies}, Printers());
        ASSERT_TRUE(printed.ok()) << printed.refusal().detail;
        EXPECT_EQ(printed->pagesPrinted, c.pages / c.copies); // the queue makes the copies
        EXPECT_GT(printed->cupsJobId, 0);
        EXPECT_TRUE(h.env.prompter.prompts().empty());
        const QString pdf = waitForPdf(QString::fromLocal8Bit(folder), title);
        ASSERT_FALSE(pdf.isEmpty());
        EXPECT_EQ(pdfPages(pdf), c.pages);
        const QStringList images =
            runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        EXPECT_EQ(images.size() - 2, c.pages); // a heading of two lines, then one per page
    }
}

// A finished PDF is on the disk before it takes its name, and the name is
// on the disk after: the working file flushed, renamed, the folder flushed.
TEST(PrintJob, APdfIsFlushedBeforeItsRenameAndItsFolderAfter)
{
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        GTEST_SKIP() << "no strace here";
    test::TempDir dir;
    const std::string report =
        dir.write("r.kel", test::crlf({"[HEADER]", "[DATA]", "one{\\NP}", "two"}));
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    const std::string log = dir.file("strace.log");
    QProcess p;
    // The leak checker of a sanitizer build cannot run under ptrace.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("strace"),
            {QStringLiteral("-f"), QStringLiteral("-o"), QString::fromStdString(log),
             QStringLiteral("-e"), QStringLiteral("trace=openat,fsync,fdatasync,rename,renameat2"),
             QStringLiteral(KEL_BIN_DIR "/keltool"), QStringLiteral("print"),
             QString::fromStdString(report), QStringLiteral("--printer"),
             QString::fromStdString("pdf:" + out)});
    ASSERT_TRUE(p.waitForFinished(60000));
    std::string trace;
    if (!readFile(log, trace) || trace.find("openat") == std::string::npos)
        GTEST_SKIP() << "strace cannot follow programs here";
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    // The calls in order, found one after the other.
    const std::vector<std::string_view> calls = splitLines(trace);
    size_t at = 0;
    const auto next = [&](const QRegularExpression &call) -> QRegularExpressionMatch {
        for (; at < calls.size(); ++at) {
            QRegularExpressionMatch m = call.match(QString::fromStdString(std::string(calls[at])));
            if (m.hasMatch()) {
                ++at;
                return m;
            }
        }
        ADD_FAILURE() << "no " << call.pattern().toStdString() << " in\n" << trace;
        return {};
    };
    const QString folder = QRegularExpression::escape(QString::fromStdString(out));
    const QString created =
        next(QRegularExpression(QStringLiteral("openat\\(AT_FDCWD, \"%1/[^\"]+\\.pdf\\.part\", "
                                               "[^)]*O_CREAT[^)]*\\) = (\\d+)")
                                    .arg(folder)))
            .captured(1);
    next(QRegularExpression(QStringLiteral("fsync\\(%1\\) +=  *0").arg(created)));
    next(QRegularExpression(QStringLiteral("rename(at2)?\\(.*\\.pdf\\.part\", .*\\.pdf\"")));
    const QString folderFd =
        next(QRegularExpression(
                 QStringLiteral("openat\\(AT_FDCWD, \"%1\", [^)]*O_DIRECTORY[^)]*\\) = (\\d+)")
                     .arg(folder)))
            .captured(1);
    next(QRegularExpression(QStringLiteral("fsync\\(%1\\) +=  *0").arg(folderFd)));
}

// Only the viewer links Qt Widgets and PrintSupport; keltool prints without.
TEST(PrintJob, KeltoolLinksNoWidgets)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ldd")).isEmpty())
        GTEST_SKIP() << "no ldd here";
    const QString libraries =
        runTool(QStringLiteral("ldd"), {QStringLiteral(KEL_BIN_DIR "/keltool")});
    EXPECT_TRUE(libraries.contains(QStringLiteral("libQt6Gui")));
    EXPECT_FALSE(libraries.contains(QStringLiteral("Widgets"), Qt::CaseInsensitive));
    EXPECT_FALSE(libraries.contains(QStringLiteral("PrintSupport"), Qt::CaseInsensitive));
}
