// The viewer as a desktop user meets it: the screen it opens on, the wheel,
// the zoom box, the save dialogs, the coordinates of design mode, errors
// that name their file, the keys of other document viewers and the page
// count learnt in the background.
#include "app/text.h"
#include "documents/packed.h"
#include "render/clock.h"
#include "render/externalcommands.h"
#include "support/testenv.h"
#include "viewer/dialogs.h"
#include "viewer/pagearea.h"
#include "viewer/viewerwindow.h"
#include "viewerfixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QWheelEvent>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;
using test::Viewer;

namespace {

// A report of `pages` pages, each taller than the test windows.
std::string pages(int count)
{
    std::string text = crlf({"MAXY=5000", "[HEADER]", "[DATA]"});
    for (int p = 1; p <= count; ++p)
        text += "page " + std::to_string(p) + (p < count ? "{\\NP}\r\n" : "\r\n");
    return text;
}

void wheel(QWidget *target, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWheelEvent e(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120 * notches),
                  Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &e);
}

void type(QWidget *target, int key, const QString &text = {},
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent e(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &e);
}

// Answers the next file dialog with a type (by index) and a name.
void answerFileDialog(int typeIndex, const QString &name)
{
    QTimer::singleShot(0, [typeIndex, name] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectNameFilter(dialog->nameFilters().value(typeIndex));
        dialog->selectFile(name);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

} // namespace

TEST(ViewerDesktop, NoStrayBoxWithoutADocument)
{
    Viewer v;
    v.window.show();
    QApplication::processEvents();
    EXPECT_FALSE(v.window.pageArea()->picture()->isVisible());
    ASSERT_TRUE(v.open(pages(1)));
    EXPECT_TRUE(v.window.pageArea()->picture()->isVisible());
}

TEST(ViewerDesktop, FirstWindowFitsTheScreenAndTheNextRemembersSizePositionAndZoom)
{
    ViewerWindow::forgetWindowState();
    test::TestEnvironment env;
    ExternalCommands commands;
    FixedClock clock{QDateTime(QDate(2026, 12, 9), QTime(9, 5, 3))};
    ViewerContext context{env.folders,  env.messages, env.settings, env.prompter,
                          env.warnings, commands,     clock,        {}};
    const std::string report = env.dir.write("r.kel", pages(2));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect chosen(area.x() + 30, area.y() + 20, area.width() / 2, area.height() / 2);
    {
        ViewerWindow window(context);
        window.show();
        QApplication::processEvents();
        EXPECT_TRUE(area.contains(window.frameGeometry()))
            << window.frameGeometry().width() << "x" << window.frameGeometry().height();
        ASSERT_TRUE(window.openDocument(report));
        window.setGeometry(chosen);
        window.applyZoomText(QStringLiteral("150 %"));
        window.close();
    }
    ViewerWindow again(context);
    again.show();
    QApplication::processEvents();
    EXPECT_EQ(again.geometry(), chosen);
    ASSERT_TRUE(again.openDocument(report));
    EXPECT_DOUBLE_EQ(again.zoomFactor(), 1.5);
    again.close();
    ViewerWindow::forgetWindowState();
}

TEST(ViewerDesktop, WheelScrollsTurnsPagesAtTheEndsAndZoomsWithCtrl)
{
    Viewer v;
    v.window.resize(700, 500);
    v.window.show();
    ASSERT_TRUE(v.open(pages(3)));
    QApplication::processEvents();
    PageArea *area = v.window.pageArea();
    QScrollBar *bar = area->verticalBar();
    ASSERT_TRUE(bar->isVisible());

    wheel(area, -1); // towards the user: down
    EXPECT_EQ(bar->value(), 2);
    wheel(area, -20);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(v.window.currentPage(), 1);
    wheel(area, -1); // past the foot: the next page, from its top
    EXPECT_EQ(v.window.currentPage(), 2);
    EXPECT_EQ(bar->value(), 0);
    wheel(area, 1); // past the top: the page before, at its foot
    EXPECT_EQ(v.window.currentPage(), 1);
    EXPECT_EQ(bar->value(), bar->maximum());

    wheel(area, 1, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1.2);
    wheel(area, -1, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1);
}

TEST(ViewerDesktop, ZoomBoxKeepsTheZoomKeysAndPassesTheOthers)
{
    Viewer v;
    v.window.resize(700, 500);
    v.window.show();
    ASSERT_TRUE(v.open(pages(2)));
    QApplication::processEvents();
    QLineEdit *box = v.window.findChild<QComboBox *>("CSize")->lineEdit();
    QScrollBar *bar = v.window.pageArea()->verticalBar();

    box->clear();
    for (const char *digit : {"1", "4", "0"})
        type(box, Qt::Key_0 + (digit[0] - '0'), QString::fromLatin1(digit));
    type(box, Qt::Key_C, QStringLiteral("c")); // applies, as Enter does
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1.4);
    EXPECT_EQ(box->text(), "140 %");

    ASSERT_TRUE(bar->isVisible());
    type(box, Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), 10);
    type(box, Qt::Key_ParenLeft, QStringLiteral("(")); // shares its code with Down
    EXPECT_EQ(bar->value(), 11);
    type(box, Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(box->text(), "140 %"); // none of them was typed into the box
    EXPECT_EQ(v.window.currentPage(), 1);
}

TEST(ViewerDesktop, DesignModeCoordinatesAreThePagesOwnUnits)
{
    ViewerOptions design;
    design.designMode = true;
    Viewer v(design);
    v.window.show();
    ASSERT_TRUE(v.open(crlf({"LM=720", "TM=720", "[HEADER]", "[DATA]", "{BOX=0,1185,600,300}"})));
    // The box's corner lies 720 + 0 twips from the left of the picture and
    // 720 + 1185 from its top: 48 and 127 pixels at 100 %.
    const QPointF corner(48, 127);
    QMouseEvent press(QEvent::MouseButtonPress, corner,
                      v.window.pageArea()->picture()->mapToGlobal(corner), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(v.window.pageArea()->picture(), &press);
    EXPECT_EQ(v.window.coordinatesBox()->text(), "X=0 --  Y=1185");

    v.window.applyZoomText(QStringLiteral("200 %"));
    const QPointF zoomed(96, 254);
    QMouseEvent again(QEvent::MouseButtonPress, zoomed, zoomed, Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(v.window.pageArea()->picture(), &again);
    EXPECT_EQ(v.window.coordinatesBox()->text(), "X=0 --  Y=1185");
}

TEST(ViewerDesktop, SavedAndExportedNamesTakeTheExtensionOfTheirType)
{
    Viewer v;
    // The dialogs' types as the language file words them.
    v.env.messages.set(287, "Kel report (*.kel)|*.kel|Packed report with pictures (*.kel)|*.kel|"
                            "Page picture (*.bmp)|*.bmp");
    v.env.messages.set(156, "Text files (*.txt)|*.txt");
    ASSERT_TRUE(v.open(crlf({"EXPORT_ALLOWED=Y", "[HEADER]", "[DATA]", "{E}{T}Smith{T}"})));
    const struct
    {
        const char *name;
        const char *button;
        int type;
        const char *typed;
        const char *written;
        const char *startsWith;
        const char *notWritten;
    } cases[] = {
        {"page picture", "salvar", 2, "pagepic", "pagepic.bmp", "BM", "pagepic.kel"},
        {"report", "salvar", 0, "copy", "copy.kel", "", "copy"},
        {"picture named as a report", "salvar", 2, "shot.kel", "shot.kel.bmp", "BM", "shot.kel"},
        {"export", "exportar", 0, "exported", "exported.txt", ";Smith;", "exported"},
        {"export with a type of its own", "exportar", 0, "fields.csv", "fields.csv", ";Smith;",
         "fields.csv.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        answerFileDialog(c.type, QString::fromLatin1(c.typed));
        v.window.dispatch(QString::fromLatin1(c.button));
        std::string bytes;
        ASSERT_TRUE(readFile(v.env.dir.file(c.written), bytes)) << c.written;
        EXPECT_EQ(bytes.rfind(c.startsWith, 0), 0u);
        EXPECT_FALSE(std::filesystem::exists(v.env.dir.file(c.notWritten)));
    }
    EXPECT_TRUE(v.env.prompter.prompts().empty());
}

TEST(ViewerDesktop, PackedAndMailedReportsTakePicturesFromTheDocumentsFolder)
{
    Viewer v;
    std::filesystem::create_directories(v.env.dir.file("reports"));
    QImage logo(20, 10, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(QString::fromStdString(v.env.dir.file("reports/pic1.png"))));
    // Opened as from the command line: no Open dialog has named a folder.
    const std::string report = v.env.dir.write(
        "reports/r.kel", crlf({"[HEADER]", "[DATA]", "{PIC=pic1.png,100,100,600,300}Text"}));
    ASSERT_TRUE(v.window.openDocument(report));
    ASSERT_TRUE(v.env.prompter.prompts().empty());

    const std::string packed = v.env.dir.file("packed.kel");
    ASSERT_TRUE(v.window.saveAs(packed, SaveForm::PackedReport));
    // keltool lists the members it writes out of a packed report.
    const auto members = [&v](const std::string &packedPath, const std::string &folder) {
        QProcess unpack;
        unpack.start(QStringLiteral(KEL_BIN_DIR "/keltool"),
                     {QStringLiteral("unpack"), QString::fromStdString(packedPath),
                      QString::fromStdString(v.env.dir.file(folder))});
        unpack.waitForFinished(30000);
        return unpack.readAllStandardOutput();
    };
    EXPECT_TRUE(members(packed, "saved").contains("pic1.png"));

    // Mail packs the same way, into the temporary folder (a stand-in mail
    // program takes the message).
    const std::string bin = v.env.dir.path() + "/bin";
    std::filesystem::create_directories(bin);
    v.env.dir.write("bin/xdg-email", "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(bin + "/xdg-email", std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin) + ":" + path);
    v.context.outbox = v.env.dir.path();
    v.window.sendByMail();
    qputenv("PATH", path);
    EXPECT_TRUE(members(v.env.dir.file("r.kel"), "mailed").contains("pic1.png"));
    EXPECT_TRUE(v.env.prompter.prompts().empty());

    // The receiving side shows the picture without a word.
    Viewer other;
    ASSERT_TRUE(other.window.openDocument(packed));
    EXPECT_TRUE(other.env.prompter.prompts().empty());
}

TEST(ViewerDesktop, RefusalsNameTheirFileInTheBoxAndOnStderr)
{
    Viewer v;
    const struct
    {
        const char *name;
        std::string path;
        int message;
    } cases[] = {
        {"missing file", v.env.dir.file("missing.kel"), 41},
        {"too short", v.env.dir.write("short.kel", "x"), 136},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        v.env.prompter.clear();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(v.window.openDocument(c.path));
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(v.env.prompter.numbers(), std::vector<int>{c.message});
        EXPECT_TRUE(v.env.prompter.prompts().front().text.contains(QString::fromStdString(c.path)));
        EXPECT_NE(err.find(c.path), std::string::npos) << err;
        EXPECT_NE(err.find("[" + std::to_string(c.message) + "]"), std::string::npos) << err;
    }
}

TEST(ViewerDesktop, KeysOfOtherDocumentViewers)
{
    Viewer v;
    ASSERT_TRUE(v.open(pages(4)));
    v.key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(v.window.currentPage(), 4);
    v.key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(v.window.currentPage(), 1);
    v.key(Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1.2);
    v.key(Qt::Key_Minus, Qt::ControlModifier);
    v.key(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 0.75);
    v.key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(v.window.zoomFactor(), 1);

    v.window.find(QStringLiteral("page"));
    EXPECT_EQ(v.window.currentPage(), 1);
    v.key(Qt::Key_F3);
    EXPECT_EQ(v.window.currentPage(), 2);

    v.window.resize(700, 500);
    v.window.show();
    QApplication::processEvents();
    v.key(Qt::Key_W); // fit the width: the page just fits beside the bar
    const int pageWidth = v.window.pageArea()->image().deviceIndependentSize().toSize().width();
    EXPECT_LE(pageWidth, v.window.pageArea()->width() -
                             v.window.pageArea()->verticalBar()->sizeHint().width());
    EXPECT_GT(pageWidth, v.window.pageArea()->width() - 40);
    v.key(Qt::Key_F); // the whole page
    EXPECT_LE(v.window.pageArea()->image().deviceIndependentSize().height(),
              v.window.pageArea()->height());
    EXPECT_FALSE(v.window.pageArea()->verticalBar()->isVisible());

    v.key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(v.window.isVisible());
    EXPECT_TRUE(v.env.prompter.prompts().empty());
}

TEST(ViewerDesktop, AKeyGoesWithItsHiddenButton)
{
    ViewerOptions options;
    options.hidePaging = true; // D: no page buttons, so no Ctrl+End either
    Viewer v(options);
    ASSERT_TRUE(v.open(pages(4)));
    v.key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(v.window.currentPage(), 1);
}

TEST(ViewerDesktop, PageCountIsLearntInTheBackground)
{
    Viewer v;
    ASSERT_TRUE(v.open(pages(700)));
    EXPECT_EQ(v.window.statusText(), "message 146 +");
    v.window.dispatch("for01");
    EXPECT_EQ(v.window.statusText(), "message 151 2 message 152 +");
    QElapsedTimer timer;
    timer.start();
    int rounds = 0;
    while (!v.window.pageCountSettled() && timer.elapsed() < 20000) {
        QApplication::processEvents();
        ++rounds;
    }
    EXPECT_GT(rounds, 1); // in slices, not in one go
    EXPECT_EQ(v.window.statusText(), "message 151 2 message 152 700");
    EXPECT_EQ(v.window.currentPage(), 2);
}

TEST(ViewerDesktop, HelpPageFromTheProgramFolder)
{
    // The build writes the README's parts for users as the help page.
    std::string built;
    ASSERT_TRUE(readFile(KEL_BIN_DIR "/help.md", built));
    EXPECT_NE(built.find("## The viewer"), std::string::npos);
    EXPECT_NE(built.find("## keltool"), std::string::npos);
    EXPECT_EQ(built.find("## Layout"), std::string::npos); // for developers only

    Viewer v;
    v.key(Qt::Key_F1); // none in this program folder yet
    EXPECT_EQ(v.env.prompter.numbers(), std::vector<int>{296});
    EXPECT_TRUE(v.env.prompter.prompts().front().text.contains(
        QString::fromStdString(v.env.folders.inProgram("help.md"))));

    writeFile(v.env.folders.inProgram("help.md"), built);
    v.key(Qt::Key_F1);
    const auto windows = v.window.findChildren<HelpWindow *>();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_TRUE(windows.front()->isVisible());
    EXPECT_TRUE(windows.front()->plainText().contains(QStringLiteral("Ctrl+End")));
}

TEST(ViewerDesktop, OwnIconsWithADisabledLookAndDialogsInTheDocumentsFolder)
{
    Viewer v;
    for (const ToolbarButton &b : ViewerWindow::buttonTable()) {
        if (b.kind != ButtonKind::Command)
            continue;
        SCOPED_TRACE(b.key);
        const QIcon icon = v.window.button(b.key)->icon();
        ASSERT_FALSE(icon.isNull());
        const QImage normal = icon.pixmap(24, QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(24, QIcon::Disabled).toImage();
        EXPECT_FALSE(normal.isNull());
        EXPECT_NE(normal, disabled);
    }

    EXPECT_EQ(v.window.dialogFolder(), QDir::homePath()); // nothing opened yet
    std::filesystem::create_directories(v.env.dir.file("reports"));
    ASSERT_TRUE(v.window.openDocument(v.env.dir.write("reports/r.kel", pages(1))));
    EXPECT_EQ(v.window.dialogFolder(), QString::fromStdString(v.env.dir.file("reports")));
}

TEST(ViewerDesktop, FileManagersTellReportsPackedReportsAndContainersApart)
{
    // The desktop's own tools read our MIME package from a scratch data
    // folder, as a file manager would after installation.
    const QString update = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (update.isEmpty() || gio.isEmpty())
        GTEST_SKIP() << "shared-mime-info's tools are not installed";
    test::TempDir scratch;
    const std::string data = scratch.path() + "/share";
    std::filesystem::create_directories(data + "/mime/packages");
    std::filesystem::copy_file(KEL_SOURCE_DIR "/data/desktop/kel-mime.xml",
                               data + "/mime/packages/kel.xml");
    QProcess run;
    run.start(update, {QString::fromStdString(data + "/mime")});
    ASSERT_TRUE(run.waitForFinished(60000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

    const std::string report =
        scratch.write("plain.kel", crlf({"REPORT_TITLE=t", "[HEADER]", "[DATA]", "text"}));
    QProcess pack;
    pack.start(QStringLiteral(KEL_BIN_DIR "/keltool"),
               {QStringLiteral("pack"), QString::fromStdString(report),
                QString::fromStdString(scratch.file("packed.kel"))});
    ASSERT_TRUE(pack.waitForFinished(30000));
    ASSERT_EQ(pack.exitCode(), 0) << pack.readAllStandardError().toStdString();
    const std::string container = scratch.file("container.kel");
    ASSERT_TRUE(appendMember(report, container, "$report"));

    const auto typeOf = [&](const std::string &file) {
        QProcess info;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(data));
        env.insert(QStringLiteral("XDG_DATA_DIRS"),
                   QString::fromStdString(data) + QStringLiteral(":/usr/share"));
        info.setProcessEnvironment(env);
        info.start(gio, {QStringLiteral("info"), QStringLiteral("-a"),
                         QStringLiteral("standard::content-type"), QString::fromStdString(file)});
        info.waitForFinished(30000);
        const QString out = QString::fromLocal8Bit(info.readAllStandardOutput());
        const qsizetype at = out.indexOf(QStringLiteral("standard::content-type: "));
        return at < 0 ? out : out.mid(at + 24).section(QLatin1Char('\n'), 0, 0).trimmed();
    };
    EXPECT_EQ(typeOf(report), QStringLiteral("application/x-kel-report"));
    EXPECT_EQ(typeOf(scratch.file("packed.kel")),
              QStringLiteral("application/x-kel-packed-report"));
    EXPECT_EQ(typeOf(container), QStringLiteral("application/x-kel-container"));
}
