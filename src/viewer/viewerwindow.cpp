#include "viewer/viewerwindow.h"

#include "app/folders.h"
#include "app/instances.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/warnings.h"
#include "documents/opening.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"
#include "render/paintersurface.h"
#include "render/screenpage.h"
#include "viewer/busycursor.h"
#include "viewer/pagearea.h"
#include "viewer/refusals.h"
#include "viewer/toolbar.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <cmath>
#include <cstdio>

namespace kel {

namespace {

// Status texts and progress of a document being opened.
class WindowObserver : public OpenObserver
{
public:
    WindowObserver(const Messages &messages, QLabel &status, QProgressBar &progress,
                   QMainWindow &window)
        : m_messages(messages), m_status(status), m_progress(progress), m_window(window)
    {
    }
    ~WindowObserver() override
    {
        m_progress.hide();
        if (m_busy)
            QApplication::restoreOverrideCursor();
    }
    void statusMessage(int number) override { m_status.setText(m_messages.qtext(number)); }
    void captionMessage(int number) override { m_window.setWindowTitle(m_messages.qtext(number)); }
    void progressRange(int64_t lines) override
    {
        m_scale = lines > 1000000 ? double(lines) / 1000000 : 1;
        m_progress.setRange(0, static_cast<int>(double(lines) / m_scale));
        m_progress.setValue(0);
        m_progress.show();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    void progress(int64_t line) override
    {
        m_progress.setValue(static_cast<int>(double(line) / m_scale));
        if (m_timer.elapsed() > 100) {
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            m_timer.restart();
        }
    }
    void busy(bool on) override
    {
        if (on && !m_busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (!on && m_busy)
            QApplication::restoreOverrideCursor();
        m_busy = on;
    }

private:
    const Messages &m_messages;
    QLabel &m_status;
    QProgressBar &m_progress;
    QMainWindow &m_window;
    double m_scale = 1;
    bool m_busy = false;
    QElapsedTimer m_timer;
};

} // namespace

ViewerWindow::ViewerWindow(ViewerContext &context, QWidget *parent)
    : QMainWindow(parent), m_context(context), m_toolBar(new QToolBar(this)),
      m_pageArea(new PageArea(this)), m_status(new QLabel(this)),
      m_progress(new QProgressBar(this)), m_textxy(new QLineEdit(this))
{
    setObjectName(QStringLiteral("viewform"));
    setWindowTitle(context.messages.qtext(0));
    m_toolBar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolBar->setMovable(false);
    addToolBar(m_toolBar);
    m_toolbar = std::make_unique<ViewerToolbar>(*m_toolBar, context.messages, buttonTable());
    for (const ToolbarButton &b : buttonTable()) {
        if (b.kind != ButtonKind::Command && b.kind != ButtonKind::Inert)
            continue;
        const QString key = QString::fromLatin1(b.key);
        connect(m_toolbar->button(b.key), &QAction::triggered, this,
                [this, key] { dispatch(key); });
    }
    QComboBox *zoom = m_toolbar->zoomBox();
    for (double level : kZoomLevels)
        zoom->addItem(zoomText(level));
    zoom->setCurrentText(zoomText(1));
    connect(zoom, &QComboBox::activated, this,
            [this, zoom](int index) { applyZoomText(zoom->itemText(index)); });
    connect(zoom->lineEdit(), &QLineEdit::returnPressed, this,
            [this, zoom] { applyZoomText(zoom->currentText()); });
    zoom->lineEdit()->installEventFilter(this);
    showShortcutsInTooltips();

    m_textxy->setObjectName(QStringLiteral("textxy"));
    m_textxy->setReadOnly(true);
    m_textxy->setMaximumWidth(220);
    m_toolBar->addWidget(m_textxy)->setObjectName(QStringLiteral("textxyAction"));

    setCentralWidget(m_pageArea);
    m_pageArea->setFocusPolicy(Qt::StrongFocus);
    connect(m_pageArea, &PageArea::linkActivated, this,
            [this](const QString &target) { m_context.commands.open(toCp1252(target)); });
    connect(m_pageArea, &PageArea::rightDrag, this, [this](const QPointF &p) {
        if (!m_context.options.designMode || !m_document)
            return;
        // The page's own units, as the report writes them: the margins are
        // where drawing at 0, 0 lands.
        const DocumentSettings &s = m_document->settings;
        const double x = std::round(p.x() * kTwipsPerPixel / m_zoom - s.leftMargin);
        const double y = std::round(p.y() * kTwipsPerPixel / m_zoom - s.topMargin);
        m_textxy->setText(QStringLiteral("X=%1 --  Y=%2").arg(x, 0, 'f', 0).arg(y, 0, 'f', 0));
    });
    connect(m_pageArea, &PageArea::pageTurnRequested, this, [this](int direction) {
        if (direction > 0) {
            nextPage();
            return;
        }
        // Wheeling up into the page before shows its foot, as it continues.
        const int shown = currentPage();
        previousPage();
        if (currentPage() != shown)
            m_pageArea->scrollEnd();
    });
    connect(m_pageArea, &PageArea::zoomRequested, this,
            [this](int direction) { zoomStep(direction > 0 ? ZoomStep::In : ZoomStep::Out); });
    m_countTimer.setInterval(0);
    connect(&m_countTimer, &QTimer::timeout, this, &ViewerWindow::countSlice);

    m_status->setObjectName(QStringLiteral("StatusBar1"));
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->hide();
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->installEventFilter(this);
    m_status->installEventFilter(this);

    addDistributorButton();
    applyOptionLetters();
    enableDocumentCommands();
    restoreWindowState();
    m_pageArea->setFocus();
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::addDistributorButton()
{
    // A distributor may ship "distsml.bmp" and "dist.txt" in the program
    // folder: the small picture then opens the first line of the text.
    const QString folder = QString::fromStdString(m_context.folders.program);
    const QPixmap picture(folder + QStringLiteral("/distsml.bmp"));
    std::string dist;
    if (picture.isNull() || !readFile(m_context.folders.inProgram("dist.txt"), dist))
        return;
    std::string_view first;
    LineSplitter splitter(dist);
    if (!splitter.next(first) || trimmed(first).empty())
        return;
    const std::string target(trimmed(first));
    auto *button = new QToolButton(this);
    button->setObjectName(QStringLiteral("dist16"));
    button->setIcon(QIcon(picture));
    button->setAutoRaise(true);
    button->setToolTip(fromCp1252(target));
    connect(button, &QToolButton::clicked, this,
            [this, target] { m_context.commands.open(target); });
    statusBar()->addPermanentWidget(button);
}

QAction *ViewerWindow::button(const char *key) const
{
    return m_toolbar->button(key);
}

void ViewerWindow::applyOptionLetters()
{
    const ViewerOptions &o = m_context.options;
    for (const ToolbarButton &b : buttonTable()) {
        bool visible = b.shown == ButtonShown::Always ||
                       (b.shown == ButtonShown::InDesignMode && o.designMode);
        if (optionLettersSet(o, b.hiddenBy))
            visible = false;
        m_toolbar->button(b.key)->setVisible(visible);
    }
    for (QAction *a : m_toolBar->actions()) {
        if (a->objectName() == QLatin1String("textxyAction"))
            a->setVisible(o.designMode);
    }
}

bool ViewerWindow::commandAvailable(ButtonNeeds needs) const
{
    if (!hasDocument())
        return needs == ButtonNeeds::Nothing;
    const DocumentSettings &s = m_document->settings;
    const PageState &pages = m_engine->pages();
    switch (needs) {
    case ButtonNeeds::Nothing:
    case ButtonNeeds::Document:
        return true;
    case ButtonNeeds::SeveralPages:
        return !pages.lastPageKnown() || pages.lastPage() > 1;
    case ButtonNeeds::PrintAllowed:
        return s.printAllowed == "Y";
    case ButtonNeeds::SendAllowed:
        return s.sendAllowed == "Y";
    case ButtonNeeds::SaveAllowed:
        return s.saveAllowed == "Y";
    case ButtonNeeds::ExportAllowed:
        return s.exportAllowed == "Y";
    }
    return false;
}

bool ViewerWindow::allowedByDocument(ButtonNeeds needs)
{
    if (commandAvailable(needs))
        return true;
    const int message = needs == ButtonNeeds::PrintAllowed    ? 150
                        : needs == ButtonNeeds::ExportAllowed ? 155
                                                              : 162;
    const Messages &m = m_context.messages;
    m_context.prompter.notice(message, m.qtext(message), m.qtext(140));
    return false;
}

void ViewerWindow::enableDocumentCommands()
{
    // Buttons that need nothing keep the state they have; the switches of
    // the report are compared exactly with "Y".
    for (const ToolbarButton &b : buttonTable()) {
        if (b.needs == ButtonNeeds::Nothing)
            continue;
        const bool on = commandAvailable(b.needs);
        m_toolbar->button(b.key)->setEnabled(on);
        if (b.kind == ButtonKind::ZoomBox)
            m_toolbar->zoomBox()->setEnabled(on);
    }
}

void ViewerWindow::closeDocument()
{
    m_countTimer.stop();
    m_navigator.reset();
    m_diagnostics.clear();
    m_engine.reset();
    m_document.reset();
    m_pageArea->clearImage();
    enableDocumentCommands();
}

bool ViewerWindow::openDocument(const std::string &path, const std::string &givenPath,
                                OpenedBy openedBy)
{
    closeDocument();
    m_zoom = m_openZoom;
    m_toolbar->zoomBox()->setCurrentText(zoomText(m_zoom));
    m_pageArea->setBarRange(static_cast<int>(std::lround(20 * m_zoom)));

    std::vector<std::string> scratch;
    Opened result = Refusal{};
    {
        WindowObserver observer(m_context.messages, *m_status, *m_progress, *this);
        OpenOptions options;
        options.openDelimiter = m_openDelimiter;
        options.closeDelimiter = m_closeDelimiter;
        options.openedWithOpenCommand = openedBy == OpenedBy::OpenCommand;
        options.givenPath = givenPath;
        options.observer = &observer;
        result = kel::openDocument(path,
                                   {m_context.folders, m_context.messages, m_context.settings,
                                    m_context.prompter, m_context.warnings},
                                   options, &scratch);
    }
    // The pictures a packed report brought are removed with the instance.
    if (m_context.instance && !scratch.empty())
        m_context.instance->record(scratch);
    if (!result.ok()) {
        const Messages &m = m_context.messages;
        const int message = result.message();
        // Say which file (and where in it): the detail names it.
        const QString detail = QString::fromStdString(result.refusal().detail);
        QString text = message == kNoMessage ? detail : m.qtext(message);
        if (message != kNoMessage && !detail.isEmpty())
            text += QStringLiteral("\n\n") + detail;
        reportOnStderr(message, m.qtext(message), detail);
        m_context.prompter.error(message, text, m.qtext(message == 289 ? 0 : 42));
        m_status->clear();
        setWindowTitle(m.qtext(0));
        if (refusalEndsViewer(message)) {
            m_exitCode = 1;
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        return false;
    }
    m_document = std::move(result.value());
    const DocumentSettings &s = m_document->settings;
    m_openDelimiter = s.openDelimiter;
    m_closeDelimiter = s.closeDelimiter;
    m_engine = std::make_unique<RenderEngine>(
        *m_document, RenderServices{m_context.messages, m_diagnostics, m_context.commands, m_find,
                                    m_context.clock});
    m_navigator = std::make_unique<Navigator>(*m_engine);
    m_navigator->onProgress([this](int) {
        showPageStatus();
        pumpEvents();
    });
    setWindowTitle(fromCp1252(s.title));
    {
        BusyCursor busy;
        drawPage(1);
    }
    // The working copy and the extract of its settings part beside it.
    if (m_context.instance)
        m_context.instance->record({s.workingPath, s.workingPath + "$"});
    showLoadedStatus();
    enableDocumentCommands();
    startPageCount();
    return true;
}

void ViewerWindow::drawPage(int page)
{
    if (!m_engine)
        return;
    m_engine->pages().setCurrentPage(page);
    m_engine->drawing().zoomFactor = m_zoom;
    // At the screen's pixel density, so that text stays sharp when scaled.
    ScreenPage shown = drawScreenPage(*m_engine, page, m_zoom, m_pageArea->devicePixelRatioF());
    m_pageArea->clearLinks();
    const bool tips = m_document->settings.linkTips == "Y";
    for (const ScreenLink &link : shown.links)
        m_pageArea->addLink(link.pixels, link.target, tips);
    m_pageArea->setImage(std::move(shown.image));
    showDiagnostics();
}

void ViewerWindow::showDiagnostics()
{
    PromptingDiagnostics boxes(m_context.warnings);
    m_diagnostics.deliverTo(boxes);
}

void ViewerWindow::redrawCurrentPage()
{
    if (!m_engine)
        return;
    m_context.commands.setStartedByCommand(false);
    drawPage(m_engine->pages().currentPage());
}

int ViewerWindow::currentPage() const
{
    return m_engine ? m_engine->pages().currentPage() : 0;
}

QString ViewerWindow::statusText() const
{
    return m_status->text();
}

void ViewerWindow::setStatus(const QString &text)
{
    m_status->setText(text);
    m_statusKind = StatusKind::Other;
}

void ViewerWindow::showLoadedStatus()
{
    if (!m_engine)
        return;
    setStatus(m_context.messages.qtext(146) + QLatin1Char(' ') +
              QString::fromStdString(m_engine->pages().lastPageText()));
    m_statusKind = StatusKind::Loaded;
}

void ViewerWindow::showPageStatus()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    setStatus(m.qtext(151) + QLatin1Char(' ') + QString::number(m_engine->pages().currentPage()) +
              QLatin1Char(' ') + m.qtext(152) + QLatin1Char(' ') +
              QString::fromStdString(m_engine->pages().lastPageText()));
    m_statusKind = StatusKind::PageOf;
}

void ViewerWindow::pumpEvents()
{
    static QElapsedTimer timer;
    if (!timer.isValid() || timer.elapsed() > 100) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        timer.restart();
    }
}

bool ViewerWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_toolbar->zoomBox()->lineEdit() && event->type() == QEvent::KeyPress)
        return zoomBoxKey(static_cast<QKeyEvent *>(event));
    if ((watched == m_status || watched == statusBar()) &&
        event->type() == QEvent::MouseButtonPress) {
        drawColumnGuides();
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void ViewerWindow::resizeEvent(QResizeEvent *event)
{
    // After a resize the bars have 20 positions again, whatever the zoom;
    // the page keeps its size and can still be scrolled over its length.
    QMainWindow::resizeEvent(event);
    m_pageArea->setBarRange(20);
    m_pageArea->horizontalBar()->setValue(0);
}

void ViewerWindow::closeEvent(QCloseEvent *event)
{
    saveWindowState();
    event->accept();
}

void ViewerWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The frame the window manager adds is known only once the window is
    // shown, and on some only a moment later: look twice.
    if (!m_placed) {
        m_placed = true;
        QTimer::singleShot(0, this, &ViewerWindow::keepOnScreen);
        QTimer::singleShot(300, this, &ViewerWindow::keepOnScreen);
        // Moved to a screen of another pixel density: draw the page again
        // at that density.
        if (QWindow *window = windowHandle()) {
            connect(window, &QWindow::screenChanged, this, [this] {
                if (m_engine && !QApplication::overrideCursor())
                    redrawCurrentPage();
            });
        }
    }
}

// The window's own state between runs: size, position and the zoom, in the
// user's config folder (KEL.INI is the system's settings file and stays as
// it is).
namespace {

std::unique_ptr<QSettings> storedState()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("kel"), QStringLiteral("viewer"));
}

} // namespace

void ViewerWindow::forgetWindowState()
{
    storedState()->clear();
}

void ViewerWindow::restoreWindowState()
{
    const auto state = storedState();
    const double zoom = state->value(QStringLiteral("zoom"), 1.0).toDouble();
    m_openZoom = zoom >= 0.1 && zoom <= 10 ? zoom : 1;
    m_toolbar->zoomBox()->setCurrentText(zoomText(m_openZoom));
    if (restoreGeometry(state->value(QStringLiteral("geometry")).toByteArray()))
        return;
    // The first run: the size the window was designed for, or less on a
    // small screen, with room for the frame the window manager adds.
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        resize(960, 1000);
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize frame(16, 48);
    resize(std::min(960, area.width() - frame.width()),
           std::min(1000, area.height() - frame.height()));
    move(area.x() + std::max(0, (area.width() - width() - frame.width()) / 2), area.y());
}

void ViewerWindow::keepOnScreen()
{
    const QScreen *screen = this->screen();
    if (!screen || isMaximized() || isFullScreen())
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = frameGeometry();
    if (area.contains(frame))
        return;
    const QSize extra = frame.size() - size();
    resize(std::min(width(), area.width() - extra.width()),
           std::min(height(), area.height() - extra.height()));
    const QRect now = frameGeometry();
    move(std::clamp(now.x(), area.x(), std::max(area.x(), area.right() + 1 - now.width())),
         std::clamp(now.y(), area.y(), std::max(area.y(), area.bottom() + 1 - now.height())));
}

void ViewerWindow::saveWindowState() const
{
    const auto state = storedState();
    state->setValue(QStringLiteral("geometry"), saveGeometry());
    if (hasDocument())
        state->setValue(QStringLiteral("zoom"), m_zoom);
}

void ViewerWindow::reportOnStderr(int number, const QString &text, const QString &detail) const
{
    // Also for whoever started the viewer from a terminal or a script.
    QString line = QStringLiteral("kel: ") + detail;
    if (number != kNoMessage) {
        if (!detail.isEmpty())
            line += QStringLiteral(": ");
        line += text + QStringLiteral(" [%1]").arg(number);
    }
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

} // namespace kel
