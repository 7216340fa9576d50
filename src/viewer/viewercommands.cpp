// The toolbar dispatch of the viewer and the commands that open windows.
#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "documents/opening.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"
#include "viewer/dialogs.h"
#include "viewer/pagearea.h"
#include "viewer/viewerwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>

namespace kel {

void ViewerWindow::dispatch(const QString &key)
{
    // Drawing that a command starts may run the report's external commands.
    m_context.commands.setStartedByCommand(true);
    const bool doc = hasDocument();
    if (key == QLatin1String("sendbymail")) {
        sendByMail();
    } else if (key == QLatin1String("findagain")) {
        findAgain();
    } else if (key == QLatin1String("findtext")) {
        if (!doc)
            return;
        FindDialog dialog(m_context.messages, fromCp1252(m_find.text), m_findMatchCaseBox,
                          m_findFirstPageBox, this);
        const bool accepted = dialog.exec() == QDialog::Accepted;
        m_findMatchCaseBox = dialog.matchCase();
        m_findFirstPageBox = dialog.fromFirstPage();
        if (accepted)
            find(dialog.text(), dialog.matchCase(), dialog.fromFirstPage());
    } else if (key == QLatin1String("config")) {
        notAvailable();
    } else if (key == QLatin1String("columns")) {
        drawColumnGuides();
    } else if (key == QLatin1String("edit")) {
        editCommand();
    } else if (key == QLatin1String("about")) {
        aboutCommand();
    } else if (key == QLatin1String("printsetup")) {
        printSetupCommand();
    } else if (key == QLatin1String("acerca")) {
        zoomStep(1);
    } else if (key == QLatin1String("aleja")) {
        zoomStep(2);
    } else if (key == QLatin1String("salir")) {
        close();
    } else if (key == QLatin1String("exportar")) {
        exportCommand();
    } else if (key == QLatin1String("abrir")) {
        openCommand();
    } else if (key == QLatin1String("salvar")) {
        saveCommand();
    } else if (key == QLatin1String("imprime")) {
        printWholeDocument();
    } else if (key == QLatin1String("for01")) {
        nextPage();
    } else if (key == QLatin1String("for02")) {
        lastPage();
    } else if (key == QLatin1String("ir")) {
        if (!doc)
            return;
        GoToDialog dialog(m_context.messages, this);
        dialog.exec();
        goToPage(dialog.value());
    } else if (key == QLatin1String("back02")) {
        previousPage();
    } else if (key == QLatin1String("back01")) {
        firstPage();
    }
}

void ViewerWindow::notAvailable()
{
    m_context.prompter.notice(-1, tr("This command is not available in this version yet."),
                              m_context.messages.qtext(0));
}

void ViewerWindow::openCommand()
{
    const Messages &m = m_context.messages;
    if (m_lastOpenFolder.isEmpty())
        m_lastOpenFolder = QDir::homePath();
    const QString chosen = QFileDialog::getOpenFileName(this, m.qtext(161), m_lastOpenFolder,
                                                        dialogFilter(m.qtext(160)));
    if (chosen.isEmpty())
        return;
    m_lastOpenFolder = QFileInfo(chosen).absolutePath();
    const std::string path = chosen.toStdString();
    if (!fileExists(path)) {
        m_context.prompter.error(41, m.qtext(41), m.qtext(42));
        closeDocument();
        return;
    }
    const QString type = chosen.right(3).toUpper();
    static const QStringList known = {QStringLiteral("TXT"), QStringLiteral("LST"),
                                      QStringLiteral("PRN"), QStringLiteral("KEL"),
                                      QStringLiteral("KEZ")};
    if (!known.contains(type))
        return;
    m_pageArea->scrollHome();
    openDocument(path, path, true);
}

void ViewerWindow::editCommand()
{
    const Messages &m = m_context.messages;
    if (!m_context.options.designMode) {
        m_context.prompter.error(193, m.qtext(193), m.qtext(192));
        return;
    }
    if (!hasDocument()) {
        m_context.prompter.error(194, m.qtext(194), m.qtext(192));
        return;
    }
    const std::string working = m_document->settings.workingPath;
    const std::string given = m_document->settings.givenPath;
    QStringList command = QProcess::splitCommand(QString::fromStdString(
        m_context.settings.defaultEditor.empty() ? kDefaultEditor
                                                 : m_context.settings.defaultEditor));
    if (!command.isEmpty()) {
        const QString program = command.takeFirst();
        command << QString::fromStdString(working);
        QProcess::startDetached(program, command);
    }
    if (!m_context.prompter.askYesNo(195, m.qtext(195), m.qtext(192), PromptIcon::Question, true))
        return;
    if (m_context.commands.anyExecuted() &&
        m_context.prompter.askYesNo(300, m.qtext(300), m.qtext(192), PromptIcon::Question, true))
        m_context.commands.clearExecuted();
    m_pageArea->scrollHome();
    openDocument(working, given, m_document->settings.openedWithOpenCommand);
}

void ViewerWindow::aboutCommand()
{
    AboutDialog dialog(m_context.messages, QString::fromStdString(m_context.folders.program), this);
    dialog.exec();
}

} // namespace kel
