#include "viewer/findbar.h"

#include "app/messages.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kel {

FindBar::FindBar(const Messages &messages, QWidget *parent)
    : QWidget(parent), m_text(new QLineEdit(this)),
      m_matchCase(new QCheckBox(messages.qtext(7), this)),
      m_firstPage(new QCheckBox(messages.qtext(8), this))
{
    setObjectName(QStringLiteral("find_form"));
    m_text->setObjectName(QStringLiteral("Text1"));
    m_matchCase->setObjectName(QStringLiteral("Check1"));
    m_firstPage->setObjectName(QStringLiteral("Check2"));
    auto *find = new QPushButton(messages.qtext(9), this);
    find->setObjectName(QStringLiteral("Command1"));
    auto *close = new QPushButton(messages.qtext(10), this);
    close->setObjectName(QStringLiteral("Command2"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    auto *label = new QLabel(messages.qtext(6), this);
    label->setBuddy(m_text);
    layout->addWidget(label);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_matchCase);
    layout->addWidget(m_firstPage);
    layout->addWidget(find);
    layout->addWidget(close);
    connect(m_text, &QLineEdit::returnPressed, this, &FindBar::submit);
    connect(find, &QPushButton::clicked, this, &FindBar::submit);
    connect(close, &QPushButton::clicked, this, [this] {
        hide();
        Q_EMIT closed();
    });
    // A changed tick is a new search, not the next page of the last one.
    connect(m_matchCase, &QCheckBox::toggled, this, [this] { m_searched.clear(); });
    connect(m_firstPage, &QCheckBox::toggled, this, [this] { m_searched.clear(); });
    hide();
}

void FindBar::open(const QString &text)
{
    if (m_text->text().isEmpty())
        m_text->setText(text);
    show();
    m_text->setFocus();
    m_text->selectAll();
}

FindOptions FindBar::options() const
{
    return {m_matchCase->isChecked() ? MatchCase::Yes : MatchCase::No,
            m_firstPage->isChecked() ? FindFrom::FirstPage : FindFrom::PageShown};
}

void FindBar::submit()
{
    const QString text = m_text->text();
    if (text.isEmpty())
        return;
    if (text == m_searched) {
        Q_EMIT findAgainRequested();
        return;
    }
    m_searched = text;
    Q_EMIT findRequested(text, options());
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        Q_EMIT closed();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kel
