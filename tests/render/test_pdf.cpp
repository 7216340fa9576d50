// The PDF writer against the layout and the painter: every word lands on
// paper where the layout put it (poppler's pdftotext -bbox), a page looks
// like the painter's page (pdftoppm against a QImage), and the file carries
// its fonts as searchable subsets and each picture once.
#include "app/text.h"
#include "documents/opening.h"
#include "harness.h"
#include "printing/pageoutput.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/glyphtable.h"
#include "render/pagewalk.h"
#include "render/paintersurface.h"
#include "render/pdfsurface.h"
#include "render/recordingsurface.h"
#include "support/testenv.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <zlib.h>

using namespace kel;

namespace {

const std::string kSample = KEL_SOURCE_DIR "/data/samples/sample.kel";
const std::string kTraced = KEL_TEST_DATA "/render/traced.kel";

bool havePoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdffonts")).isEmpty();
}

// Runs a poppler tool; its standard output, and its complaints in `errors`.
std::string run(const QString &tool, const QStringList &args, std::string *errors = nullptr)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000))
        return {};
    if (errors)
        *errors = p.readAllStandardError().toStdString();
    return p.readAllStandardOutput().toStdString();
}

// An opened report with its engine, as the print job has it.
struct OpenReport
{
    explicit OpenReport(const std::string &path)
    {
        test::ensureGuiApplication();
        kel::Opened r = openDocument(
            path, {env.folders, env.messages, env.settings, env.prompter, env.warnings}, {});
        if (r)
            document = std::move(r.value());
        if (document)
            engine = std::make_unique<RenderEngine>(
                *document, RenderServices{env.messages, diagnostics, commands, find, clock});
    }
    int pages() { return engine->countPages(); }
    PageSetup setup() const { return printerPageSetup(document->settings); }

    test::TestEnvironment env;
    PromptingDiagnostics diagnostics{env.warnings};
    ExternalCommands commands;
    FindState find;
    FixedClock clock{QDateTime(QDate(2026, 1, 31), QTime(8, 5, 9))};
    std::unique_ptr<Document> document;
    std::unique_ptr<RenderEngine> engine;
};

// Every page printed into a PDF measured at `dpi`.
bool writePdf(OpenReport &o, const std::string &path, int dpi)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const PageSetup s = o.setup();
    bool ok = true;
    {
        PdfDocument pdf(file, {"test"}, dpi);
        for (int p = 1, n = o.pages(); p <= n; ++p) {
            o.engine->printPage(p, pdf.beginPage(s.width, s.length, s.origin, s.lineUnit));
            pdf.endPage();
        }
        ok = pdf.finish();
    }
    return std::fclose(file) == 0 && ok;
}

struct Word
{
    int page;
    std::string text; // UTF-8
    double x;         // points from the paper's left edge
    double top;       // points from the paper's top edge
    double right;
};

// The recording surface, measuring with the PDF's own fonts: the words of
// every text it is given, at the points the layout puts them.
class PdfMeasuredRecording : public RecordingSurface
{
public:
    PdfMeasuredRecording(Surface &measure, QPointF origin, int page, std::vector<Word> &words)
        : m_measure(measure), m_origin(origin), m_page(page), m_words(words)
    {
    }

protected:
    double measureText(std::string_view text) override { return m_measure.textWidth(text); }
    double lineHeight() override { return m_measure.textHeight({}); }
    double drawText(std::string_view text, bool visible) override
    {
        for (size_t i = 0; visible && i < text.size();) {
            const size_t end = std::min(text.find(' ', i), text.size());
            if (end > i) {
                const double x = currentX() + measureText(text.substr(0, i));
                m_words.push_back({m_page, fromCp1252(text.substr(i, end - i)).toStdString(),
                                   (x + m_origin.x()) / 20, (currentY() + m_origin.y()) / 20,
                                   (x + measureText(text.substr(i, end - i)) + m_origin.x()) / 20});
            }
            i = end + 1;
        }
        return RecordingSurface::drawText(text, visible);
    }
    void stateChanged(Change change, FontFlag flag) override
    {
        RecordingSurface::stateChanged(change, flag);
        m_measure.setFontName(font().name);
        m_measure.setFontSize(font().size);
        m_measure.setFontFlag(FontFlag::Bold, font().bold);
        m_measure.setFontFlag(FontFlag::Italic, font().italic);
    }

private:
    Surface &m_measure;
    QPointF m_origin;
    int m_page;
    std::vector<Word> &m_words;
};

std::vector<Word> layoutWords(OpenReport &o)
{
    std::vector<Word> words;
    std::FILE *scratch = std::tmpfile();
    PdfDocument measuring(scratch);
    const PageSetup s = o.setup();
    Surface &measure = measuring.beginPage(s.width, s.length, s.origin, s.lineUnit);
    for (int p = 1, n = o.pages(); p <= n; ++p) {
        PdfMeasuredRecording recording(measure, s.origin, p, words);
        o.engine->printPage(p, recording);
    }
    std::fclose(scratch);
    return words;
}

std::vector<Word> pdfWords(const std::string &pdf)
{
    std::vector<Word> words;
    const QString html = QString::fromStdString(
        run(QStringLiteral("pdftotext"),
            {QStringLiteral("-bbox"), QString::fromStdString(pdf), QStringLiteral("-")}));
    static const QRegularExpression page(QStringLiteral("<page |<word xMin=\"([\\d.]+)\" "
                                                        "yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                                                        "yMax=\"[\\d.]+\">([^<]*)</word>"));
    int n = 0;
    for (auto it = page.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).startsWith(QStringLiteral("<page"))) {
            ++n;
            continue;
        }
        QString text = m.captured(4);
        text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&apos;"), QStringLiteral("'"))
            .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        words.push_back({n, text.toStdString(), m.captured(1).toDouble(), m.captured(2).toDouble(),
                         m.captured(3).toDouble()});
    }
    return words;
}

// A report of the things text can be: alignment, attributes, sizes,
// colours, accented letters and the euro sign.
std::string textReport()
{
    return test::crlf({"LM=500", "TM=600", "[HEADER]", "{F=arial;S=10}", "[DATA]",
                       "{500}left{5000;A=R}right end{A=C;7000}centred words{A=L}{\\N}",
                       "{S=14;B=Y}Bold heading{B=N;I=Y} italic tail{I=N}{\\N}",
                       "{F=courier new;S=9;U=Y}underlined fixed{U=N;C=200,0,0} red "
                       "\x80 12,50 caf\xe9 M\xfcller{C=0}{\\N}",
                       "{F=times new roman;S=11}Serif (brackets) and \\ back{\\N}",
                       "{TR=N}   kept blanks   {TR=Y}after{PAG}{\\N}"});
}

// Faces that lack the weight or slant asked for (drawn synthesised), and a
// font of CFF outlines, where the machine has them (else others stand in).
std::string stylesReport()
{
    return test::crlf({"LM=500", "TM=600", "SPACING=400", "[HEADER]", "[DATA]",
                       "{F=DejaVu Math TeX Gyre;S=14}plain {B=Y}bold{B=N} {I=Y}slanted{I=N}{\\N}",
                       "{F=C059;S=14}Century {B=Y}bold {I=Y}both{B=N;I=N}{\\N}"});
}

} // namespace

TEST(PdfSurface, WordsLandWhereTheLayoutPutThem)
{
    if (!havePoppler())
        GTEST_SKIP() << "poppler's tools are not installed";
    test::TempDir dir;
    const std::vector<std::string> reports = {kSample, kTraced, dir.write("text.kel", textReport()),
                                              dir.write("styles.kel", stylesReport())};
    for (const std::string &report : reports) {
        SCOPED_TRACE(report);
        OpenReport o(report);
        ASSERT_TRUE(o.engine);
        const std::string pdf = dir.file("words.pdf");
        ASSERT_TRUE(writePdf(o, pdf, kPdfResolution));
        const std::vector<Word> expected = layoutWords(o);
        const std::vector<Word> found = pdfWords(pdf);
        ASSERT_FALSE(found.empty());

        // Each word on paper starts where the layout put a word that it
        // begins with (pdftotext joins words that touch: "on" and a date).
        for (const Word &w : found) {
            bool placed = false;
            for (const Word &e : expected) {
                placed = placed || (e.page == w.page && std::fabs(e.x - w.x) <= 1 &&
                                    std::fabs(e.top - w.top) <= 1 && w.text.rfind(e.text, 0) == 0);
            }
            EXPECT_TRUE(placed) << "page " << w.page << " \"" << w.text << "\" at " << w.x << ","
                                << w.top;
        }
        // And each word of the layout is on paper, where it was put.
        for (const Word &e : expected) {
            bool shown = false;
            for (const Word &w : found) {
                shown =
                    shown || (e.page == w.page && std::fabs(e.top - w.top) <= 1 && e.x >= w.x - 1 &&
                              e.right <= w.right + 1 && w.text.find(e.text) != std::string::npos);
            }
            EXPECT_TRUE(shown) << "page " << e.page << " \"" << e.text << "\" at " << e.x << ","
                               << e.top;
        }
    }
}

namespace {

// The share of inked pixels of one image that have no inked pixel within
// one pixel in the other, both ways: 0 for the same drawing, a little for a
// drawing antialiased differently, much for one that moved. Light grey is
// ink: the painter draws a line thinner than a pixel grey where poppler
// draws it black.
double strayInk(const QImage &a, const QImage &b)
{
    const int w = std::min(a.width(), b.width());
    const int h = std::min(a.height(), b.height());
    auto ink = [](const QImage &image, int x, int y) { return qGray(image.pixel(x, y)) < 192; };
    auto near = [&](const QImage &image, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx;
                const int ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < w && ny < h && ink(image, nx, ny))
                    return true;
            }
        }
        return false;
    };
    long inked = 0;
    long stray = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool inA = ink(a, x, y);
            const bool inB = ink(b, x, y);
            inked += inA + inB;
            stray += (inA && !near(b, x, y)) + (inB && !near(a, x, y));
        }
    }
    return inked ? double(stray) / double(inked) : 0;
}

} // namespace

// The PDF written at the painter's resolution, rendered by poppler, against
// the painter's printer drawing of the same page on paper of the same size.
TEST(PdfSurface, PageLooksAsThePainterDrawsIt)
{
    if (!havePoppler())
        GTEST_SKIP() << "poppler's tools are not installed";
    constexpr int kDpi = 150;
    test::TempDir dir;
    // Dark on the left, see-through on the right: a mirror and a lost
    // alpha channel both show.
    QImage logo(40, 20, QImage::Format_ARGB32);
    logo.fill(qRgba(0, 0, 0, 0));
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x)
            logo.setPixel(x, y, qRgba(0, 0, 120, 255));
    }
    ASSERT_TRUE(logo.save(QString::fromStdString(dir.file("logo.png"))));
    const std::string pictures = dir.write(
        "pictures.kel",
        test::crlf({"LM=700", "TM=700", "[HEADER]", "{PIC=logo.png,6000,100,1200,600}", "[DATA]",
                    "{W=2;XYLINE=0,1000,5000,1600}{BOX=200,1800,3000,2600,1}{\\N}",
                    "{C=0,128,0;CIRCLE=4000,2400,500;BOXF=5200,1800,7000,2200}{\\N}",
                    "{PIC=logo.png,1000,3000,-1200,600}{PIC=logo.png,3000,3000,1200,-600}"}));
    const std::vector<std::string> reports = {kSample, kTraced, pictures,
                                              dir.write("text.kel", textReport()),
                                              dir.write("styles.kel", stylesReport())};
    for (const std::string &report : reports) {
        OpenReport o(report);
        ASSERT_TRUE(o.engine);
        const std::string pdf = dir.file("page.pdf");
        ASSERT_TRUE(writePdf(o, pdf, kDpi));
        const PageSetup s = o.setup();
        for (int p = 1, n = o.pages(); p <= n; ++p) {
            SCOPED_TRACE(report + " page " + std::to_string(p));
            QImage painted(qRound(s.width / 1440 * kDpi), qRound(s.length / 1440 * kDpi),
                           QImage::Format_RGB32);
            painted.setDotsPerMeterX(qRound(kDpi / 0.0254));
            painted.setDotsPerMeterY(qRound(kDpi / 0.0254));
            painted.fill(Qt::white);
            {
                QPainter painter(&painted);
                PainterSurface surface(painter, {s.origin, s.lineUnit});
                o.engine->printPage(p, surface);
            }
            const QString prefix = QString::fromStdString(dir.file("poppler"));
            run(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-f"),
                 QString::number(p), QStringLiteral("-l"), QString::number(p),
                 QStringLiteral("-singlefile"), QStringLiteral("-png"), QString::fromStdString(pdf),
                 prefix});
            const QImage rendered(prefix + QStringLiteral(".png"));
            ASSERT_FALSE(rendered.isNull());
            EXPECT_LE(std::abs(rendered.width() - painted.width()), 1);
            EXPECT_LE(std::abs(rendered.height() - painted.height()), 1);
            EXPECT_LT(strayInk(painted, rendered), 0.02);
        }
    }
}

namespace {

// The content stream of the first page, inflated: the first stream of a
// file without pictures on that page.
std::string firstContent(const std::string &pdf)
{
    std::string bytes;
    if (!readFile(pdf, bytes))
        return {};
    const size_t length = bytes.find("/Length ");
    const size_t start = bytes.find("stream\n", length);
    if (length == std::string::npos || start == std::string::npos)
        return {};
    const size_t size = std::stoul(bytes.substr(length + 8));
    std::string out(1 << 20, '\0');
    uLongf outSize = static_cast<uLongf>(out.size());
    if (uncompress(reinterpret_cast<Bytef *>(out.data()), &outSize,
                   reinterpret_cast<const Bytef *>(bytes.data() + start + 7),
                   static_cast<uLong>(size)) != Z_OK)
        return {};
    out.resize(outSize);
    return out;
}

int count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(PdfSurface, SegmentsAreTextObjectsAndStateIsWrittenWhenItChanges)
{
    test::TempDir dir;
    OpenReport o(dir.write(
        "listing.kel",
        test::crlf({"[HEADER]", "{F=courier new;S=9}", "[DATA]", "{50}  100001  caf\xe9 (one){\\N}",
                    "{50}  100002  two{\\N}", "{50;C=0,0,255}  100003  three{C=0}{\\N}",
                    "{50;C=0}  100004  four{\\N}"})));
    ASSERT_TRUE(o.engine);
    const std::string pdf = dir.file("listing.pdf");
    ASSERT_TRUE(writePdf(o, pdf, kPdfResolution));
    const std::string content = firstContent(pdf);
    ASSERT_FALSE(content.empty());
    EXPECT_EQ(count(content, "BT "), 4);
    EXPECT_EQ(count(content, " Tf"), 1);
    // Blue once, then black again once, though "C=0" was set twice.
    EXPECT_EQ(count(content, " rg"), 2);
    // The report's bytes are the string's bytes, "(" and ")" escaped.
    EXPECT_NE(content.find("(100001  caf\xe9 \\(one\\))Tj"), std::string::npos) << content;
}

TEST(PdfSurface, FontsAreEmbeddedSubsetsAndTextStaysSearchable)
{
    if (!havePoppler())
        GTEST_SKIP() << "poppler's tools are not installed";
    test::TempDir dir;
    OpenReport o(dir.write("text.kel", textReport()));
    ASSERT_TRUE(o.engine);
    const std::string pdf = dir.file("fonts.pdf");
    ASSERT_TRUE(writePdf(o, pdf, kPdfResolution));

    std::string errors;
    const std::string fonts =
        run(QStringLiteral("pdffonts"), {QString::fromStdString(pdf)}, &errors);
    EXPECT_EQ(errors, "");
    int listed = 0;
    for (const QString &line : QString::fromStdString(fonts).split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1Char('+')))
            continue; // the heading
        ++listed;
        SCOPED_TRACE(line.toStdString());
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        ASSERT_GE(f.size(), 7);
        EXPECT_EQ(f[1], QStringLiteral("TrueType"));
        EXPECT_EQ(f[2], QStringLiteral("WinAnsi"));
        EXPECT_EQ(f[3], QStringLiteral("yes")); // embedded
        EXPECT_EQ(f[4], QStringLiteral("yes")); // as a subset
    }
    EXPECT_EQ(listed, 5); // regular, bold, italic, fixed, serif
    // Five whole fonts would be well over a megabyte.
    EXPECT_LT(std::filesystem::file_size(pdf), 120000u);

    const std::string text = run(QStringLiteral("pdftotext"),
                                 {QString::fromStdString(pdf), QStringLiteral("-")}, &errors);
    EXPECT_EQ(errors, "");
    for (const char *expected : {"\xe2\x82\xac 12,50 caf\xc3\xa9 M\xc3\xbcller", "(brackets)",
                                 "\\ back", "heading", "centred words"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in " << text;
}

TEST(PdfDocument, AFileThatCannotBeWrittenFails)
{
    test::ensureGuiApplication();
    std::FILE *full = std::fopen("/dev/full", "wb");
    if (!full)
        GTEST_SKIP() << "no /dev/full here";
    std::setvbuf(full, nullptr, _IONBF, 0);
    bool finished = true;
    {
        PdfDocument pdf(full);
        Surface &page = pdf.beginPage(11907, 16840, {}, 3.75);
        page.print("lost");
        pdf.endPage();
        finished = pdf.finish();
    }
    std::fclose(full);
    EXPECT_FALSE(finished);
}

// A logo of the prologue is read once per document and so written once:
// every page shows the same image object, and a file removed after the
// first page is still drawn on the others.
TEST(PdfSurface, APictureOnEveryPageIsReadAndWrittenOnce)
{
    if (!havePoppler())
        GTEST_SKIP() << "poppler's tools are not installed";
    test::TempDir dir;
    QImage logo(64, 32, QImage::Format_RGB32);
    logo.fill(Qt::darkGreen);
    ASSERT_TRUE(logo.save(QString::fromStdString(dir.file("logo.png"))));
    OpenReport o(dir.write("logo.kel", test::crlf({"[HEADER]", "{PIC=logo.png,6000,100,1200,600}",
                                                   "[DATA]", "one{\\NP}", "two{\\NP}", "three"})));
    ASSERT_TRUE(o.engine);
    const PageSetup s = o.setup();
    const std::string pdf = dir.file("logo.pdf");
    std::FILE *file = std::fopen(pdf.c_str(), "wb");
    {
        PdfDocument document(file);
        for (int p = 1; p <= 3; ++p) {
            o.engine->printPage(p, document.beginPage(s.width, s.length, s.origin, s.lineUnit));
            document.endPage();
            std::filesystem::remove(dir.file("logo.png"));
        }
        ASSERT_TRUE(document.finish());
    }
    std::fclose(file);
    EXPECT_TRUE(o.env.prompter.prompts().empty()); // no "207": drawn on every page

    std::set<QString> objects;
    int pages = 0;
    const QString list = QString::fromStdString(
        run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), QString::fromStdString(pdf)}));
    for (const QString &line : list.split(QLatin1Char('\n')).mid(2)) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() > 11) {
            ++pages;
            objects.insert(f[10]); // the image's object number
        }
    }
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(objects.size(), 1u);
}

// Bytes the font's table does not serve (control bytes) are not drawn; the
// runs between them start where Qt's shaping of the text before them ends,
// and the text advances by its shaped width, as it was measured.
TEST(PdfSurface, RunsBetweenControlBytesStartWhereTheShapedTextBeforeThemEnds)
{
    test::ensureGuiApplication();
    test::TempDir dir;
    const std::string path = dir.file("control.pdf");
    std::FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const std::string text = "AB\x01"
                             "CD\x02\x03"
                             "EF";
    double advance = 0;
    {
        PdfDocument pdf(file, {"control"});
        Surface &s = pdf.beginPage(12240, 15840, QPointF(), 1);
        ASSERT_TRUE(s.setFontName("arial"));
        ASSERT_TRUE(s.setFontSize(10));
        s.print(text);
        advance = s.currentX();
        ASSERT_TRUE(pdf.finish());
    }
    ASSERT_EQ(std::fclose(file), 0);

    // The shaping the layout measures with: the font at 1200 dpi.
    QFont font(QStringLiteral("arial"));
    font.setPointSizeF(10);
    const std::unique_ptr<QPaintDevice> device = resolutionDevice(kPdfResolution);
    const QFontMetricsF metrics(font, device.get());
    auto twips = [&](std::string_view t) {
        return metrics.horizontalAdvance(fromCp1252(t)) * 1440.0 / kPdfResolution;
    };
    EXPECT_NEAR(advance, twips(text), 0.5);

    const std::string content = firstContent(path);
    const QRegularExpression shown(QStringLiteral("BT ([0-9.]+) [0-9.]+ Td \\((\\w+)\\)Tj ET"));
    std::vector<std::pair<std::string, double>> runs;
    for (auto it = shown.globalMatch(QString::fromLatin1(content)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        runs.emplace_back(m.captured(2).toStdString(), m.captured(1).toDouble());
    }
    ASSERT_EQ(runs.size(), 3u) << content;
    const struct
    {
        const char *run;
        size_t before; // bytes of the text before the run
    } expected[] = {{"AB", 0}, {"CD", 3}, {"EF", 7}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].run);
        EXPECT_EQ(runs[i].first, expected[i].run);
        EXPECT_NEAR(runs[i].second, twips(text.substr(0, expected[i].before)) / 20, 0.02);
    }
}
