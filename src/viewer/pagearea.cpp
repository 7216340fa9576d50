#include "viewer/pagearea.h"

#include "app/text.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace kel {

namespace {
constexpr int kTopGap = 8;        // pixels between the area's top and the page
constexpr int kUnitsPerNotch = 2; // bar units one notch of the wheel scrolls
constexpr int kNotch = 120;       // eighths of a degree in one notch
} // namespace

class PagePicture : public QWidget
{
public:
    explicit PagePicture(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    QImage image;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        if (image.isNull())
            p.fillRect(rect(), Qt::white);
        else
            p.drawImage(0, 0, image);
    }
};

class LinkLabel : public QLabel
{
public:
    LinkLabel(QWidget *parent, QString target) : QLabel(parent), m_target(std::move(target))
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setCursor(Qt::PointingHandCursor);
    }
    std::function<void(const QString &)> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick)
            onClick(m_target);
    }

private:
    QString m_target;
};

PageArea::PageArea(QWidget *parent)
    : QWidget(parent), m_picture(new PagePicture(this)), m_vbar(new QScrollBar(Qt::Vertical, this)),
      m_hbar(new QScrollBar(Qt::Horizontal, this)), m_corner(new QWidget(this))
{
    setObjectName(QStringLiteral("pageArea"));
    m_picture->setObjectName(QStringLiteral("p1"));
    m_vbar->setObjectName(QStringLiteral("VScroll1"));
    m_hbar->setObjectName(QStringLiteral("HScroll1"));
    m_corner->setObjectName(QStringLiteral("tapita"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(212, 208, 200));
    setPalette(pal);
    m_corner->setAutoFillBackground(true);
    m_vbar->setFocusPolicy(Qt::NoFocus);
    m_hbar->setFocusPolicy(Qt::NoFocus);
    m_vbar->setPageStep(1);
    m_hbar->setPageStep(1);
    setBarRange(20);
    m_picture->installEventFilter(this);
    m_picture->setMouseTracking(false);
    m_picture->resize(0, 0);
    m_picture->hide();
    connect(m_vbar, &QScrollBar::valueChanged, this, [this] {
        if (!m_dragging)
            placePicture();
    });
    connect(m_hbar, &QScrollBar::valueChanged, this, [this] {
        if (!m_dragging)
            placePicture();
    });
}

void PageArea::setImage(QImage image)
{
    m_picture->image = std::move(image);
    m_picture->resize(m_picture->image.deviceIndependentSize().toSize());
    m_picture->show();
    relayout();
    m_picture->update();
}

const QImage &PageArea::image() const
{
    return m_picture->image;
}

void PageArea::clearImage()
{
    m_picture->image = QImage();
    m_picture->resize(0, 0);
    m_picture->hide();
    clearLinks();
    relayout();
}

void PageArea::clearLinks()
{
    const auto labels = m_picture->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    for (QLabel *l : labels)
        delete l;
}

void PageArea::addLink(const QRect &pixels, const std::string &target, bool tip)
{
    const QString text = fromCp1252(target);
    auto *label = new LinkLabel(m_picture, text);
    label->setObjectName(QStringLiteral("labellink"));
    label->setGeometry(pixels);
    if (tip)
        label->setToolTip(text);
    label->onClick = [this](const QString &t) { Q_EMIT linkActivated(t); };
    label->show();
}

int PageArea::linkCount() const
{
    return static_cast<int>(m_picture->findChildren<QLabel *>(Qt::FindDirectChildrenOnly).size());
}

void PageArea::setBarRange(int maximum)
{
    m_vbar->setRange(0, std::max(1, maximum));
    m_hbar->setRange(0, std::max(1, maximum));
    relayout();
}

QRect PageArea::viewport() const
{
    int w = width();
    int h = height();
    if (m_vbar->isVisible())
        w -= m_vbar->sizeHint().width();
    if (m_hbar->isVisible())
        h -= m_hbar->sizeHint().height();
    return QRect(0, 0, std::max(0, w), std::max(0, h));
}

void PageArea::relayout()
{
    // Which bars are needed depends on the other one's room; two rounds settle it.
    const QSize pic = m_picture->size();
    const int vw = m_vbar->sizeHint().width();
    const int hh = m_hbar->sizeHint().height();
    bool needV = pic.height() + 2 * kTopGap > height();
    bool needH = pic.width() > width() - (needV ? vw : 0);
    needV = pic.height() + 2 * kTopGap > height() - (needH ? hh : 0);
    needH = pic.width() > width() - (needV ? vw : 0);
    if (!needV)
        m_vbar->setValue(0);
    if (!needH)
        m_hbar->setValue(0);
    m_vbar->setVisible(needV);
    m_hbar->setVisible(needH);
    m_corner->setVisible(needV && needH);
    m_vbar->setGeometry(width() - vw, 0, vw, height() - (needH ? hh : 0));
    m_hbar->setGeometry(0, height() - hh, width() - (needV ? vw : 0), hh);
    m_corner->setGeometry(width() - vw, height() - hh, vw, hh);
    placePicture();
}

void PageArea::placePicture()
{
    const QRect vp = viewport();
    const QSize pic = m_picture->size();
    int left = (vp.width() - pic.width()) / 2;
    if (left < 0 || m_hbar->isVisible()) {
        const double step = double(pic.width() - vp.width()) / std::max(1, m_hbar->maximum());
        left = m_hbar->isVisible() ? -int(step * m_hbar->value()) : 0;
    }
    int top = kTopGap;
    if (m_vbar->isVisible()) {
        const double step =
            double(pic.height() + 2 * kTopGap - vp.height()) / std::max(1, m_vbar->maximum());
        top = kTopGap - int(step * m_vbar->value());
    }
    m_pos = QPoint(left, top);
    m_picture->move(m_pos);
    m_picture->lower();
}

void PageArea::syncBarsToPicture()
{
    const QRect vp = viewport();
    const QSize pic = m_picture->size();
    if (m_vbar->isVisible()) {
        const double step =
            double(pic.height() + 2 * kTopGap - vp.height()) / std::max(1, m_vbar->maximum());
        if (step > 0)
            m_vbar->setValue(int(std::lround((kTopGap - m_picture->y()) / step)));
    }
    if (m_hbar->isVisible()) {
        const double step = double(pic.width() - vp.width()) / std::max(1, m_hbar->maximum());
        if (step > 0)
            m_hbar->setValue(int(std::lround(-m_picture->x() / step)));
    }
}

bool PageArea::scrollVertical(int units)
{
    if (!m_vbar->isVisible())
        return false;
    m_vbar->setValue(std::clamp(m_vbar->value() + units, 0, m_vbar->maximum()));
    return true;
}

bool PageArea::scrollHorizontal(int units)
{
    if (!m_hbar->isVisible())
        return false;
    m_hbar->setValue(std::clamp(m_hbar->value() + units, 0, m_hbar->maximum()));
    return true;
}

void PageArea::scrollHome()
{
    m_vbar->setValue(0);
    m_hbar->setValue(0);
}

void PageArea::scrollEnd()
{
    if (m_vbar->isVisible())
        m_vbar->setValue(m_vbar->maximum());
}

QPoint PageArea::picturePosition() const
{
    return m_picture->pos();
}

QWidget *PageArea::picture() const
{
    return m_picture;
}

void PageArea::resizeEvent(QResizeEvent *)
{
    relayout();
}

void PageArea::wheelEvent(QWheelEvent *event)
{
    event->accept();
    // Touchpads send small deltas: act once a whole notch has come together.
    m_wheel += event->angleDelta();
    const int down = -m_wheel.y() / kNotch; // turning the wheel towards you scrolls down
    const int right = -m_wheel.x() / kNotch;
    m_wheel -= QPoint(-right * kNotch, -down * kNotch);
    if (event->modifiers() & Qt::ControlModifier) {
        if (down != 0)
            Q_EMIT zoomRequested(down < 0 ? 1 : -1);
        return;
    }
    if (right != 0)
        scrollHorizontal(right * kUnitsPerNotch);
    if (down == 0)
        return;
    // At the end of the bar the wheel turns the page, as Page Down and Page
    // Up do; a page that fits has no bar and turns at once.
    if (!m_vbar->isVisible() || (down > 0 && m_vbar->value() == m_vbar->maximum()) ||
        (down < 0 && m_vbar->value() == 0)) {
        Q_EMIT pageTurnRequested(down > 0 ? 1 : -1);
        return;
    }
    scrollVertical(down * kUnitsPerNotch);
}

bool PageArea::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_picture)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() == Qt::LeftButton) {
            m_dragging = true;
            m_dragStart = e->globalPosition().toPoint();
            m_dragOrigin = m_picture->pos();
            m_picture->setCursor(Qt::ClosedHandCursor);
        } else if (e->button() == Qt::RightButton) {
            Q_EMIT rightDrag(e->position());
        }
        return false;
    }
    case QEvent::MouseMove: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (m_dragging) {
            // Moves only along an axis on which the page overflows the area.
            const QPoint d = e->globalPosition().toPoint() - m_dragStart;
            QPoint p = m_dragOrigin;
            if (m_vbar->isVisible())
                p.setY(m_dragOrigin.y() + d.y());
            if (m_hbar->isVisible())
                p.setX(m_dragOrigin.x() + d.x());
            m_picture->move(p);
        } else if (e->buttons() & Qt::RightButton) {
            Q_EMIT rightDrag(e->position());
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() == Qt::LeftButton && m_dragging) {
            m_picture->unsetCursor();
            // Snap back into range, then let the bars follow the page.
            const QRect vp = viewport();
            QPoint p = m_picture->pos();
            const int minTop = std::min(kTopGap, vp.height() - m_picture->height() - kTopGap);
            p.setY(std::clamp(p.y(), minTop, kTopGap));
            if (m_hbar->isVisible())
                p.setX(std::clamp(p.x(), vp.width() - m_picture->width(), 0));
            m_picture->move(p);
            syncBarsToPicture();
            m_dragging = false;
            placePicture();
        }
        return false;
    }
    default:
        return false;
    }
}

} // namespace kel
