#include "viewer/printdialog.h"

#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "printing/printers.h"
#include "render/pagestate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace kel {

namespace {

double fieldNumber(const QLineEdit *field)
{
    return leadingNumber(toCp1252(field->text()));
}

} // namespace

PrintDialog::PrintDialog(const Messages &messages, Prompter &prompter, const Printers &printers,
                         const std::string &currentPrinter, int currentPage, QWidget *parent)
    : QDialog(parent), m_messages(messages), m_prompter(prompter), m_printers(printers),
      m_printer(new QComboBox(this)), m_all(new QCheckBox(messages.qtext(126), this)),
      m_from(new QLineEdit(this)), m_to(new QLineEdit(this)),
      m_copies(new QLineEdit(QStringLiteral("1"), this))
{
    setObjectName(QStringLiteral("printersetup"));
    setWindowTitle(messages.qtext(122));
    m_printer->setObjectName(QStringLiteral("Combo1"));
    m_printer->setEditable(true); // "pdf:FOLDER" can be typed
    m_all->setObjectName(QStringLiteral("Check1"));
    m_from->setObjectName(QStringLiteral("pagefrom"));
    m_to->setObjectName(QStringLiteral("pageto"));
    m_copies->setObjectName(QStringLiteral("Text1"));

    auto *layout = new QVBoxLayout(this);
    auto *printerFrame = new QGroupBox(messages.qtext(123), this);
    auto *printerForm = new QFormLayout(printerFrame);
    printerForm->addRow(messages.qtext(124), m_printer);
    printerForm->addRow(messages.qtext(125), m_copies);
    layout->addWidget(printerFrame);
    auto *rangeFrame = new QGroupBox(this);
    auto *rangeForm = new QFormLayout(rangeFrame);
    rangeForm->addRow(m_all);
    rangeForm->addRow(messages.qtext(127), m_from);
    rangeForm->addRow(messages.qtext(128), m_to);
    layout->addWidget(rangeFrame);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *print = buttons->addButton(messages.qtext(129), QDialogButtonBox::AcceptRole);
    print->setObjectName(QStringLiteral("imprimir"));
    print->setDefault(true);
    buttons->addButton(messages.qtext(10), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("salir"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { tryAccept(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_from->setText(QString::number(currentPage));
    m_to->setText(QString::number(currentPage));
    m_all->setChecked(true);
    m_from->setEnabled(false);
    m_to->setEnabled(false);
    connect(m_all, &QCheckBox::toggled, this, [this](bool all) {
        m_from->setEnabled(!all);
        m_to->setEnabled(!all);
        if (!all)
            m_from->setFocus();
    });

    // One list of the print system's queues for the life of the dialog.
    m_printers.refresh(Printers::kDialogWait);
    bool available = false;
    const std::vector<std::string> names = m_printers.installed(&available);
    m_printer->addItem(QString::fromStdString(currentPrinter));
    for (const std::string &p : names) {
        if (p != currentPrinter)
            m_printer->addItem(QString::fromStdString(p));
    }
    m_printer->setCurrentIndex(0);
    if (!available)
        m_prompter.error(130, messages.qtext(130), messages.qtext(131));
}

bool PrintDialog::tryAccept()
{
    const double from = fieldNumber(m_from);
    const double to = fieldNumber(m_to);
    const double copies = fieldNumber(m_copies);
    // Any page up to the last can be printed; the job refuses a range beyond
    // the document (153). Beyond this a number is no page number at all.
    if (to > PageState::kMaxPages || from > to) {
        m_prompter.error(132, m_messages.qtext(132), m_messages.qtext(122));
        m_to->setFocus();
        m_to->selectAll();
        return false;
    }
    if (copies < 1) {
        m_prompter.error(132, m_messages.qtext(132), m_messages.qtext(122));
        m_copies->setFocus();
        m_copies->selectAll();
        return false;
    }
    // Pages below 1 become 0, which the job refuses (153) as it refused
    // them before; no number is cast out of the range of int.
    m_request.from = static_cast<int>(std::max(from, 0.0));
    m_request.to = static_cast<int>(std::max(to, 0.0));
    m_request.copies = static_cast<int>(std::min(copies, 999.0));
    m_request.allPages = m_all->isChecked();
    m_request.printer = m_printer->currentText().toStdString();
    if (!m_printers.exists(m_request.printer)) {
        m_prompter.error(133, m_messages.qtext(133), m_messages.qtext(122));
        reject();
        return false;
    }
    accept();
    return true;
}

} // namespace kel
