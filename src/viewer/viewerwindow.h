// viewform: the report viewer window.
//
// It owns the open document and its render engine, shows one page at a time
// at the chosen zoom, and dispatches the toolbar's keyed buttons. Opening
// goes through openDocument; a refusal shows its message, and the refusals
// that end the program close the window with a non-zero exit code.
#pragma once

#include "app/commandline.h"
#include "render/diagnostics.h"
#include "render/findstate.h"

#include <QMainWindow>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;
class QToolBar;

namespace kel {

struct Document;
class ExternalCommands;
struct Folders;
class Messages;
class PageArea;
class Prompter;
class RenderEngine;
struct SettingsRecord;
class ViewerToolbar;
class Warnings;
class Clock;
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
};

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
                      bool openedWithOpenCommand = false);
    bool hasDocument() const { return m_engine != nullptr; }
    int exitCode() const { return m_exitCode; }

    // Runs a toolbar command by its key, as a click does.
    void dispatch(const QString &key);

    // Page state for the status text and tests.
    int currentPage() const;
    QString statusText() const;
    double zoomFactor() const { return m_zoom; }
    QAction *button(const char *key) const;
    PageArea *pageArea() const { return m_pageArea; }
    FindState &findState() { return m_find; }
    QLineEdit *coordinatesBox() const { return m_textxy; }

    // The viewer's own operations (keys and toolbar).
    void nextPage();
    void previousPage();
    void firstPage();
    void lastPage();
    void zoomStep(int direction); // 1 in, 2 out, 3 apply m_zoom
    void applyZoomText(const QString &text);
    // Go to page n as the go-to dialog would after it was answered.
    void goToPage(double n);
    // Find with the given text and options as the find dialog would.
    void find(const QString &text, bool matchCase, bool fromFirstPage);
    void findAgain();
    void drawColumnGuides();

    // Printing, export, save and mail, as their commands run them once the
    // dialogs have been answered.
    void setCurrentPrinter(const std::string &name) { m_printerName = name; }
    const std::string &currentPrinter();
    void printWholeDocument();
    void print(const PrintRequest &request);
    bool exportTo(const std::string &path);
    // Forms: 1 the working copy, 2 a packed report, 3 the page picture.
    bool saveAs(const std::string &path, int form);
    void sendByMail();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);
    void drawPage(int page);
    void showDiagnostics();   // what the last walks reported, as boxes
    void showTurnedPage();    // after a step to the next or previous page
    void redrawCurrentPage(); // by the window itself: never runs EXEC
    void showPageStatus();
    void setStatus(const QString &text);
    void enableDocumentCommands();
    void applyOptionLetters();
    void addDistributorButton();
    void closeDocument();
    void walkForwardTo(int target, bool drawTarget);
    void findNext(bool findAgainMode);
    void openCommand();
    void editCommand();
    void aboutCommand();
    void notAvailable();
    void pumpEvents();
    void printSetupCommand();
    void exportCommand();
    void saveCommand();
    void runPrintJob(const std::string &printer, int copies, bool allPages, int from, int to);

    ViewerContext &m_context;
    std::unique_ptr<Document> m_document;
    std::unique_ptr<RenderEngine> m_engine;
    // Kept while a page is drawn or printed, shown once it is on the screen.
    CollectingDiagnostics m_diagnostics{&m_context.warnings};
    FindState m_find;
    bool m_findMatchCaseBox = false;
    bool m_findFirstPageBox = false;
    char m_openDelimiter = '{';
    char m_closeDelimiter = '}';
    double m_zoom = 1;
    int m_exitCode = 0;
    QString m_lastOpenFolder;
    std::string m_printerName;

    QToolBar *m_toolBar;
    std::unique_ptr<ViewerToolbar> m_toolbar;
    PageArea *m_pageArea;
    QLabel *m_status;
    QProgressBar *m_progress;
    QLineEdit *m_textxy;
};

} // namespace kel
