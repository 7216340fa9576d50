// The page picture of the viewer inside its scroll area.
//
// The picture is one page drawn at the current zoom (pixels = twips x zoom /
// 15). It sits centred when narrower than the area, else at the left edge;
// two scroll bars of 20 positions (20 x zoom after a zoom change) move it.
// Link areas are transparent labels laid over the picture. The page can be
// dragged with the left button and snaps back into range when let go.
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
    void rightDrag(const QPoint &pixels);

protected:
    void resizeEvent(QResizeEvent *event) override;
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
};

} // namespace kel
