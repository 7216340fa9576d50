// The page picture of the viewer inside its scroll area.
//
// The picture is one page drawn at the current zoom (pixels = twips x zoom /
// 15, in device-independent pixels; the image itself may hold more pixels
// for a high-density screen). It sits centred when narrower than the area,
// else at the left edge; two scroll bars of 20 positions (20 x zoom after a
// zoom change) move it. Link areas are transparent labels laid over the
// picture. The page can be dragged with the left button and snaps back into
// range when let go. The mouse wheel scrolls, and asks for the next or the
// previous page at the ends of the bar; with Ctrl it asks for a zoom step.
// Without a document the area shows no picture at all.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>

class QLabel;
class QScrollBar;

namespace kel {

class PagePicture;

class PageArea : public QWidget
{
    Q_OBJECT
public:
    explicit PageArea(QWidget *parent = nullptr);

    // The picture takes the image's device-independent size.
    void setImage(QImage image);
    const QImage &image() const;
    // Shows the picture empty (no document) at the given size in pixels.
    void clearImage();

    void clearLinks();
    // A link area in pixels of the picture; the tooltip shows the target
    // when `tip` is set.
    void addLink(const QRect &pixels, const std::string &target, bool tip);
    int linkCount() const;

    QScrollBar *verticalBar() const { return m_vbar; }
    QScrollBar *horizontalBar() const { return m_hbar; }
    // Both bars get the range 0..maximum and the picture is laid out again.
    void setBarRange(int maximum);
    // Places the bars and the picture for the current sizes.
    void relayout();

    // Key moves: bar by units when it is shown; false when the bar is hidden.
    bool scrollVertical(int units);
    bool scrollHorizontal(int units);
    void scrollHome();
    void scrollEnd();

    // The top left of the picture in the area, for tests and the drag.
    QPoint picturePosition() const;
    QWidget *picture() const;

Q_SIGNALS:
    void linkActivated(const QString &target);
    // Right button moved over the picture: pixels from its top left.
    void rightDrag(const QPointF &pixels);
    // The wheel went past the end of the bar (or the page fits): +1 for the
    // next page, -1 for the previous one.
    void pageTurnRequested(int direction);
    // Ctrl and the wheel: +1 zoom in, -1 zoom out.
    void zoomRequested(int direction);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placePicture();
    void syncBarsToPicture();
    QRect viewport() const;

    PagePicture *m_picture;
    QScrollBar *m_vbar;
    QScrollBar *m_hbar;
    QWidget *m_corner;
    bool m_dragging = false;
    QPoint m_dragStart;
    QPoint m_dragOrigin;
    QPoint m_pos;
    QPoint m_wheel; // eighths of a degree not yet turned into steps
};

} // namespace kel
