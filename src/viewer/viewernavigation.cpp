// The viewer's page moves, find, zoom and keys. Where to go is the
// navigator's answer; the window draws the page it names and shows its
// messages and the page status.
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "documents/opening.h"
#include "render/pagewalk.h"
#include "render/screenpage.h"
#include "viewer/busycursor.h"
#include "viewer/pagearea.h"
#include "viewer/viewerwindow.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <climits>

namespace kel {

namespace {

QString zoomText(double zoom)
{
    return QString::number(zoom * 100, 'g', 6) + QStringLiteral(" %");
}

} // namespace

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
    m_toolbar->zoomBox()->setCurrentText(zoomText(1));
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
    zoomStep(ZoomStep::Apply);
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
    if (!handleKey(event->key(), event->modifiers()))
        QMainWindow::keyPressEvent(event);
}

} // namespace kel
