#include "viewer/dialogs.h"

#include "app/messages.h"
#include "app/text.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace kel {

QString dialogFilter(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        QString name = parts[i];
        const int paren = name.indexOf(QLatin1Char('('));
        if (paren >= 0)
            name = name.left(paren).trimmed();
        filters << name + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.isEmpty() ? pairs : filters.join(QStringLiteral(";;"));
}

GoToDialog::GoToDialog(const Messages &messages, int lastPage, QWidget *parent)
    : QDialog(parent), m_text(new QLineEdit(this))
{
    setObjectName(QStringLiteral("gotopage"));
    setWindowTitle(messages.qtext(120));
    m_text->setObjectName(QStringLiteral("Text1"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(messages.qtext(121), this));
    layout->addWidget(m_text);
    // The pages there are, so that nobody has to guess.
    auto *range = new QLabel(messages.qtext(394) + QStringLiteral(" 1 - %1").arg(lastPage), this);
    range->setObjectName(QStringLiteral("range"));
    layout->addWidget(range);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) * 2 + 120);
}

double GoToDialog::value() const
{
    const double v = leadingNumber(toCp1252(m_text->text()));
    return v > 0 ? v : 0;
}

AboutDialog::AboutDialog(const Messages &messages, const QString &programFolder,
                         std::function<void()> onHelp, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(messages.qtext(0));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("Kel Printing System 2.2. "), this);
    QFont f = title->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title);
    const QString logo = programFolder + QStringLiteral("/dist.bmp");
    if (QFile::exists(logo)) {
        auto *picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("distlogo"));
        picture->setPixmap(QPixmap(logo));
        layout->addWidget(picture);
    }
    QFile dist(programFolder + QStringLiteral("/dist.txt"));
    if (dist.open(QIODevice::ReadOnly)) {
        const QByteArray line = dist.readLine().trimmed();
        auto *text = new QLabel(
            QStringLiteral("Distribuited by ") +
                fromCp1252(std::string_view(line.constData(), static_cast<size_t>(line.size()))),
            this);
        text->setObjectName(QStringLiteral("distcomp"));
        layout->addWidget(text);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close | QDialogButtonBox::Help, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [onHelp = std::move(onHelp)] {
        if (onHelp)
            onHelp();
    });
    layout->addWidget(buttons);
}

HelpWindow::HelpWindow(const QString &markdown, const QString &title, QWidget *parent)
    : QDialog(parent), m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("help"));
    setWindowTitle(title);
    m_browser->setObjectName(QStringLiteral("helpText"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setMarkdown(markdown);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 640);
}

QString HelpWindow::plainText() const
{
    return m_browser->toPlainText();
}

bool showHelpPage(const std::string &helpFile, const QString &title, QWidget *parent)
{
    std::string text;
    if (!readFile(helpFile, text))
        return false;
    // Beside the report, not in front of it: the help stays open while the
    // user tries what it says.
    auto *help = new HelpWindow(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                                title, parent);
    help->setAttribute(Qt::WA_DeleteOnClose);
    help->show();
    return true;
}

} // namespace kel
