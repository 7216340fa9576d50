#include "transfer/widgets/connectdialog.h"

#include "app/text.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kel {

ConnectDialog::ConnectDialog(QWidget *parent)
    : QDialog(parent), m_host(new QLineEdit(this)), m_user(new QLineEdit(this)),
      m_password(new QLineEdit(this)), m_folder(new QLineEdit(this)), m_file(new QLineEdit(this))
{
    setWindowTitle(tr("Define a connection"));
    m_host->setObjectName(QStringLiteral("host"));
    m_host->setPlaceholderText(tr("ftp.example.com or 10.0.0.5:2121"));
    m_user->setObjectName(QStringLiteral("user"));
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_folder->setObjectName(QStringLiteral("folder"));
    m_folder->setPlaceholderText(tr("incoming or /srv/ftp/incoming"));
    m_file->setObjectName(QStringLiteral("file"));

    auto *browse = new QPushButton(tr("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, [this] { this->browse(); });
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);

    auto *form = new QFormLayout;
    form->addRow(tr("FTP server:"), m_host);
    form->addRow(tr("User name:"), m_user);
    form->addRow(tr("Password:"), m_password);
    form->addRow(tr("Remote folder:"), m_folder);
    form->addRow(tr("Connection file:"), fileRow);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Close, this);
    connect(buttons->button(QDialogButtonBox::Save), &QPushButton::clicked, this,
            [this] { saveClicked(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

Connection ConnectDialog::connection() const
{
    return {toCp1252(m_host->text().trimmed()), toCp1252(m_user->text()),
            toCp1252(m_password->text()), toCp1252(m_folder->text().trimmed())};
}

void ConnectDialog::setConnection(const Connection &c)
{
    m_host->setText(fromCp1252(c.host));
    m_user->setText(fromCp1252(c.user));
    m_password->setText(fromCp1252(c.password));
    m_folder->setText(fromCp1252(c.folder));
}

QString ConnectDialog::fileName() const
{
    return m_file->text();
}

void ConnectDialog::setFileName(const QString &name)
{
    m_file->setText(name);
}

Result<std::string> ConnectDialog::save()
{
    const Connection c = connection();
    if (c.host.empty())
        return refusal(kNoMessage, "Enter the FTP server.");
    const std::string name = m_file->text().trimmed().toStdString();
    if (name.empty())
        return refusal(kNoMessage, "Enter the name of the connection file.");
    const std::string path = connectionFileName(name);
    if (Status written = writeConnectionFile(path, c); !written)
        return written.refusal();
    return path;
}

void ConnectDialog::browse()
{
    const QString start = m_file->text().isEmpty() ? QDir::homePath() : m_file->text();
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Connection file"), start,
                                                        tr("Connection files (*.cnx)"));
    if (!chosen.isEmpty())
        m_file->setText(chosen);
}

void ConnectDialog::saveClicked()
{
    const Result<std::string> saved = save();
    if (saved) {
        QMessageBox::information(
            this, windowTitle(),
            tr("Connection file written: %1").arg(QString::fromStdString(*saved)));
    } else {
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(saved.refusal().detail));
    }
}

} // namespace kel
