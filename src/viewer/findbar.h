// The find bar under the page, as document viewers have one: the text, the
// two ticks of find_form (match case, start at the first page), Find and
// Close. Enter finds; Enter again with the same text finds the next page,
// as "find again" does. The bar only asks: the window hands the request to
// the navigator and shows what it answers.
#pragma once

#include "render/navigator.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;

namespace kel {

class Messages;

class FindBar : public QWidget
{
    Q_OBJECT
public:
    explicit FindBar(const Messages &messages, QWidget *parent = nullptr);

    // Shows the bar with `text` selected and the focus in it.
    void open(const QString &text);
    QLineEdit *textBox() const { return m_text; }
    FindOptions options() const;

Q_SIGNALS:
    // A new search for `text`, or the next page of the last one.
    void findRequested(const QString &text, FindOptions options);
    void findAgainRequested();
    void closed();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void submit();

    QLineEdit *m_text;
    QCheckBox *m_matchCase;
    QCheckBox *m_firstPage;
    QString m_searched; // the text of the last search the bar asked for
};

} // namespace kel
