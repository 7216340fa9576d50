// viewform: the report viewer window.
//
// It owns the open document, its render engine and the navigator over it,
// shows one page at a time at the chosen zoom, and runs the toolbar's
// buttons from one table (toolbar.h). Where to go (next, last, go to, find)
// is the navigator's policy; the window asks it, draws the page it answers
// and shows its messages. Opening goes through openDocument; a refusal shows
// its message with the file it concerns, and the refusals that end the
// program close the window with a non-zero exit code.
//
// The code is spread over viewerwindow.cpp (building, opening, drawing,
// status, window state), viewernavigation.cpp (pages, zoom, keys, wheel,
// the page count), viewercommands.cpp (the button table and the commands
// behind dialogs), viewerprint.cpp (print, export, save, mail) and
// systemprint.cpp (the desktop's print dialog and print preview).
#pragma once

#include "app/commandline.h"
#include "printing/printers.h"
#include "printing/printjob.h"
#include "render/diagnostics.h"
#include "render/findstate.h"
#include "render/navigator.h"
#include "viewer/toolbar.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPrinter;
class QLineEdit;
class QProgressBar;
class QToolBar;

namespace kel {

struct Document;
class ExternalCommands;
class FindBar;
class PageBar;
class ProgramStarter;
struct Folders;
class Messages;
class PageArea;
class Prompter;
class RenderEngine;
struct SettingsRecord;
class Warnings;
class Clock;
class InstanceLock;
struct PrintRequest;

// What the viewer shares with the rest of the program; all owned by main().
struct ViewerContext
{
    const Folders &folders;
    const Messages &messages;
    SettingsRecord &settings;
    Prompter &prompter;
    Warnings &warnings;
    ExternalCommands &commands;
    const Clock &clock;
    ViewerOptions options;
    // Where the viewer notes the working files it makes, so that the next
    // start can remove them should this run be killed; none in tests.
    InstanceLock *instance = nullptr;
    // Where mailed attachments are kept; "" for ~/.cache/kel/outbox.
    std::string outbox{};
    // Starts the editor; null for the desktop's own starter.
    ProgramStarter *starter = nullptr;
    // Shows the configuration window modally over `parent` (the console's
    // browser, handed in by the program's entry point); empty: the button
    // has nothing to open.
    std::function<void(QWidget *parent)> openConfiguration{};
};

// How a document came to be opened: the start-up's command line (or a
// reload), or the Open command.
enum class OpenedBy { CommandLine, OpenCommand };

// The zoom step: to the next level, to the one before, or the zoom already
// set (a typed or fitted zoom).
enum class ZoomStep { In, Out, Apply };

// The forms of "save as". The save dialog's types are report, packed
// report, page picture (BMP), page picture (PNG) and PDF document.
enum class SaveForm { Report, PackedReport, PagePicture, Pdf };

// The name a form is saved under: a report and a packed report end in
// ".kel", a page picture in ".bmp" or ".png" (`pictureExtension` when it
// has neither), a PDF document in ".pdf".
QString withFormExtension(const QString &path, SaveForm form,
                          const QString &pictureExtension = QStringLiteral(".bmp"));

class ViewerWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr double kZoomLevels[] = {0.25, 0.5, 0.75, 1, 1.2, 1.5, 1.8, 2, 3};

    explicit ViewerWindow(ViewerContext &context, QWidget *parent = nullptr);
    ~ViewerWindow() override;

    // Opens a document as the start-up and the Open command do. False when
    // it was refused; `exitCode()` is then non-zero if the program must end.
    bool openDocument(const std::string &path, const std::string &givenPath = {},
                      OpenedBy openedBy = OpenedBy::CommandLine);
    bool hasDocument() const { return m_engine != nullptr; }
    int exitCode() const { return m_exitCode; }

    // Runs a toolbar command by its key, as a click does.
    void dispatch(const QString &key);
    // The buttons, in toolbar order.
    static const std::vector<ToolbarButton> &buttonTable();

    // Page state for the status text and tests.
    int currentPage() const;
    QString statusText() const;
    double zoomFactor() const { return m_zoom; }
    QAction *button(const char *key) const;
    PageArea *pageArea() const { return m_pageArea; }
    FindState &findState() { return m_find; }
    FindBar *findBar() const { return m_findBar; }
    PageBar *pageBar() const { return m_pageBar; }
    QLineEdit *coordinatesBox() const { return m_textxy; }
    // True once the page count, learnt in the background after a document
    // is shown, is settled.
    bool pageCountSettled() const;

    // The viewer's own operations (keys and toolbar).
    void nextPage();
    void previousPage();
    void firstPage();
    void lastPage();
    void zoomStep(ZoomStep step);
    void applyZoomText(const QString &text);
    // The zoom at which the page's width, or the whole page, fits the area.
    void fitWidth();
    void fitPage();
    // Go to page n as the go-to dialog would after it was answered.
    void goToPage(double n);
    // Find with the given text and options as the find dialog would.
    void find(const QString &text, FindOptions options = {});
    void findAgain();
    void drawColumnGuides();

    // Printing, export, save and mail, as their commands run them once the
    // dialogs have been answered.
    void setCurrentPrinter(const std::string &name) { m_printerName = name; }
    const std::string &currentPrinter();
    void printWholeDocument();
    void print(const PrintRequest &request);
    bool exportTo(const std::string &path);
    bool saveAs(const std::string &path, SaveForm form);
    // Prints on a printer set up by Qt's print dialog or preview: the range
    // it names (all pages, from..to, or the page shown) and its copies and
    // duplex. False (after its message) when refused.
    bool printOn(QPrinter &printer);
    void sendByMail();

    // The folder a file dialog starts in: the open document's folder, else
    // the folder the Open dialog last used, else the home folder.
    QString dialogFolder() const;

    // Forgets the size, position and zoom remembered between runs.
    static void forgetWindowState();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Keys: the added shortcuts first, then the key handler with its key
    // codes, then the characters that share a code with one of its keys.
    bool handleKeyEvent(QKeyEvent *event);
    bool handleShortcut(int key, Qt::KeyboardModifiers modifiers);
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);
    // A key typed into the zoom box; true when the box does not get it.
    bool zoomBoxKey(QKeyEvent *event);
    // The keys of desktop viewers (viewernavigation.cpp), one table for the
    // keys and for the tooltips that name them.
    struct Shortcut;
    static const std::vector<Shortcut> &shortcuts();
    void showShortcutsInTooltips();

    void drawPage(int page);
    void showNavigation(const Navigation &navigation);
    void showDiagnostics();   // what the last walks reported, as boxes
    void showTurnedPage();    // after a step to the next or previous page
    void redrawCurrentPage(); // by the window itself: never runs EXEC
    void showPageStatus();
    // The one page status text: message `lead` ("Page", or "Printing done.
    // Page"), the page, "of" and the last page ("+" while not known).
    QString pageStatusText(int page, int lead = 151) const;
    void showLoadedStatus(); // "page 1 of" after opening
    void setStatus(const QString &text);
    void enableDocumentCommands();
    bool commandAvailable(ButtonNeeds needs) const;
    // True when the open document's switch lets the command run; else the
    // switch's notice (150 print, 155 export, 162 save) is shown.
    bool allowedByDocument(ButtonNeeds needs);
    void applyOptionLetters();
    void addDistributorButton();
    void closeDocument();
    void pumpEvents();
    void reportOnStderr(int number, const QString &text, const QString &detail) const;
    // The page count in slices on the event loop, after page 1 is shown.
    void startPageCount();
    void countSlice();
    void applyZoom(double zoom);
    // The zoom box shows `zoom`, its list marking that level (none when the
    // zoom is not a level).
    void showZoom(double zoom);

    // Edits made in the editor live only in the working copy, which goes
    // when another document is opened or the viewer ends. keepEditsOf
    // notes the working copy as it was before the editor opened it;
    // mayDiscardEdits asks before a changed copy goes (396) and saves it as
    // Save's report form does. False when the user cancelled the save:
    // nothing may be discarded then.
    void keepEditsOf(const std::string &working);
    bool mayDiscardEdits();
    // Writes the working copy to `path` through the atomic writer; the
    // reason when it fails.
    std::string saveWorkingCopy(const std::string &path);

    void restoreWindowState();
    void saveWindowState() const;
    void keepOnScreen();

    // The commands behind the buttons.
    void findCommand();
    void goToCommand();
    // A page typed into the page bar: shown as go to page shows it, at the
    // zoom set.
    void pageBarRequest(int page);
    void zoomIn() { zoomStep(ZoomStep::In); }
    void zoomOut() { zoomStep(ZoomStep::Out); }
    void zoomActualSize() { applyZoom(1); }
    void openCommand();
    void editCommand();
    void aboutCommand();
    void helpCommand();
    void configCommand();
    void exitCommand();
    void printSetupCommand();
    void systemPrintCommand();
    void previewCommand();
    // The print job on a Qt printer, without a word to the user.
    Result<PrintReport> drawOnPrinter(QPrinter &printer);
    void showPrintRefusal(const Refusal &refusal, bool allPages);
    void exportCommand();
    void saveCommand();
    void runPrintJob(const PrintRequest &request);
    // The files packing left out, named in one notice (393).
    void showLeftOut(const std::vector<std::string> &names);

    ViewerContext &m_context;
    std::unique_ptr<Document> m_document;
    std::unique_ptr<RenderEngine> m_engine;
    std::unique_ptr<Navigator> m_navigator;
    // Kept while a page is drawn or printed, shown once it is on the screen.
    CollectingDiagnostics m_diagnostics{&m_context.warnings};
    FindState m_find;
    char m_openDelimiter = '{';
    char m_closeDelimiter = '}';
    double m_zoom = 1;
    double m_openZoom = 1; // every opening starts at it: 1, or the last run's zoom
    bool m_placed = false; // kept on the screen once shown
    int m_exitCode = 0;
    QString m_lastOpenFolder;
    std::string m_printerName;
    Printers m_printers;
    // Which status text is shown, so that a count learnt later can fill in
    // its "+".
    enum class StatusKind { Other, Loaded, PageOf };
    StatusKind m_statusKind = StatusKind::Other;
    QTimer m_countTimer;
    struct WatchedEdits
    {
        std::string working; // the working copy the editor was given
        size_t digest = 0;   // of its bytes before the editor had it
    };
    WatchedEdits m_edits;

    std::unique_ptr<ViewerToolbar> m_toolbar;
    PageArea *m_pageArea;
    FindBar *m_findBar;
    PageBar *m_pageBar;
    QAction *m_pageBarAction = nullptr;
    QLabel *m_status;
    QProgressBar *m_progress;
    QLineEdit *m_textxy;
};

} // namespace kel
