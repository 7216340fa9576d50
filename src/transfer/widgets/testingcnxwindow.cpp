#include "transfer/widgets/testingcnxwindow.h"

#include "app/messages.h"
#include "transfer/curlftp.h"
#include "transfer/tester.h"
#include "transfer/transferservice.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace kel {

TestingCnxWindow::TestingCnxWindow(const Connection &connection, std::string tempFolder,
                                   const Messages &messages, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_connection(connection), m_temp(std::move(tempFolder)),
      m_messages(messages), m_prompter(prompter), m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("testingcnx"));
    setWindowTitle(messages.qtext(0));
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setText(messages.qtext(236));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setMinimumWidth(360);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(m_label);
    // No step says how long it takes: a moving bar shows the test is alive.
    auto *busy = new QProgressBar(this);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    layout->addWidget(busy);
    setModal(true);
}

bool TestingCnxWindow::runTest()
{
    CurlFtp client;
    client.setConnection(m_connection);
    ConnectionTester tester(client, m_temp);
    // The test starts once the window shows; the window closes when the
    // outcome has been shown.
    QTimer::singleShot(0, this, [&] {
        tester.run([&](bool passed) {
            m_passed = passed;
            showConnectionTestResult(passed, tester.detail(), m_messages, m_prompter);
            done(passed ? QDialog::Accepted : QDialog::Rejected);
        });
    });
    exec();
    return m_passed;
}

ConnectionTools windowConnectionTools(TransferService &service, std::string tempFolder,
                                      const Messages &messages, Prompter &prompter, QWidget *parent)
{
    ConnectionTools tools = service.connectionTools();
    tools.test = [temp = std::move(tempFolder), &messages, &prompter,
                  parent](const std::string &cnxFile) {
        TestingCnxWindow window(readConnectionFile(cnxFile).value_or(Connection{}), temp, messages,
                                prompter, parent);
        return window.runTest();
    };
    return tools;
}

} // namespace kel
