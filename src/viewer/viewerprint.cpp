// The viewer's printing, export, save and mail commands.
#include "app/folders.h"
#include "app/instances.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "documents/export.h"
#include "documents/opening.h"
#include "documents/packed.h"
#include "printing/pageoutput.h"
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
    // Without a default printer (no print system, say) there is nothing to
    // print on: the print dialog opens instead, says why, and takes a
    // "pdf:FOLDER" printer.
    if (currentPrinter().empty()) {
        printSetupCommand();
        return;
    }
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
        setStatus(m.qtext(93) + QLatin1Char(' ') + pageStatusText(page));
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    const Result<PrintReport> printed = printDocument(*m_engine, request, m_printers, progress);
    QApplication::restoreOverrideCursor();
    if (printed)
        setStatus(pageStatusText(currentPage(), 168));
    else
        showPrintRefusal(printed.refusal(), request.allPages);
    redrawCurrentPage();
    enableDocumentCommands();
}

void ViewerWindow::showPrintRefusal(const Refusal &r, bool allPages)
{
    // The printer's own words, when it gave any, go under the message.
    const Messages &m = m_context.messages;
    const int title = r.message == 154 ? (allPages ? 169 : 140) : r.message == 133 ? 122 : 140;
    QString text = m.qtext(r.message);
    if (!r.detail.empty())
        text += QStringLiteral("\n") + QString::fromStdString(r.detail);
    m_context.prompter.error(r.message, text, m.qtext(title));
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
    // The dialog's types in order, each with the extension it gives.
    struct Type
    {
        SaveForm form;
        const char *extension;
    };
    static constexpr Type kTypes[] = {{SaveForm::Report, ".kel"},
                                      {SaveForm::PackedReport, ".kel"},
                                      {SaveForm::PagePicture, ".bmp"},
                                      {SaveForm::PagePicture, ".png"},
                                      {SaveForm::Pdf, ".pdf"}};
    const auto typeOf = [&types](const QString &filter) {
        return kTypes[std::clamp<qsizetype>(types.indexOf(filter), 0, std::size(kTypes) - 1)];
    };
    // The name proposed is the document's own, with the first type's
    // extension; choosing another type changes the extension with it.
    const QString given = QString::fromStdString(m_document->settings.givenPath.empty()
                                                     ? m_document->settings.originalPath
                                                     : m_document->settings.givenPath);
    const QString base = QFileInfo(given).completeBaseName();
    if (!base.isEmpty())
        dialog.selectFile(base + QLatin1String(kTypes[0].extension));
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog, &typeOf, base](const QString &f) {
                if (!base.isEmpty())
                    dialog.selectFile(base + QLatin1String(typeOf(f).extension));
            });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const Type type = typeOf(dialog.selectedNameFilter());
    saveAs(
        withFormExtension(dialog.selectedFiles().front(), type.form, QLatin1String(type.extension))
            .toStdString(),
        type.form);
}

QString withFormExtension(const QString &path, SaveForm form, const QString &pictureExtension)
{
    // A picture never lands in a file named as a report (opening it again
    // would end the program), nor a report under a listing's name (it would
    // be converted as one). Reports and packed reports end alike in ".kel".
    const auto endsWith = [&path](const char *suffix) {
        return path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
    };
    switch (form) {
    case SaveForm::Report:
    case SaveForm::PackedReport:
        return endsWith(".kel") ? path : path + QStringLiteral(".kel");
    case SaveForm::PagePicture:
        return endsWith(".bmp") || endsWith(".png") ? path : path + pictureExtension;
    case SaveForm::Pdf:
        return endsWith(".pdf") ? path : path + QStringLiteral(".pdf");
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
        detail = saveWorkingCopy(path);
    } else if (form == SaveForm::PackedReport) {
        const PackResult packed =
            packCurrentReport(*m_document, path, m_engine->pictureFolder(), m_context.folders);
        if (!packed.ok())
            detail = packed.detail.empty() ? path : packed.detail;
        else
            showLeftOut(packed.leftOut);
    } else if (form == SaveForm::Pdf) {
        // All pages as the printer draws them, through the system's own PDF
        // writer (the file appears under its name only when complete).
        PdfFileOutput output(path,
                             JobOptions{fromCp1252(m_document->settings.title).toStdString()});
        const Result<PrintReport> written = printPages(*m_engine, output, true, 1, 0);
        if (!written)
            detail = path + ": " +
                     (written.refusal().detail.empty() ? m.text(written.refusal().message)
                                                       : written.refusal().detail);
        redrawCurrentPage();
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

void ViewerWindow::showLeftOut(const std::vector<std::string> &names)
{
    if (names.empty())
        return;
    const Messages &m = m_context.messages;
    QString text = m.qtext(393) + QLatin1Char('\n');
    for (const std::string &name : names)
        text += QLatin1Char('\n') + fromCp1252(name);
    m_context.prompter.notice(393, text, m.qtext(140));
}

void ViewerWindow::sendByMail()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    const std::string given = m_document->settings.givenPath;
    const std::string name = std::string(lastField(given, '/'));
    // The attachment outlives the viewer: the mail program may read it
    // later. It is kept for a day, not with the working files.
    std::string outbox = m_context.outbox;
    if (outbox.empty())
        outbox = outboxFolder();
    if (outbox.empty())
        outbox = m_context.folders.temp;
    const PackResult packed = packCurrentReport(*m_document, outbox + "/" + name,
                                                m_engine->pictureFolder(), m_context.folders);
    if (!packed.ok()) {
        m_context.prompter.error(packed.message,
                                 m.qtext(packed.message) + QStringLiteral("\n\n") +
                                     fromCp1252(packed.detail),
                                 m.qtext(0));
        return;
    }
    showLeftOut(packed.leftOut);
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
