#include "console/consolewindow.h"

#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "console/browserwindow.h"
#include "console/consolemessages.h"
#include "viewer/dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace kel {
namespace {

// The console's icon: a sheet of paper with printed lines and the queue
// lamp in its corner, so the tray shows at a glance whether it prints.
QIcon consoleIcon(const QColor &lamp)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 3));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(10, 4, 38, 50), 4, 4);
    p.setPen(QPen(QColor(90, 90, 90), 3));
    for (int y = 16; y <= 40; y += 8)
        p.drawLine(18, y, 40, y);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(lamp);
    p.drawEllipse(QRectF(34, 36, 26, 26));
    return QIcon(pixmap);
}

} // namespace

const QColor QueueLamp::kOpen = QColor(0, 255, 0);
const QColor QueueLamp::kClosed = QColor(255, 0, 0);

QueueLamp::QueueLamp(QWidget *parent) : QWidget(parent), m_color(kClosed)
{
    setObjectName(QStringLiteral("Shape1"));
    setMinimumSize(sizeHint());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void QueueLamp::setOpen(bool open)
{
    m_color = open ? kOpen : kClosed;
    update();
}

void QueueLamp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
    p.setBrush(m_color);
    const int side = std::min(width(), height()) - 4;
    p.drawEllipse(QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side));
}

ConsoleWindow::ConsoleWindow(const ConsoleWindowContext &context, QWidget *parent)
    : QMainWindow(parent), m_context(context)
{
    setObjectName(QStringLiteral("pconsole"));
    build();
    m_context.engine.addObserver(this);
    queueStateChanged(m_context.engine.queueOpen());
    countsChanged(m_context.engine.heldCount(), m_context.engine.releasedCount());
}

ConsoleWindow::~ConsoleWindow()
{
    m_context.engine.removeObserver(this);
    delete m_browser;
}

void ConsoleWindow::build()
{
    const Messages &m = m_context.messages;
    setWindowTitle(m.qtext(73));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    // The queues: counts and their Empty buttons.
    auto *queues = new QGroupBox(m.qtext(74), central);
    queues->setObjectName(QStringLiteral("Frame1"));
    auto *grid = new QGridLayout(queues);
    auto addRow = [&](int row, int caption, const char *labelName, const char *countName,
                      const char *buttonName, QLabel *&count, auto empty) {
        auto *label = new QLabel(m.qtext(caption), queues);
        label->setObjectName(QLatin1String(labelName));
        count = new QLabel(QStringLiteral("0"), queues);
        count->setObjectName(QLatin1String(countName));
        count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        count->setMinimumWidth(count->fontMetrics().horizontalAdvance(QStringLiteral("000000")));
        QFont bold = count->font();
        bold.setBold(true);
        count->setFont(bold);
        auto *button = new QPushButton(m.qtext(77), queues);
        button->setObjectName(QLatin1String(buttonName));
        connect(button, &QPushButton::clicked, this, empty);
        grid->addWidget(label, row, 0);
        grid->addWidget(count, row, 1);
        grid->addWidget(button, row, 2);
    };
    addRow(0, 75, "Label1", "held", "Command2", m_held, [this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_context.engine.emptyHeldList();
        QApplication::restoreOverrideCursor();
    });
    addRow(1, 76, "Label2", "released", "Command3", m_released, [this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_context.engine.emptyReleasedList();
        QApplication::restoreOverrideCursor();
    });
    grid->setColumnStretch(0, 1);
    layout->addWidget(queues);

    // The queue: its lamp and the button that opens or closes it.
    auto *queue = new QGroupBox(m.qtext(79), central);
    queue->setObjectName(QStringLiteral("Frame2"));
    auto *queueRow = new QHBoxLayout(queue);
    m_lamp = new QueueLamp(queue);
    m_queueButton = new QPushButton(queue);
    m_queueButton->setObjectName(QStringLiteral("Command1"));
    connect(m_queueButton, &QPushButton::clicked, this, &ConsoleWindow::toggleQueue);
    queueRow->addWidget(m_lamp);
    queueRow->addWidget(m_queueButton, 1);
    layout->addWidget(queue);

    // Which folder this console serves: the first thing a user asks.
    m_folder = new QLabel(central);
    m_folder->setObjectName(QStringLiteral("queue_folder"));
    m_folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_folder->setWordWrap(true);
    layout->addWidget(m_folder);

    auto *configure = new QPushButton(m.qtext(78), central);
    configure->setObjectName(QStringLiteral("Command9"));
    connect(configure, &QPushButton::clicked, this, &ConsoleWindow::openConfiguration);
    layout->addWidget(configure);

    auto *buttons = new QHBoxLayout;
    auto addButton = [&](int caption, const char *name, auto action) {
        auto *b = new QPushButton(m.qtext(caption), central);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, action);
        buttons->addWidget(b);
    };
    addButton(82, "Command4", [this] {
        if (m_context.startViewer)
            m_context.startViewer({});
    });
    addButton(83, "Command8", [this] {
        const Messages &m = m_context.messages;
        AboutDialog about(
            m, QString::fromStdString(m_context.folders.program),
            [this, &m] {
                if (!showHelpPage(m_context.folders.findShipped("help.md"), m.qtext(0), this))
                    m_context.prompter.error(296, m.qtext(296), m.qtext(0));
            },
            this);
        about.exec();
    });
    addButton(84, "Command7", &ConsoleWindow::hideToTray);
    addButton(85, "Command6", &ConsoleWindow::askToExit);
    layout->addLayout(buttons);
    layout->addStretch(1);
    setCentralWidget(central);

    m_status = new QLabel(statusBar());
    m_status->setObjectName(QStringLiteral("StatusBar1"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(m_status, 1);
    setWindowIcon(consoleIcon(QueueLamp::kClosed));
    showStatus(m.qtext(96));
}

void ConsoleWindow::activate()
{
    if (!m_context.switches.install && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(this);
        m_tray->setToolTip(QStringLiteral("Kel print server"));
        connect(m_tray, &QSystemTrayIcon::activated, this, &ConsoleWindow::restoreFromTray);
        updateTrayIcon();
        m_tray->show();
    }
    if (m_context.switches.visible)
        show();
    else
        hideToTray();
}

void ConsoleWindow::toggleQueue()
{
    m_context.engine.setQueueOpen(!m_context.engine.queueOpen());
}

void ConsoleWindow::hideToTray()
{
    if (m_tray && m_tray->isVisible())
        hide();
    else
        showMinimized();
}

void ConsoleWindow::restoreFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void ConsoleWindow::openConfiguration()
{
    const Messages &m = m_context.messages;
    if (m_context.engine.queueOpen()) {
        m_context.prompter.show(
            {87, m.qtext(87), m.qtext(86), PromptIcon::Exclamation, PromptButtons::Ok, Answer::Ok});
        m_context.engine.setQueueOpen(false);
    }
    if (!m_browser) {
        m_browser = new BrowserWindow(m_context, this);
        m_browser->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_browser->show();
    m_browser->raise();
    m_browser->activateWindow();
}

bool ConsoleWindow::askToExit()
{
    const Messages &m = m_context.messages;
    if (!m_context.prompter.askYesNo(88, m.qtext(88), m.qtext(85), PromptIcon::Question, false))
        return false;
    showStatus(m.qtext(89));
    m_exiting = true;
    m_context.engine.stop();
    QApplication::exit(0);
    return true;
}

void ConsoleWindow::closeEvent(QCloseEvent *event)
{
    if (m_exiting || askToExit())
        event->accept();
    else
        event->ignore();
}

BrowserWindow *ConsoleWindow::browser() const
{
    return m_browser;
}

QString ConsoleWindow::statusText() const
{
    return m_status->text();
}

void ConsoleWindow::showStatus(const QString &text)
{
    m_status->setText(text);
}

void ConsoleWindow::updateTrayIcon()
{
    const QColor lamp = m_context.engine.queueOpen() ? QueueLamp::kOpen : QueueLamp::kClosed;
    setWindowIcon(consoleIcon(lamp));
    if (m_tray)
        m_tray->setIcon(consoleIcon(lamp));
}

void ConsoleWindow::queueStateChanged(bool open)
{
    const Messages &m = m_context.messages;
    m_lamp->setOpen(open);
    m_lamp->setToolTip(m.qtext(open ? 262 : 263));
    m_queueButton->setText(m.qtext(open ? 81 : 80));
    updateTrayIcon();
    // The status says what the queue does now, not what the last tick did.
    showStatus(m.qtext(open ? 262 : 263));
}

void ConsoleWindow::countsChanged(int held, int released)
{
    const QString folder = QString::fromLocal8Bit(m_context.engine.queueFolder().c_str());
    m_folder->setText(m_context.messages.qtext(113) + QStringLiteral(" ") + folder);
    m_folder->setToolTip(folder);
    m_held->setText(QString::number(held));
    m_released->setText(QString::number(released));
}

void ConsoleWindow::status(int number, const std::string &detail)
{
    // A closed queue waits for no file: it says that it is closed.
    constexpr int kWaiting = 96;
    if (number == kWaiting && !m_context.engine.queueOpen())
        number = 263;
    QString text = m_context.messages.qtext(number);
    if (!detail.empty())
        text += QStringLiteral(" ") + QString::fromLocal8Bit(detail.c_str());
    showStatus(text);
}

void ConsoleWindow::fileHandled(const HandledFile &file)
{
    const Messages &m = m_context.messages;
    const QString name = QString::fromLocal8Bit(file.name.c_str());
    switch (file.outcome.kind) {
    case ProcessOutcome::Kind::Printed:
        showStatus(m.qtext(kMsgPrinted) + QStringLiteral(" ") + name);
        break;
    case ProcessOutcome::Kind::Viewed:
        showStatus(m.qtext(kMsgViewed) + QStringLiteral(" ") + name);
        break;
    case ProcessOutcome::Kind::Forwarded:
        showStatus(m.qtext(kMsgForwarded) + QStringLiteral(" ") + name);
        break;
    case ProcessOutcome::Kind::Left:
        showStatus(m.qtext(kMsgFileLeft) + QStringLiteral(" ") + name);
        break;
    case ProcessOutcome::Kind::Gone:
        break;
    }
}

void ConsoleWindow::windowRequested(bool shown)
{
    if (shown)
        restoreFromTray();
    else
        hideToTray();
}

void ConsoleWindow::shutdownRequested()
{
    m_exiting = true;
    QApplication::exit(0);
}

} // namespace kel
