// The page bar of the toolbar, as document viewers have one: the page shown,
// which can be typed over, and "of" the last page ("+" while not known).
// Enter asks for the page typed; the window hands it to the navigator as
// "go to page" does, and shows the page status here and in the status bar
// from one text.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace kel {

class Messages;

class PageBar : public QWidget
{
    Q_OBJECT
public:
    explicit PageBar(const Messages &messages, QWidget *parent = nullptr);

    // Shows `page` of `last`; no document: empty and disabled.
    void showPage(int page, const QString &last);
    void clear();
    QLineEdit *pageBox() const { return m_page; }
    QString lastText() const;

Q_SIGNALS:
    void pageRequested(int page);

private:
    const Messages &m_messages;
    QLineEdit *m_page;
    QLabel *m_of;
    int m_shown = 0;
};

} // namespace kel
