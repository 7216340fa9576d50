// The viewer's printing, export, save and mail commands.
#include "app/folders.h"
#include "app/instances.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "documents/export.h"
#include "documents/opening.h"
#include "documents/packed.h"
#include "printing/printers.h"
#include "printing/printjob.h"
#include "render/pagewalk.h"
#include "viewer/dialogs.h"
#include "viewer/mail.h"
#include "viewer/pagearea.h"
#include "viewer/printdialog.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <filesystem>

namespace kel {

const std::string &ViewerWindow::currentPrinter()
{
    if (m_printerName.empty())
        m_printerName = m_printers.defaultPrinter();
    return m_printerName;
}

void ViewerWindow::printWholeDocument()
{
    if (!m_engine)
        return;
    if (!allowedByDocument(ButtonNeeds::PrintAllowed))
        return;
    PrintRequest request;
    request.printer = currentPrinter();
    runPrintJob(request);
}

void ViewerWindow::printSetupCommand()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    if (upper(m_document->settings.printAllowed) == "N") {
        m_context.prompter.notice(150, m.qtext(150), m.qtext(140));
        return;
    }
    PrintDialog dialog(m, m_context.prompter, m_printers, currentPrinter(), currentPage(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    print(dialog.request());
}

void ViewerWindow::print(const PrintRequest &request)
{
    if (!m_engine)
        return;
    m_printerName = request.printer;
    runPrintJob(request);
}

void ViewerWindow::runPrintJob(const PrintRequest &request)
{
    const Messages &m = m_context.messages;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    PrintProgress progress;
    progress.pageDone = [this, &m](int page) {
        setStatus(m.qtext(93) + QLatin1Char(' ') + m.qtext(151) + QLatin1Char(' ') +
                  QString::number(page) + QLatin1Char(' ') + m.qtext(152) + QLatin1Char(' ') +
                  QString::fromStdString(m_engine->pages().lastPageText()));
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    const Result<PrintReport> printed = printDocument(*m_engine, request, m_printers, progress);
    QApplication::restoreOverrideCursor();
    if (printed) {
        setStatus(m.qtext(168) + QLatin1Char(' ') + QString::number(currentPage()) +
                  QLatin1Char(' ') + m.qtext(152) + QLatin1Char(' ') +
                  QString::fromStdString(m_engine->pages().lastPageText()));
    } else {
        // The printer's own words, when it gave any, go under the message.
        const Refusal &r = printed.refusal();
        const int title = r.message == 154   ? (request.allPages ? 169 : 140)
                          : r.message == 133 ? 122
                                             : 140;
        m_context.prompter.error(
            r.message, m.qtext(r.message) + QStringLiteral("\n") + QString::fromStdString(r.detail),
            m.qtext(title));
    }
    redrawCurrentPage();
    enableDocumentCommands();
}

void ViewerWindow::exportCommand()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    if (!allowedByDocument(ButtonNeeds::ExportAllowed))
        return;
    QFileDialog dialog(this, m.qtext(157), dialogFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(dialogFilter(m.qtext(156)).split(QStringLiteral(";;")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    // A name typed without a type gets the text file's.
    QString chosen = dialog.selectedFiles().front();
    if (QFileInfo(chosen).suffix().isEmpty())
        chosen += QStringLiteral(".txt");
    exportTo(chosen.toStdString());
}

bool ViewerWindow::exportTo(const std::string &path)
{
    if (!m_engine)
        return false;
    const Messages &m = m_context.messages;
    if (!allowedByDocument(ButtonNeeds::ExportAllowed))
        return false;
    if (isFileUnwritable(path)) {
        m_context.prompter.error(158, m.qtext(158), m.qtext(140));
        return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString saved = statusText();
    setStatus(m.qtext(159));
    const DocumentSettings &s = m_document->settings;
    const int64_t lines = std::max<int64_t>(1, countLines(s.workingPath));
    const double scale = lines > 1000000 ? double(lines) / 1000000 : 1;
    m_progress->setRange(0, static_cast<int>(double(lines) / scale));
    m_progress->setValue(0);
    m_progress->show();
    std::string error;
    const bool ok = exportReport(
        s.workingPath, path, s.openDelimiter, s.closeDelimiter, m_context.folders.temp,
        [this, scale](int64_t line) {
            m_progress->setValue(static_cast<int>(double(line) / scale));
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        },
        error);
    m_progress->hide();
    setStatus(saved);
    QApplication::restoreOverrideCursor();
    if (!ok)
        m_context.prompter.error(
            158, m.qtext(158) + QStringLiteral("\n") + QString::fromStdString(error), m.qtext(140));
    return ok;
}

void ViewerWindow::saveCommand()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    if (!allowedByDocument(ButtonNeeds::SaveAllowed))
        return;
    QFileDialog dialog(this, m.qtext(164), dialogFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList types = dialogFilter(m.qtext(287)).split(QStringLiteral(";;"));
    dialog.setNameFilters(types);
    // The overwrite question is the system's own (message 165).
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    static constexpr SaveForm forms[] = {SaveForm::Report, SaveForm::PackedReport,
                                         SaveForm::PagePicture};
    const auto formOf = [&types](const QString &type) {
        return forms[std::clamp<qsizetype>(types.indexOf(type), 0, 2)];
    };
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const SaveForm form = formOf(dialog.selectedNameFilter());
    saveAs(withFormExtension(dialog.selectedFiles().front(), form).toStdString(), form);
}

QString withFormExtension(const QString &path, SaveForm form)
{
    // A picture never lands in a file named as a report (opening it again
    // would end the program), nor a report under a listing's name (it would
    // be converted as one). A packed report gains ".Kel" when packed.
    const auto endsWith = [&path](const char *suffix) {
        return path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
    };
    switch (form) {
    case SaveForm::Report:
        return endsWith(".kel") ? path : path + QStringLiteral(".kel");
    case SaveForm::PackedReport:
        return path;
    case SaveForm::PagePicture:
        return endsWith(".bmp") || endsWith(".png") ? path : path + QStringLiteral(".bmp");
    }
    return path;
}

bool ViewerWindow::saveAs(const std::string &path, SaveForm form)
{
    if (!m_engine)
        return false;
    const Messages &m = m_context.messages;
    if (!allowedByDocument(ButtonNeeds::SaveAllowed))
        return false;
    if (fileExists(path) && !m_context.prompter.askYesNo(
                                165, QString::fromStdString(path) + QLatin1Char(' ') + m.qtext(165),
                                m.qtext(140), PromptIcon::Question, false))
        return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString saved = statusText();
    setStatus(m.qtext(166));
    // What went wrong, in the system's or the library's own words, goes
    // under message 170.
    std::string detail;
    if (form == SaveForm::Report) {
        std::error_code ec;
        std::filesystem::copy_file(m_document->settings.workingPath, path,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec)
            detail = path + ": " + ec.message();
    } else if (form == SaveForm::PackedReport) {
        const PackResult packed =
            packCurrentReport(*m_document, path, m_engine->pictureFolder(), m_context.folders);
        if (!packed.ok())
            detail = packed.detail.empty() ? path : packed.detail;
    } else {
        QString target = QString::fromStdString(path);
        const char *format =
            target.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? "PNG" : "BMP";
        if (!m_pageArea->image().save(target, format))
            detail = path + ": the picture cannot be written";
    }
    setStatus(saved);
    QApplication::restoreOverrideCursor();
    if (!detail.empty()) {
        m_context.prompter.error(170, m.qtext(170) + QStringLiteral("\n\n") + fromCp1252(detail),
                                 m.qtext(140));
        return false;
    }
    return true;
}

void ViewerWindow::sendByMail()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    const std::string given = m_document->settings.givenPath;
    const std::string name = std::string(lastField(given, '/'));
    const PackResult packed = packCurrentReport(*m_document, m_context.folders.inTemp(name),
                                                m_engine->pictureFolder(), m_context.folders);
    if (!packed.ok()) {
        m_context.prompter.error(packed.message,
                                 m.qtext(packed.message) + QStringLiteral("\n\n") +
                                     fromCp1252(packed.detail),
                                 m.qtext(0));
        return;
    }
    if (m_context.instance)
        m_context.instance->record({packed.path});
    const QString body = QStringLiteral("\r\n\r\n\r\n") + m.qtext(268);
    switch (composeMail(windowTitle(), body, QString::fromStdString(packed.path))) {
    case MailOutcome::NoMailProgram:
        m_context.prompter.error(317, m.qtext(317), m.qtext(0));
        break;
    case MailOutcome::Failed:
        m_context.prompter.error(288, m.qtext(288), m.qtext(0));
        break;
    case MailOutcome::Composed:
        break;
    }
}

} // namespace kel
