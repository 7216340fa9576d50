#include "viewer/pagebar.h"

#include "app/messages.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

namespace kel {

PageBar::PageBar(const Messages &messages, QWidget *parent)
    : QWidget(parent), m_messages(messages), m_page(new QLineEdit(this)), m_of(new QLabel(this))
{
    setObjectName(QStringLiteral("pagebar"));
    m_page->setObjectName(QStringLiteral("page"));
    m_page->setAlignment(Qt::AlignRight);
    m_page->setValidator(new QIntValidator(1, 9999999, m_page));
    m_page->setMaximumWidth(m_page->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) +
                            12);
    m_of->setObjectName(QStringLiteral("of"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(m_page);
    layout->addWidget(m_of);
    connect(m_page, &QLineEdit::returnPressed, this, [this] {
        const int page = m_page->text().toInt();
        if (page >= 1)
            Q_EMIT pageRequested(page);
        else
            m_page->setText(QString::number(m_shown));
    });
    clear();
}

void PageBar::showPage(int page, const QString &last)
{
    m_shown = page;
    m_page->setText(QString::number(page));
    m_of->setText(m_messages.qtext(152) + QLatin1Char(' ') + last);
    setEnabled(true);
}

void PageBar::clear()
{
    m_shown = 0;
    m_page->clear();
    m_of->setText(m_messages.qtext(152) + QStringLiteral(" -"));
    setEnabled(false);
}

QString PageBar::lastText() const
{
    return m_of->text();
}

} // namespace kel
