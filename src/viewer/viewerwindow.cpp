#include "viewer/viewerwindow.h"

#include "app/folders.h"
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
#include "viewer/pagearea.h"
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
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <cmath>

namespace kel {

namespace {

QString zoomText(double zoom)
{
    return QString::number(zoom * 100, 'g', 6) + QStringLiteral(" %");
}

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

class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
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
    m_toolbar = std::make_unique<ViewerToolbar>(*m_toolBar, context.messages);
    for (const ToolbarButton &b : toolbarButtons()) {
        if (b.separator)
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

    m_textxy->setObjectName(QStringLiteral("textxy"));
    m_textxy->setReadOnly(true);
    m_textxy->setMaximumWidth(220);
    m_toolBar->addWidget(m_textxy)->setObjectName(QStringLiteral("textxyAction"));

    setCentralWidget(m_pageArea);
    m_pageArea->setFocusPolicy(Qt::StrongFocus);
    connect(m_pageArea, &PageArea::linkActivated, this,
            [this](const QString &target) { m_context.commands.open(toCp1252(target)); });
    connect(m_pageArea, &PageArea::rightDrag, this, [this](const QPoint &p) {
        if (!m_context.options.designMode)
            return;
        const double x = std::round(p.x() * 15.0 / m_zoom);
        const double y = std::round(p.y() * 15.0 / m_zoom);
        m_textxy->setText(QStringLiteral("X=%1 --  Y=%2").arg(x, 0, 'f', 0).arg(y, 0, 'f', 0));
    });

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
    resize(960, 1000);
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
    auto hide = [this](std::initializer_list<const char *> keys) {
        for (const char *k : keys)
            m_toolbar->button(k)->setVisible(false);
    };
    if (o.hideOpen)
        hide({"abrir"});
    if (o.hideSave)
        hide({"salvar"});
    if (o.hideExport)
        hide({"exportar"});
    if (o.hideOpen && o.hideSave && o.hideExport)
        hide({"asda"});
    if (o.hidePrint)
        hide({"imprime", "printsetup", "sss"});
    if (o.hideMail)
        hide({"sendbymail", "jhkjh"});
    if (o.hidePaging)
        hide({"back01", "back02", "ir", "for01", "for02", "aa"});
    if (o.hideZoom) {
        hide({"acerca", "aleja", "zx"});
        m_toolbar->zoomBoxAction()->setVisible(false);
    }
    if (o.hideFind)
        hide({"findtext", "findagain", "sdfsdf"});
    // The buttons that produce nothing, and the design-mode ones unless E.
    hide({"recordkey", "playsound", "stopplaying", "trrrr"});
    if (!o.designMode)
        hide({"config", "edit", "columns", "yyytrd"});
    for (QAction *a : m_toolBar->actions()) {
        if (a->objectName() == QLatin1String("textxyAction"))
            a->setVisible(o.designMode);
    }
}

void ViewerWindow::enableDocumentCommands()
{
    const bool doc = hasDocument();
    const bool paging =
        doc && (!m_engine->pages().lastPageKnown() || m_engine->pages().lastPage() > 1);
    for (int i = 1; i <= 5; ++i)
        m_toolbar->button(i)->setEnabled(paging);
    for (int i : {7, 8, 10, 11, 27, 28})
        m_toolbar->button(i)->setEnabled(doc);
    m_toolbar->zoomBox()->setEnabled(doc);
    const auto allowed = [doc](const std::string &v) { return doc && v == "Y"; };
    const DocumentSettings *s = doc ? &m_document->settings : nullptr;
    m_toolbar->button(13)->setEnabled(s && allowed(s->printAllowed));
    m_toolbar->button(14)->setEnabled(s && allowed(s->printAllowed));
    m_toolbar->button(16)->setEnabled(s && allowed(s->sendAllowed));
    m_toolbar->button(19)->setEnabled(s && allowed(s->saveAllowed));
    m_toolbar->button(20)->setEnabled(s && allowed(s->exportAllowed));
}

void ViewerWindow::closeDocument()
{
    m_engine.reset();
    m_document.reset();
    m_pageArea->clearImage();
    enableDocumentCommands();
}

bool ViewerWindow::openDocument(const std::string &path, const std::string &givenPath,
                                bool openedWithOpenCommand)
{
    closeDocument();
    m_zoom = 1;
    m_toolbar->zoomBox()->setCurrentText(zoomText(1));
    m_pageArea->setBarRange(20);

    OpenResult result;
    {
        WindowObserver observer(m_context.messages, *m_status, *m_progress, *this);
        OpenOptions options;
        options.openDelimiter = m_openDelimiter;
        options.closeDelimiter = m_closeDelimiter;
        options.openedWithOpenCommand = openedWithOpenCommand;
        options.givenPath = givenPath;
        options.observer = &observer;
        result = kel::openDocument(path,
                                   {m_context.folders, m_context.messages, m_context.settings,
                                    m_context.prompter, m_context.warnings},
                                   options);
    }
    if (!result.ok()) {
        const Messages &m = m_context.messages;
        const QString text =
            result.message == kNoMessage ? fromCp1252(result.detail) : m.qtext(result.message);
        m_context.prompter.error(result.message, text, m.qtext(result.message == 289 ? 0 : 42));
        m_status->clear();
        setWindowTitle(m.qtext(0));
        if (result.endsProgram) {
            m_exitCode = 1;
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        return false;
    }
    m_document = std::move(result.document);
    const DocumentSettings &s = m_document->settings;
    m_openDelimiter = s.openDelimiter;
    m_closeDelimiter = s.closeDelimiter;
    m_engine = std::make_unique<RenderEngine>(
        *m_document,
        RenderServices{m_context.warnings, m_context.commands, m_find, m_context.clock});
    setWindowTitle(fromCp1252(s.title));
    {
        BusyCursor busy;
        drawPage(1);
    }
    setStatus(m_context.messages.qtext(146) + QLatin1Char(' ') +
              QString::fromStdString(m_engine->pages().lastPageText()));
    enableDocumentCommands();
    return true;
}

void ViewerWindow::drawPage(int page)
{
    if (!m_engine)
        return;
    m_engine->pages().setCurrentPage(page);
    m_engine->drawing().zoomFactor = m_zoom;
    ScreenPage shown = drawScreenPage(*m_engine, page, m_zoom);
    m_pageArea->clearLinks();
    const bool tips = m_document->settings.linkTips == "Y";
    for (const ScreenLink &link : shown.links)
        m_pageArea->addLink(link.pixels, link.target, tips);
    m_pageArea->setImage(std::move(shown.image));
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
}

void ViewerWindow::showPageStatus()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    setStatus(m.qtext(151) + QLatin1Char(' ') + QString::number(m_engine->pages().currentPage()) +
              QLatin1Char(' ') + m.qtext(152) + QLatin1Char(' ') +
              QString::fromStdString(m_engine->pages().lastPageText()));
}

void ViewerWindow::pumpEvents()
{
    static QElapsedTimer timer;
    if (!timer.isValid() || timer.elapsed() > 100) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        timer.restart();
    }
}

void ViewerWindow::nextPage()
{
    if (m_engine && m_engine->pages().stepNext())
        showTurnedPage();
}

void ViewerWindow::previousPage()
{
    if (m_engine && m_engine->pages().stepPrevious())
        showTurnedPage();
}

void ViewerWindow::showTurnedPage()
{
    BusyCursor busy;
    m_pageArea->scrollHome();
    m_engine->pages().linePos = 0;
    drawPage(m_engine->pages().currentPage());
    showPageStatus();
    enableDocumentCommands();
}

void ViewerWindow::firstPage()
{
    if (!m_engine)
        return;
    BusyCursor busy;
    m_pageArea->scrollHome();
    drawPage(1);
    showPageStatus();
}

void ViewerWindow::lastPage()
{
    if (!m_engine)
        return;
    BusyCursor busy;
    PageState &pages = m_engine->pages();
    if (!(pages.lastPageKnown() && pages.isKnown(pages.lastPage()))) {
        // Walk forward from the page shown until the end of the data.
        int page = pages.currentPage();
        while (!pages.lastPageKnown() && page < PageState::kMaxPages) {
            ++page;
            pages.setCurrentPage(page);
            if (!m_engine->scanPage(page))
                break;
            showPageStatus();
            pumpEvents();
        }
        if (!pages.lastPageKnown())
            pages.setLastPage(page);
    }
    drawPage(pages.lastPage());
    showPageStatus();
    enableDocumentCommands();
}

void ViewerWindow::walkForwardTo(int target, bool drawTarget)
{
    PageState &pages = m_engine->pages();
    int page = pages.currentPage();
    while (page < target) {
        ++page;
        if (pages.isBeyondLastPage(page)) {
            page = pages.lastPage();
            drawPage(page);
            break;
        }
        pages.setCurrentPage(page);
        if (page == target && drawTarget)
            drawPage(page);
        else if (!m_engine->scanPage(page))
            break;
        showPageStatus();
        pumpEvents();
    }
    showPageStatus();
}

void ViewerWindow::goToPage(double n)
{
    if (!m_engine)
        return;
    PageState &pages = m_engine->pages();
    const int remembered = pages.currentPage();
    m_zoom = 1;
    m_toolbar->zoomBox()->setCurrentText(zoomText(1));
    m_pageArea->setBarRange(20);
    if (n < 1 || n > PageState::kMaxPages) {
        drawPage(remembered);
        return;
    }
    const int target = static_cast<int>(n);
    BusyCursor busy;
    if (pages.isBeyondLastPage(target)) {
        const Messages &m = m_context.messages;
        m_context.prompter.notice(
            167, m.qtext(167) + QLatin1Char(' ') + QString::number(pages.lastPage()), m.qtext(140));
        drawPage(pages.lastPage());
        showPageStatus();
        return;
    }
    if (pages.isKnown(target)) {
        m_pageArea->scrollHome();
        drawPage(target);
        showPageStatus();
        return;
    }
    pages.setCurrentPage(remembered);
    m_pageArea->scrollHome();
    walkForwardTo(target, true);
    enableDocumentCommands();
}

void ViewerWindow::find(const QString &text, bool matchCase, bool fromFirstPage)
{
    if (!m_engine)
        return;
    m_find.text = toCp1252(text);
    m_find.matchCase = matchCase;
    if (fromFirstPage)
        m_engine->pages().setCurrentPage(1);
    m_engine->pages().setCurrentPage(m_engine->pages().currentPage() - 1);
    findNext(false);
}

void ViewerWindow::findAgain()
{
    if (!m_engine || !m_find.active())
        return;
    findNext(true);
}

void ViewerWindow::findNext(bool findAgainMode)
{
    PageState &pages = m_engine->pages();
    m_find.hits = 0;
    const int returnPage = findAgainMode ? pages.currentPage() : pages.currentPage() + 1;
    BusyCursor busy;
    int page = pages.currentPage();
    do {
        if (!pages.lastPageKnown() || page < pages.lastPage())
            ++page;
        if (findAgainMode)
            m_pageArea->scrollHome();
        pages.setCurrentPage(page);
        if (!m_engine->scanPage(page))
            break;
        showPageStatus();
        pumpEvents();
    } while (!(pages.lastPageKnown() && page == pages.lastPage()) && m_find.hits == 0 &&
             page < PageState::kMaxPages);
    if (m_find.hits == 0) {
        const Messages &m = m_context.messages;
        m_context.prompter.show({280, m.qtext(280), m.qtext(140), PromptIcon::Exclamation,
                                 PromptButtons::Ok, Answer::Ok});
        pages.setCurrentPage(std::max(1, returnPage));
        showPageStatus();
        enableDocumentCommands();
        return;
    }
    m_pageArea->scrollHome();
    drawPage(page);
    showPageStatus();
    enableDocumentCommands();
}

void ViewerWindow::zoomStep(int direction)
{
    if (!m_engine)
        return;
    if ((direction == 1 && m_zoom == 3) || (direction == 2 && m_zoom == 0.25))
        return;
    BusyCursor busy;
    const QString saved = m_status->text();
    m_engine->pages().linePos = 0;
    if (direction == 1 || direction == 2) {
        const auto *begin = std::begin(kZoomLevels);
        const auto *end = std::end(kZoomLevels);
        const auto *it = std::find(begin, end, m_zoom);
        if (it != end) {
            if (direction == 1 && it + 1 != end)
                ++it;
            else if (direction == 2 && it != begin)
                --it;
            m_zoom = *it;
        }
        setStatus(m_context.messages.qtext(direction == 1 ? 148 : 149) +
                  QStringLiteral(" %1 % ...").arg(m_zoom * 100, 0, 'g', 6));
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    m_toolbar->zoomBox()->setCurrentText(zoomText(m_zoom));
    m_pageArea->setBarRange(static_cast<int>(std::lround(20 * m_zoom)));
    redrawCurrentPage();
    setStatus(saved);
}

void ViewerWindow::applyZoomText(const QString &text)
{
    // Any zoom a person could mean is accepted, also one that is not a level;
    // values past these bounds would make pictures no screen can show.
    const double value = leadingNumber(toCp1252(text.section(QLatin1Char(' '), 0, 0))) / 100;
    if (!m_engine || value < 0.1 || value > 10) {
        m_toolbar->zoomBox()->setCurrentText(zoomText(m_zoom));
        return;
    }
    m_pageArea->clearLinks();
    m_zoom = value;
    zoomStep(3);
}

void ViewerWindow::drawColumnGuides()
{
    if (!m_engine || !m_context.options.designMode)
        return;
    QImage image = m_pageArea->image();
    const DocumentSettings &s = m_document->settings;
    drawGuides(image, s, m_zoom);
    m_pageArea->setImage(std::move(image));
}

bool ViewerWindow::handleKey(int key, Qt::KeyboardModifiers modifiers)
{
    QScrollBar *v = m_pageArea->verticalBar();
    switch (key) {
    case Qt::Key_E:
        if (!(modifiers & Qt::ControlModifier))
            return false;
        dispatch(QStringLiteral("edit"));
        return true;
    case Qt::Key_Escape:
        if (upper(m_context.settings.escExits) == "Y")
            close();
        return true;
    case Qt::Key_Plus:
        zoomStep(1);
        return true;
    case Qt::Key_Minus:
    case Qt::Key_Insert:
        zoomStep(2);
        return true;
    case Qt::Key_Down:
        m_pageArea->scrollVertical(1);
        return true;
    case Qt::Key_Up:
        m_pageArea->scrollVertical(-1);
        return true;
    case Qt::Key_PageDown:
        if (!v->isVisible() || v->value() == v->maximum())
            nextPage();
        else
            v->setValue(v->value() + 10 < v->maximum() ? v->value() + 10 : v->maximum());
        return true;
    case Qt::Key_PageUp:
        if (!v->isVisible() || v->value() == 0)
            previousPage();
        else
            v->setValue(v->value() - 10 > 0 ? v->value() - 10 : 0);
        return true;
    case Qt::Key_Home:
        m_pageArea->scrollHome();
        return true;
    case Qt::Key_End:
        m_pageArea->scrollEnd();
        return true;
    case Qt::Key_Left:
        m_pageArea->scrollHorizontal(-1);
        return true;
    case Qt::Key_Right:
        m_pageArea->scrollHorizontal(1);
        return true;
    default:
        return false;
    }
}

void ViewerWindow::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event->key(), event->modifiers()))
        QMainWindow::keyPressEvent(event);
}

bool ViewerWindow::eventFilter(QObject *watched, QEvent *event)
{
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
    event->accept();
}

} // namespace kel
