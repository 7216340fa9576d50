// The toolbar dispatch of the viewer and the commands that open windows.
#include "app/atomicfile.h"
#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "documents/opening.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"
#include "viewer/busycursor.h"
#include "viewer/dialogs.h"
#include "viewer/findbar.h"
#include "viewer/pagearea.h"
#include "viewer/viewerwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>

namespace kel {

const std::vector<ToolbarButton> &ViewerWindow::buttonTable()
{
    using K = ButtonKind;
    using N = ButtonNeeds;
    using W = ViewerWindow;
    constexpr auto designOnly = ButtonShown::InDesignMode;
    constexpr auto never = ButtonShown::Never;
    // In toolbar order. The separators after a group are hidden with it.
    static const std::vector<ToolbarButton> table = {
        {"back01", K::Command, 171, &W::firstPage, N::SeveralPages, "D"},
        {"back02", K::Command, 172, &W::previousPage, N::SeveralPages, "D"},
        {"ir", K::Command, 173, &W::goToCommand, N::SeveralPages, "D"},
        {"for01", K::Command, 174, &W::nextPage, N::SeveralPages, "D"},
        {"for02", K::Command, 175, &W::lastPage, N::SeveralPages, "D"},
        {"aa", K::Separator, 0, nullptr, N::Nothing, "D"},
        {"acerca", K::Command, 176, &W::zoomIn, N::Document, "Z"},
        {"aleja", K::Command, 177, &W::zoomOut, N::Document, "Z"},
        {"CSize", K::ZoomBox, 178, nullptr, N::Document, "Z"},
        {"fitwidth", K::Command, 292, &W::fitWidth, N::Document, "Z"},
        {"fitpage", K::Command, 293, &W::fitPage, N::Document, "Z"},
        {"zx", K::Separator, 0, nullptr, N::Nothing, "Z"},
        {"findtext", K::Command, 179, &W::findCommand, N::Document, "F"},
        {"findagain", K::Command, 180, &W::findAgain, N::Document, "F"},
        {"sdfsdf", K::Separator, 0, nullptr, N::Nothing, "F"},
        {"imprime", K::Command, 181, &W::printWholeDocument, N::PrintAllowed, "P"},
        {"printsetup", K::Command, 182, &W::printSetupCommand, N::PrintAllowed, "P"},
        {"sysprint", K::Command, 297, &W::systemPrintCommand, N::PrintAllowed, "P"},
        {"preview", K::Command, 298, &W::previewCommand, N::PrintAllowed, "P"},
        {"sss", K::Separator, 0, nullptr, N::Nothing, "P"},
        {"sendbymail", K::Command, 183, &W::sendByMail, N::SendAllowed, "M"},
        {"jhkjh", K::Separator, 0, nullptr, N::Nothing, "M"},
        {"abrir", K::Command, 184, &W::openCommand, N::Nothing, "O"},
        {"salvar", K::Command, 185, &W::saveCommand, N::SaveAllowed, "S"},
        {"exportar", K::Command, 186, &W::exportCommand, N::ExportAllowed, "X"},
        {"asda", K::Separator, 0, nullptr, N::Nothing, "OSX"},
        {"recordkey", K::Inert, 0, nullptr, N::Nothing, "", never},
        {"playsound", K::Inert, 0, nullptr, N::Nothing, "", never},
        {"stopplaying", K::Inert, 0, nullptr, N::Nothing, "", never},
        {"trrrr", K::Separator, 0, nullptr, N::Nothing, "", never},
        {"config", K::Command, 187, &W::configCommand, N::Nothing, "", designOnly},
        {"edit", K::Command, 188, &W::editCommand, N::Document, "", designOnly},
        {"columns", K::Command, 189, &W::drawColumnGuides, N::Document, "", designOnly},
        {"yyytrd", K::Separator, 0, nullptr, N::Nothing, "", designOnly},
        {"salir", K::Command, 190, &W::exitCommand, N::Nothing, ""},
        {"about", K::Command, 191, &W::aboutCommand, N::Nothing, ""},
    };
    return table;
}

void ViewerWindow::dispatch(const QString &key)
{
    // Drawing that a command starts may run the report's external commands.
    m_context.commands.setStartedByCommand(true);
    for (const ToolbarButton &b : buttonTable()) {
        if (key == QLatin1String(b.key)) {
            if (b.run)
                (this->*b.run)();
            return;
        }
    }
}

void ViewerWindow::findCommand()
{
    if (!hasDocument())
        return;
    m_findBar->open(fromCp1252(m_find.text));
}

void ViewerWindow::goToCommand()
{
    if (!hasDocument())
        return;
    // The dialog names the pages there are: finish the count first.
    {
        BusyCursor busy;
        m_navigator->countAll();
    }
    showPageStatus();
    GoToDialog dialog(m_context.messages, m_engine->pages().lastPage(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    goToPage(dialog.value());
}

void ViewerWindow::exitCommand()
{
    close();
}

void ViewerWindow::configCommand()
{
    if (m_context.openConfiguration)
        m_context.openConfiguration(this);
}

void ViewerWindow::openCommand()
{
    const Messages &m = m_context.messages;
    const QString chosen = QFileDialog::getOpenFileName(this, m.qtext(161), dialogFolder(),
                                                        dialogFilter(m.qtext(160)));
    if (chosen.isEmpty())
        return;
    m_lastOpenFolder = QFileInfo(chosen).absolutePath();
    const std::string path = chosen.toStdString();
    if (!fileExists(path)) {
        reportOnStderr(41, m.qtext(41), chosen);
        m_context.prompter.error(41, m.qtext(41) + QStringLiteral("\n\n") + chosen, m.qtext(42));
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
    openDocument(path, path, OpenedBy::OpenCommand);
}

QString ViewerWindow::dialogFolder() const
{
    if (m_document) {
        const std::string &given = m_document->settings.givenPath;
        const QFileInfo document(
            QString::fromStdString(given.empty() ? m_document->settings.originalPath : given));
        if (document.absoluteDir().exists())
            return document.absolutePath();
    }
    return m_lastOpenFolder.isEmpty() ? QDir::homePath() : m_lastOpenFolder;
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
    if (command.isEmpty())
        command << QString::fromLatin1(kDefaultEditor);
    // An editor that cannot start, or ends at once with an error (xdg-open
    // finding no program for the file), is said with its reason; the
    // question to reload would only mislead.
    ProcessStarter desktop;
    ProgramStarter &starter = m_context.starter ? *m_context.starter : desktop;
    ProgramCall call{command.takeFirst(), command};
    call.arguments << QString::fromStdString(working);
    keepEditsOf(working);
    const ProgramStarter::Outcome started = starter.start(call);
    if (!started.started) {
        m_context.prompter.error(395,
                                 m.qtext(395) + QStringLiteral("\n\n") + call.commandLine() +
                                     QStringLiteral("\n") + started.reason,
                                 m.qtext(192));
        return;
    }
    if (!m_context.prompter.askYesNo(195, m.qtext(195), m.qtext(192), PromptIcon::Question, true))
        return;
    if (m_context.commands.anyExecuted() &&
        m_context.prompter.askYesNo(300, m.qtext(300), m.qtext(192), PromptIcon::Question, true))
        m_context.commands.clearExecuted();
    m_pageArea->scrollHome();
    openDocument(working, given,
                 m_document->settings.openedWithOpenCommand ? OpenedBy::OpenCommand
                                                            : OpenedBy::CommandLine);
}

namespace {

// What a file holds, to tell whether it changed; 0 when it cannot be read.
size_t digestOf(const std::string &path)
{
    std::string bytes;
    return readFile(path, bytes) ? std::hash<std::string>{}(bytes) : 0;
}

} // namespace

void ViewerWindow::keepEditsOf(const std::string &working)
{
    if (m_edits.working != working)
        m_edits = {working, digestOf(working)};
}

bool ViewerWindow::mayDiscardEdits()
{
    if (m_edits.working.empty())
        return true;
    if (digestOf(m_edits.working) == m_edits.digest) {
        m_edits = {};
        return true;
    }
    const Messages &m = m_context.messages;
    if (!m_context.prompter.askYesNo(396, m.qtext(396), m.qtext(192), PromptIcon::Question, true)) {
        m_edits = {};
        return true;
    }
    QFileDialog dialog(this, m.qtext(164), dialogFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({dialogFilter(m.qtext(287)).split(QStringLiteral(";;")).front()});
    const QString given = QString::fromStdString(
        m_document && !m_document->settings.givenPath.empty() ? m_document->settings.givenPath
                                                              : m_edits.working);
    dialog.selectFile(QFileInfo(given).completeBaseName() + QStringLiteral(".kel"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const std::string path =
        withFormExtension(dialog.selectedFiles().front(), SaveForm::Report).toStdString();
    if (const std::string failed = saveWorkingCopy(path); !failed.empty()) {
        m_context.prompter.error(170, m.qtext(170) + QStringLiteral("\n\n") + fromCp1252(failed),
                                 m.qtext(140));
        return false;
    }
    m_edits = {};
    return true;
}

std::string ViewerWindow::saveWorkingCopy(const std::string &path)
{
    const std::string &working =
        m_edits.working.empty() && m_document ? m_document->settings.workingPath : m_edits.working;
    std::string bytes;
    if (!readFile(working, bytes))
        return working + ": the working copy cannot be read";
    if (const Status written = writeFileAtomically(path, bytes); !written)
        return written.refusal().detail.empty() ? path : written.refusal().detail;
    // What is saved is no longer an edit that could be lost.
    if (working == m_edits.working)
        m_edits.digest = std::hash<std::string>{}(bytes);
    return {};
}

void ViewerWindow::aboutCommand()
{
    AboutDialog dialog(
        m_context.messages, QString::fromStdString(m_context.folders.program),
        [this] { helpCommand(); }, this);
    dialog.exec();
}

void ViewerWindow::helpCommand()
{
    const Messages &m = m_context.messages;
    const std::string path = m_context.folders.findShipped("help.md");
    if (showHelpPage(path, m.qtext(0), this))
        return;
    reportOnStderr(296, m.qtext(296), QString::fromStdString(path));
    m_context.prompter.error(
        296, m.qtext(296) + QStringLiteral("\n\n") + QString::fromStdString(path), m.qtext(0));
}

} // namespace kel
