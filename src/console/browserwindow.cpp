#include "console/browserwindow.h"

#include "app/folders.h"
#include "app/keyvalue.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "console/consolemessages.h"
#include "console/consolesession.h"
#include "console/filetypeswindow.h"
#include "documents/templates.h"
#include "documents/textconvert.h"
#include "printing/printers.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <filesystem>

namespace fs = std::filesystem;

namespace kel {
namespace {

QString local(const std::string &s)
{
    return QString::fromLocal8Bit(s.c_str());
}

std::string local(const QString &s)
{
    return s.toLocal8Bit().toStdString();
}

QLabel *label(const Messages &m, int n, const char *name, QWidget *parent)
{
    auto *l = new QLabel(m.qtext(n), parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

void showConfigurationForViewer(const Folders &folders, const Messages &messages,
                                SettingsRecord &settings, Prompter &prompter, Warnings &warnings,
                                QWidget *parent)
{
    SettingsRecord file;
    loadSettings(folders.inProgram("KEL.INI"), file, true);
    const Printers printers;
    TransferHooks noTransfer;
    const ConsoleContext console{folders,  messages, settings,   prompter,
                                 warnings, printers, noTransfer, {}};
    const SteadyConsoleClock clock;
    ConsoleEngine engine(console, clock);
    // The folder first: a look at no folder at all would say it cannot be
    // read.
    engine.setQueueFolder(file.queuePath);
    engine.reloadTypes();
    ConsoleWindowContext context{
        engine,     messages, settings, folders, printers,
        noTransfer, {},       prompter, {},      &ConsoleSession::startViewer};
    context.openedByViewer = true;
    BrowserWindow window(context, parent);
    window.exec();
}

BrowserWindow::BrowserWindow(const ConsoleWindowContext &context, QWidget *parent)
    : QDialog(parent), m_context(context)
{
    setObjectName(QStringLiteral("browser"));
    // Loading: the settings as KEL.INI has them now; the queue folder is
    // the one the console serves.
    SettingsRecord &settings = m_context.settings;
    const std::string folder = m_context.engine.queueFolder();
    loadSettings(m_context.folders.inProgram("KEL.INI"), settings, true);
    applyStartupDefaults(settings);
    settings.queuePath = folder;
    if (!settings.cnxFile.empty() && settings.cnxFile.find('.') == std::string::npos)
        settings.cnxFile += ".cnx";
    m_lastApplied = settings.cnxFile;
    m_context.engine.reloadTypes();

    build();
    loadControls();
    fillLists(m_context.engine.lastLook());
    m_context.engine.addObserver(this);
}

BrowserWindow::~BrowserWindow()
{
    m_context.engine.removeObserver(this);
}

void BrowserWindow::build()
{
    const Messages &m = m_context.messages;
    setWindowTitle(m.qtext(29));
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    m_tabs->addTab(buildQueuesTab(), m.qtext(18));
    m_tabs->addTab(buildSettingsTab(), m.qtext(19));
    layout->addWidget(m_tabs);

    auto *bottom = new QHBoxLayout;
    auto *save = button(m.qtext(16), "Command5", this);
    auto *close = button(m.qtext(17), "Command4", this);
    connect(save, &QPushButton::clicked, this, &BrowserWindow::save);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    bottom->addStretch(1);
    bottom->addWidget(save);
    bottom->addWidget(close);
    layout->addLayout(bottom);
    resize(640, 440);
}

QWidget *BrowserWindow::buildQueuesTab()
{
    const Messages &m = m_context.messages;
    auto *tab = new QWidget;
    auto *grid = new QGridLayout(tab);
    auto list = [&](const char *name) {
        auto *l = new QListWidget(tab);
        l->setObjectName(QLatin1String(name));
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
        l->setSortingEnabled(false);
        return l;
    };
    m_held = list("File1");
    m_released = list("File2");
    grid->addWidget(label(m, 11, "Label1", tab), 0, 0);
    grid->addWidget(label(m, 12, "Label2", tab), 0, 2);
    grid->addWidget(m_held, 1, 0);
    grid->addWidget(m_released, 1, 2);

    // Between the lists: release (held to released) and hold (back).
    auto *arrows = new QVBoxLayout;
    auto *release = button(QStringLiteral("\u2192"), "release_em", tab);
    auto *hold = button(QStringLiteral("\u2190"), "hold_em", tab);
    release->setToolTip(m.qtext(261));
    hold->setToolTip(m.qtext(260));
    for (QPushButton *b : {release, hold})
        b->setMaximumWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("MMMM")));
    connect(release, &QPushButton::clicked, this, [this] { renameSelected(false); });
    connect(hold, &QPushButton::clicked, this, [this] { renameSelected(true); });
    arrows->addStretch(1);
    arrows->addWidget(release);
    arrows->addWidget(hold);
    arrows->addStretch(1);
    grid->addLayout(arrows, 1, 1);

    auto buttons = [&](bool held) {
        auto *row = new QHBoxLayout;
        auto *view = button(m.qtext(15), held ? "Command8" : "Command9", tab);
        auto *del = button(m.qtext(13), held ? "delete_held" : "delete_released", tab);
        auto *refresh = button(m.qtext(14), held ? "refresh_held" : "refresh_released", tab);
        view->setEnabled(false);
        connect(view, &QPushButton::clicked, this, [this, held] { viewSelected(held); });
        connect(del, &QPushButton::clicked, this, [this, held] { deleteSelected(held); });
        connect(refresh, &QPushButton::clicked, this, &BrowserWindow::refreshLists);
        row->addWidget(view);
        row->addWidget(del);
        row->addWidget(refresh);
        (held ? m_viewHeld : m_viewReleased) = view;
        QListWidget *l = held ? m_held : m_released;
        connect(l, &QListWidget::itemSelectionChanged, view,
                [view, l] { view->setEnabled(!l->selectedItems().isEmpty()); });
        connect(l, &QListWidget::itemDoubleClicked, this, [this, held] { viewSelected(held); });
        return row;
    };
    grid->addLayout(buttons(true), 2, 0);
    grid->addLayout(buttons(false), 2, 2);
    return tab;
}

QWidget *BrowserWindow::buildSettingsTab()
{
    const Messages &m = m_context.messages;
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);

    auto *types = new QGroupBox(m.qtext(20), tab);
    types->setObjectName(QStringLiteral("Frame2"));
    auto *typesRow = new QHBoxLayout(types);
    auto check = [&](int caption, const char *name) {
        auto *c = new QCheckBox(m.qtext(caption), types);
        c->setObjectName(QLatin1String(name));
        typesRow->addWidget(c);
        connect(c, &QCheckBox::toggled, this, &BrowserWindow::typeSwitched);
        return c;
    };
    m_kel = check(21, "KEL_YN");
    m_kez = check(22, "KEZ_YN");
    m_txt = check(23, "TXT_YN");
    typesRow->addStretch(1);
    layout->addWidget(types);

    auto *queueRow = new QHBoxLayout;
    m_queuePath = new QLineEdit(tab);
    m_queuePath->setObjectName(QStringLiteral("new_queue_path"));
    m_queuePath->setReadOnly(true);
    auto *pickQueue = button(m.qtext(25), "Command10", tab);
    connect(pickQueue, &QPushButton::clicked, this, &BrowserWindow::chooseQueueFolder);
    queueRow->addWidget(label(m, 24, "Label3", tab));
    queueRow->addWidget(m_queuePath, 1);
    queueRow->addWidget(pickQueue);
    layout->addLayout(queueRow);

    auto *editor = new QGroupBox(m.qtext(27), tab);
    editor->setObjectName(QStringLiteral("Frame3"));
    auto *editorGrid = new QGridLayout(editor);
    m_editor = new QLineEdit(editor);
    m_editor->setObjectName(QStringLiteral("default_editor_crt"));
    connect(m_editor, &QLineEdit::textEdited, this,
            [this](const QString &t) { m_context.settings.defaultEditor = local(t); });
    auto *pickEditor = button(m.qtext(25), "Command11", editor);
    connect(pickEditor, &QPushButton::clicked, this, &BrowserWindow::chooseEditor);
    m_escExits = new QCheckBox(m.qtext(320), editor);
    m_escExits->setObjectName(QStringLiteral("Check1"));
    connect(m_escExits, &QCheckBox::toggled, this,
            [this](bool on) { m_context.settings.escExits = on ? "Y" : "N"; });
    editorGrid->addWidget(label(m, 28, "Label7", editor), 0, 0);
    editorGrid->addWidget(m_editor, 0, 1);
    editorGrid->addWidget(pickEditor, 0, 2);
    editorGrid->addWidget(m_escExits, 1, 0, 1, 3);
    layout->addWidget(editor);

    auto *remote = new QGroupBox(m.qtext(30), tab);
    remote->setObjectName(QStringLiteral("Frame1"));
    auto *remoteGrid = new QGridLayout(remote);
    m_cnxFile = new QLineEdit(remote);
    m_cnxFile->setObjectName(QStringLiteral("Cnxfile"));
    connect(m_cnxFile, &QLineEdit::editingFinished, this, &BrowserWindow::takeConnectionFile);
    auto *pickCnx = button(m.qtext(25), "Command1", remote);
    pickCnx->setToolTip(m.qtext(38));
    connect(pickCnx, &QPushButton::clicked, this, &BrowserWindow::chooseConnectionFile);
    auto *define = button(m.qtext(34), "Command2", remote);
    connect(define, &QPushButton::clicked, this, [this] {
        if (m_context.tools.defineConnection) {
            m_context.tools.defineConnection();
        } else {
            const Messages &msgs = m_context.messages;
            m_context.prompter.notice(259, msgs.qtext(259), msgs.qtext(48));
        }
    });
    auto *test = button(m.qtext(35), "Command3", remote);
    connect(test, &QPushButton::clicked, this, &BrowserWindow::testConnection);
    m_apply = button(m.qtext(36), "Command6", remote);
    m_apply->setEnabled(false);
    m_apply->setVisible(!m_context.openedByViewer);
    connect(m_apply, &QPushButton::clicked, this, &BrowserWindow::applyConnection);
    m_checkEvery = new QLineEdit(remote);
    m_checkEvery->setObjectName(QStringLiteral("Check_every"));
    m_checkEvery->setMaximumWidth(
        m_checkEvery->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    connect(m_checkEvery, &QLineEdit::editingFinished, this, &BrowserWindow::takeCheckInterval);
    remoteGrid->addWidget(label(m, 31, "Label4", remote), 0, 0);
    remoteGrid->addWidget(m_cnxFile, 0, 1, 1, 3);
    remoteGrid->addWidget(pickCnx, 0, 4);
    auto *everyRow = new QHBoxLayout;
    everyRow->addWidget(label(m, 32, "Label5", remote));
    everyRow->addWidget(m_checkEvery);
    everyRow->addWidget(label(m, 33, "Label6", remote));
    everyRow->addStretch(1);
    remoteGrid->addLayout(everyRow, 1, 0, 1, 5);
    auto *remoteButtons = new QHBoxLayout;
    remoteButtons->addWidget(define);
    remoteButtons->addWidget(test);
    remoteButtons->addWidget(m_apply);
    remoteButtons->addStretch(1);
    remoteGrid->addLayout(remoteButtons, 2, 0, 1, 5);
    remoteGrid->setColumnStretch(1, 1);
    layout->addWidget(remote);

    auto *types2 = button(m.qtext(26), "Command7", tab);
    connect(types2, &QPushButton::clicked, this, [this] {
        FileTypesWindow window(m_context.settings, m_context.messages, m_context.printers,
                               m_context.folders, this);
        window.exec();
    });
    auto *typesRow2 = new QHBoxLayout;
    typesRow2->addWidget(types2);
    typesRow2->addStretch(1);
    layout->addLayout(typesRow2);
    layout->addStretch(1);
    return tab;
}

void BrowserWindow::loadControls()
{
    const SettingsRecord &s = m_context.settings;
    const QSignalBlocker b1(m_kel), b2(m_kez), b3(m_txt), b4(m_escExits);
    const QueueTypes types = QueueTypes::fromSettings(s);
    m_kel->setChecked(types.reports);
    m_kez->setChecked(types.templates);
    m_txt->setChecked(types.listings);
    m_escExits->setChecked(upper(trimmed(s.escExits)) == "Y");
    m_queuePath->setText(local(s.queuePath));
    m_queuePath->setToolTip(local(s.queuePath));
    m_editor->setText(local(s.defaultEditor));
    m_cnxFile->setText(local(s.cnxFile));
    m_cnxFile->setToolTip(local(s.cnxFile));
    m_checkEvery->setText(local(s.checkEvery));
}

std::vector<std::string> BrowserWindow::selected(const QListWidget *list) const
{
    std::vector<std::string> names;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->isSelected())
            names.push_back(local(list->item(i)->text()));
    }
    return names;
}

void BrowserWindow::fillLists(const QueueListing &listing)
{
    auto fill = [](QListWidget *list, const std::vector<QueueEntry> &entries) {
        QSet<QString> keep;
        for (const QListWidgetItem *item : list->selectedItems())
            keep.insert(item->text());
        const QSignalBlocker block(list);
        list->clear();
        for (const QueueEntry &e : entries) {
            auto *item = new QListWidgetItem(local(e.name), list);
            item->setSelected(keep.contains(item->text()));
        }
    };
    fill(m_held, listing.held);
    fill(m_released, listing.released);
    m_viewHeld->setEnabled(!m_held->selectedItems().isEmpty());
    m_viewReleased->setEnabled(!m_released->selectedItems().isEmpty());
}

void BrowserWindow::countsChanged(int, int)
{
    fillLists(m_context.engine.lastLook());
}

// The engine's buttons look at the folder when they are done; the lists
// follow through countsChanged.
void BrowserWindow::renameSelected(bool toHeld)
{
    const std::vector<std::string> names = selected(toHeld ? m_released : m_held);
    if (toHeld)
        m_context.engine.holdFiles(names);
    else
        m_context.engine.releaseFiles(names);
}

void BrowserWindow::deleteSelected(bool held)
{
    m_context.engine.deleteFiles(selected(held ? m_held : m_released));
    (held ? m_viewHeld : m_viewReleased)->setEnabled(false);
}

std::string BrowserWindow::prepareView(const std::string &name, bool held)
{
    const std::string folder = m_context.engine.queueFolder();
    const std::string path = folder + "/" + name;
    const Messages &m = m_context.messages;
    const std::optional<DocType> type = queueDocType(name);
    const std::string target = held ? folder + "/$$$.$$$" : m_context.folders.inTemp("$$$.KEL");
    auto refuse = [&](int number, const std::string &detail) {
        QString text = number >= 0 ? m.qtext(number) : QString();
        if (!detail.empty())
            text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + local(detail);
        m_context.prompter.error(number, text, m.qtext(44));
        return std::string();
    };
    if (!type || !fs::is_regular_file(path))
        return refuse(41, path);
    if (*type == DocType::Kez) {
        const TemplateResult merged = processTemplate(path, target);
        return merged.ok() ? target : refuse(kNoMessage, merged.detail);
    }
    if (*type != DocType::Kel) {
        const ConvertResult converted =
            convertTextToReport(path, target, listingSettings(m_context.settings, *type));
        if (converted == ConvertResult::CannotRead || converted == ConvertResult::CannotWrite)
            return refuse(41, path);
        return target;
    }
    // A report that deletes itself once opened is shown from a copy. The key
    // is looked for in the first lines only, as the loader does.
    if (upper(readKeyValue(path, "DELETE_AFTER").value_or(std::string())) == "Y") {
        std::error_code ec;
        fs::copy_file(path, target, fs::copy_options::overwrite_existing, ec);
        return ec ? refuse(41, path) : target;
    }
    return path;
}

void BrowserWindow::viewSelected(bool held)
{
    // Not while the transfer works in the queue folder.
    if (m_context.transfer.holdsMainTick())
        return;
    const std::vector<std::string> names = selected(held ? m_held : m_released);
    if (names.empty())
        return;
    const std::string path = prepareView(names.front(), held);
    if (!path.empty() && m_context.startViewer)
        m_context.startViewer(path);
}

void BrowserWindow::typeSwitched()
{
    SettingsRecord &s = m_context.settings;
    s.printKel = m_kel->isChecked() ? "Y" : "N";
    s.printKez = m_kez->isChecked() ? "Y" : "N";
    s.printTxt = m_txt->isChecked() ? "Y" : "N";
    m_context.engine.reloadTypes();
}

void BrowserWindow::chooseQueueFolder()
{
    const Messages &m = m_context.messages;
    const QString chosen =
        QFileDialog::getExistingDirectory(this, m.qtext(269), m_queuePath->text());
    if (chosen.isEmpty())
        return;
    if (!QFileInfo(chosen).isDir() || !QDir(chosen).isReadable()) {
        m_context.prompter.error(270, m.qtext(270), m.qtext(44));
        return;
    }
    m_context.engine.setQueueFolder(local(QDir::cleanPath(chosen)));
    m_queuePath->setText(local(m_context.engine.queueFolder()));
    m_queuePath->setToolTip(m_queuePath->text());
}

void BrowserWindow::chooseEditor()
{
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), QDir::homePath());
    if (chosen.isEmpty())
        return;
    m_editor->setText(chosen);
    m_context.settings.defaultEditor = local(chosen);
}

void BrowserWindow::chooseConnectionFile()
{
    const Messages &m = m_context.messages;
    const QString chosen = QFileDialog::getOpenFileName(
        this, m.qtext(38), local(m_context.engine.queueFolder()), QStringLiteral("*.cnx"));
    if (chosen.isEmpty())
        return;
    m_cnxFile->setText(chosen);
    takeConnectionFile();
}

bool BrowserWindow::takeCheckInterval()
{
    if (m_checking)
        return false;
    const std::string text = trimmedCopy(local(m_checkEvery->text()));
    if (!text.empty()) {
        const double seconds = leadingNumber(text);
        if (seconds < 5 || seconds > 60) {
            m_checking = true;
            const Messages &m = m_context.messages;
            m_context.prompter.error(43, m.qtext(43), m.qtext(44));
            m_checking = false;
            m_checkEvery->setFocus();
            m_checkEvery->selectAll();
            return false;
        }
    }
    m_context.settings.checkEvery = text;
    return true;
}

void BrowserWindow::takeConnectionFile()
{
    std::string name = trimmedCopy(local(m_cnxFile->text()));
    if (!name.empty() && name.find('.') == std::string::npos)
        name += ".cnx";
    m_cnxFile->setText(local(name));
    m_cnxFile->setToolTip(local(name));
    const bool changed = name != m_context.settings.cnxFile;
    m_context.settings.cnxFile = name;
    if (!changed || name == m_lastApplied)
        return;
    // Remote checks stop until the new file is tested and applied.
    m_tested = false;
    m_apply->setEnabled(false);
    const Messages &m = m_context.messages;
    m_context.prompter.notice(37, m.qtext(37), m.qtext(48));
    m_context.transfer.dropConnection();
}

void BrowserWindow::testConnection()
{
    const Messages &m = m_context.messages;
    if (!m_context.tools.test) {
        m_context.prompter.notice(259, m.qtext(259), m.qtext(48));
        return;
    }
    m_tested = m_context.tools.test(m_context.settings.cnxFile);
    m_apply->setEnabled(m_tested);
}

void BrowserWindow::applyConnection()
{
    const int every = leadingInt(m_context.settings.checkEvery);
    m_context.transfer.applyConnection(m_context.settings.cnxFile, every > 0 ? every : 20);
    m_lastApplied = m_context.settings.cnxFile;
}

void BrowserWindow::save()
{
    const Messages &m = m_context.messages;
    if (Status saved = saveSettings(m_context.folders.inProgram("KEL.INI"), m_context.settings, m);
        !saved) {
        // Where the program folder is not the user's to write, say which file
        // and what to do (message 294 and its detail).
        const Refusal &r = saved.refusal();
        m_context.prompter.error(r.message,
                                 m.qtext(r.message) + QStringLiteral("\n\n") +
                                     QString::fromStdString(r.detail),
                                 m.qtext(44));
        return;
    }
    m_context.prompter.notice(224, m.qtext(224), m.qtext(0));
}

} // namespace kel
