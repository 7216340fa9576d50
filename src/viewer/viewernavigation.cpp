// The viewer's page moves, find, zoom and keys. Where to go is the
// navigator's answer; the window draws the page it names and shows its
// messages and the page status.
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "documents/opening.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"
#include "render/screenpage.h"
#include "viewer/busycursor.h"
#include "viewer/pagearea.h"
#include "viewer/pagebar.h"
#include "viewer/viewerwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <climits>
#include <cmath>

namespace kel {

void ViewerWindow::nextPage()
{
    if (m_navigator && m_navigator->next().showsPage())
        showTurnedPage();
}

void ViewerWindow::previousPage()
{
    if (m_navigator && m_navigator->previous().showsPage())
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
    if (!m_navigator)
        return;
    BusyCursor busy;
    m_pageArea->scrollHome();
    drawPage(m_navigator->first().page);
    showPageStatus();
}

void ViewerWindow::lastPage()
{
    if (!m_navigator)
        return;
    BusyCursor busy;
    drawPage(m_navigator->last().page);
    showPageStatus();
    enableDocumentCommands();
}

void ViewerWindow::goToPage(double n)
{
    if (!m_navigator)
        return;
    m_zoom = 1;
    showZoom(1);
    m_pageArea->setBarRange(20);
    BusyCursor busy;
    const Navigation to = m_navigator->goTo(n >= 1 && n <= INT_MAX ? static_cast<int>(n) : 0);
    if (to.message == 167) {
        const Messages &m = m_context.messages;
        m_context.prompter.notice(
            167, m.qtext(167) + QLatin1Char(' ') + QString::number(m_engine->pages().lastPage()),
            m.qtext(140));
    } else {
        m_pageArea->scrollHome();
    }
    drawPage(to.page);
    showPageStatus();
    enableDocumentCommands();
}

void ViewerWindow::pageBarRequest(int page)
{
    if (!m_navigator)
        return;
    m_context.commands.setStartedByCommand(true);
    BusyCursor busy;
    const Navigation to = m_navigator->goTo(page);
    if (to.message == 167) {
        const Messages &m = m_context.messages;
        m_context.prompter.notice(
            167, m.qtext(167) + QLatin1Char(' ') + QString::number(m_engine->pages().lastPage()),
            m.qtext(140));
    }
    m_pageArea->scrollHome();
    drawPage(to.page);
    showPageStatus();
    enableDocumentCommands();
}

void ViewerWindow::find(const QString &text, FindOptions options)
{
    if (!m_navigator)
        return;
    BusyCursor busy;
    showNavigation(m_navigator->find(toCp1252(text), options));
}

void ViewerWindow::findAgain()
{
    if (!m_navigator || !m_find.active())
        return;
    BusyCursor busy;
    // "Find again" starts with the bars at the top, found or not.
    m_pageArea->scrollHome();
    showNavigation(m_navigator->findAgain());
}

void ViewerWindow::showNavigation(const Navigation &navigation)
{
    if (navigation.message == 280) {
        const Messages &m = m_context.messages;
        m_context.prompter.show({280, m.qtext(280), m.qtext(140), PromptIcon::Exclamation,
                                 PromptButtons::Ok, Answer::Ok});
    }
    if (navigation.showsPage()) {
        m_pageArea->scrollHome();
        drawPage(navigation.page);
    }
    showPageStatus();
    enableDocumentCommands();
}

void ViewerWindow::zoomStep(ZoomStep step)
{
    if (!m_engine)
        return;
    if ((step == ZoomStep::In && m_zoom == 3) || (step == ZoomStep::Out && m_zoom == 0.25))
        return;
    BusyCursor busy;
    const QString saved = m_status->text();
    const StatusKind savedKind = m_statusKind;
    m_engine->pages().linePos = 0;
    if (step != ZoomStep::Apply) {
        // A zoom that is not one of the levels stays until a level is chosen.
        const auto *begin = std::begin(kZoomLevels);
        const auto *end = std::end(kZoomLevels);
        const auto *it = std::find(begin, end, m_zoom);
        if (it != end) {
            if (step == ZoomStep::In && it + 1 != end)
                ++it;
            else if (step == ZoomStep::Out && it != begin)
                --it;
            m_zoom = *it;
        }
        setStatus(m_context.messages.qtext(step == ZoomStep::In ? 148 : 149) +
                  QStringLiteral(" %1 % ...").arg(m_zoom * 100, 0, 'g', 6));
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    showZoom(m_zoom);
    m_pageArea->setBarRange(static_cast<int>(std::lround(20 * m_zoom)));
    redrawCurrentPage();
    setStatus(saved);
    m_statusKind = savedKind;
}

void ViewerWindow::applyZoomText(const QString &text)
{
    // Any zoom a person could mean is accepted, also one that is not a level;
    // values past these bounds would make pictures no screen can show.
    const double value = leadingNumber(toCp1252(text.section(QLatin1Char(' '), 0, 0))) / 100;
    if (!m_engine || value < 0.1 || value > 10) {
        showZoom(m_zoom);
        return;
    }
    m_pageArea->clearLinks();
    m_zoom = value;
    zoomStep(ZoomStep::Apply);
}

void ViewerWindow::showZoom(double zoom)
{
    QComboBox *box = m_toolbar->zoomBox();
    const QString text = zoomText(zoom);
    box->setCurrentIndex(box->findText(text));
    box->setEditText(text);
}

void ViewerWindow::applyZoom(double zoom)
{
    if (!m_engine)
        return;
    // Whole tenths of a percent, so the zoom box reads cleanly.
    m_pageArea->clearLinks();
    m_zoom = std::clamp(std::floor(zoom * 1000) / 1000, 0.1, 10.0);
    zoomStep(ZoomStep::Apply);
}

void ViewerWindow::fitWidth()
{
    if (!m_engine)
        return;
    // A page fitted to its width is taller than the area: leave room for
    // the vertical bar.
    const int room = m_pageArea->width() - m_pageArea->verticalBar()->sizeHint().width() - 4;
    applyZoom(room * kTwipsPerPixel / m_document->settings.pageWidth);
}

void ViewerWindow::fitPage()
{
    if (!m_engine)
        return;
    const DocumentSettings &s = m_document->settings;
    const double across = (m_pageArea->width() - 4) * kTwipsPerPixel / s.pageWidth;
    const double down = (m_pageArea->height() - 20) * kTwipsPerPixel / s.pageLength;
    applyZoom(std::min(across, down));
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

// The keys of desktop document viewers, beside the system's own. Each
// names the button whose command it runs, so that a button hidden by an
// option letter, or disabled, takes its key with it.
struct ViewerWindow::Shortcut
{
    QKeyCombination keys;
    const char *button;
    void (ViewerWindow::*run)(); // null: the button's own command
};

const std::vector<ViewerWindow::Shortcut> &ViewerWindow::shortcuts()
{
    using W = ViewerWindow;
    static const std::vector<Shortcut> table = {
        {Qt::CTRL | Qt::Key_F, "findtext", nullptr},
        {QKeyCombination(Qt::Key_F3), "findagain", nullptr},
        {Qt::CTRL | Qt::Key_O, "abrir", nullptr},
        {Qt::CTRL | Qt::Key_P, "sysprint", nullptr},
        {Qt::CTRL | Qt::Key_S, "salvar", nullptr},
        {Qt::CTRL | Qt::Key_Q, "salir", nullptr},
        {Qt::CTRL | Qt::Key_W, "salir", nullptr},
        {Qt::CTRL | Qt::Key_Home, "back01", nullptr},
        {Qt::CTRL | Qt::Key_End, "for02", nullptr},
        {Qt::CTRL | Qt::Key_Plus, "acerca", nullptr},
        {Qt::CTRL | Qt::Key_Equal, "acerca", nullptr},
        {Qt::CTRL | Qt::Key_Minus, "aleja", nullptr},
        {Qt::CTRL | Qt::Key_0, "CSize", &W::zoomActualSize},
        {QKeyCombination(Qt::Key_W), "fitwidth", nullptr},
        {QKeyCombination(Qt::Key_F), "fitpage", nullptr},
        {QKeyCombination(Qt::Key_F1), "about", &W::helpCommand},
    };
    return table;
}

bool ViewerWindow::handleShortcut(int key, Qt::KeyboardModifiers modifiers)
{
    // Shift is how "+" is typed on many keyboards; it names no other key here.
    const Qt::KeyboardModifiers mods = modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    for (const Shortcut &s : shortcuts()) {
        if (s.keys.key() != key || s.keys.keyboardModifiers() != mods)
            continue;
        const QAction *button = m_toolbar->button(s.button);
        if (!button || !button->isVisible() || !button->isEnabled())
            return false;
        if (s.run)
            (this->*s.run)();
        else
            dispatch(QString::fromLatin1(s.button));
        return true;
    }
    return false;
}

void ViewerWindow::showShortcutsInTooltips()
{
    // A button's tooltip names the first key that runs its own command; a
    // key that runs something else (Ctrl+0, F1) is not the button's.
    for (const Shortcut &s : shortcuts()) {
        if (!s.run)
            m_toolbar->showShortcut(s.button,
                                    QKeySequence(s.keys).toString(QKeySequence::NativeText));
    }
}

bool ViewerWindow::handleKeyEvent(QKeyEvent *event)
{
    if (handleShortcut(event->key(), event->modifiers()) ||
        handleKey(event->key(), event->modifiers()))
        return true;
    // The key handler hears the codes of the characters typed as well, and
    // these characters share their code with one of its keys.
    static const std::pair<char, int> sharing[] = {
        {'(', Qt::Key_Down}, {'&', Qt::Key_Up},  {'"', Qt::Key_PageDown}, {'!', Qt::Key_PageUp},
        {'$', Qt::Key_Home}, {'#', Qt::Key_End}, {'%', Qt::Key_Left},     {'\'', Qt::Key_Right},
    };
    const QString text = event->text();
    if (text.size() != 1)
        return false;
    for (const auto &[c, key] : sharing) {
        if (text[0] == QLatin1Char(c))
            return handleKey(key, Qt::NoModifier);
    }
    return false;
}

bool ViewerWindow::zoomBoxKey(QKeyEvent *event)
{
    // The box keeps what a zoom is typed with; "c" applies it, as Enter
    // does; every other key reaches the key handler as over the page.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Backspace ||
        key == Qt::Key_Tab || key == Qt::Key_Backtab)
        return false;
    const QString text = event->text();
    if (text.size() == 1 && (text[0].isDigit() || text[0] == QLatin1Char('%')))
        return false;
    if (text == QLatin1String("c") || text == QLatin1String("C")) {
        applyZoomText(m_toolbar->zoomBox()->currentText());
        return true;
    }
    handleKeyEvent(event);
    return true;
}

void ViewerWindow::startPageCount()
{
    if (m_navigator && !m_navigator->countSettled())
        m_countTimer.start();
}

bool ViewerWindow::pageCountSettled() const
{
    return m_navigator && m_navigator->countSettled();
}

void ViewerWindow::countSlice()
{
    // A few hundred pages a slice keep the window answering between them.
    constexpr int kPagesPerSlice = 200;
    if (!m_navigator) {
        m_countTimer.stop();
        return;
    }
    // A command under way (the busy pointer) may let events through between
    // its pages: the count waits for it, without spinning meanwhile.
    if (QApplication::overrideCursor()) {
        m_countTimer.setInterval(50);
        return;
    }
    m_countTimer.setInterval(0);
    if (!m_navigator->countSome(kPagesPerSlice))
        return;
    m_countTimer.stop();
    m_pageBar->showPage(currentPage(), QString::fromStdString(m_engine->pages().lastPageText()));
    if (m_statusKind == StatusKind::Loaded)
        showLoadedStatus();
    else if (m_statusKind == StatusKind::PageOf)
        showPageStatus();
    enableDocumentCommands();
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
        zoomStep(ZoomStep::In);
        return true;
    case Qt::Key_Minus:
    case Qt::Key_Insert:
        zoomStep(ZoomStep::Out);
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
    if (!handleKeyEvent(event))
        QMainWindow::keyPressEvent(event);
}

} // namespace kel
