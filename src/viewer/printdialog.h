// printersetup: the print dialog (printer, whole document or a page range,
// copies), with the checks that keep it open on a wrong value.
#pragma once

#include "printing/printjob.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace kel {

class Messages;
class Printers;
class Prompter;

class PrintDialog : public QDialog
{
    Q_OBJECT
public:
    // `currentPrinter` is shown first; the installed printers follow.
    PrintDialog(const Messages &messages, Prompter &prompter, const Printers &printers,
                const std::string &currentPrinter, int currentPage, QWidget *parent = nullptr);

    // Valid after the dialog was accepted.
    const PrintRequest &request() const { return m_request; }

    // The print button's checks, as a click runs them (for tests too):
    // true when the request is valid and the dialog closed.
    bool tryAccept();

    QComboBox *printerBox() const { return m_printer; }
    QCheckBox *allPagesBox() const { return m_all; }
    QLineEdit *fromField() const { return m_from; }
    QLineEdit *toField() const { return m_to; }
    QLineEdit *copiesField() const { return m_copies; }

private:
    const Messages &m_messages;
    Prompter &m_prompter;
    const Printers &m_printers;
    QComboBox *m_printer;
    QCheckBox *m_all;
    QLineEdit *m_from;
    QLineEdit *m_to;
    QLineEdit *m_copies;
    PrintRequest m_request;
};

} // namespace kel
