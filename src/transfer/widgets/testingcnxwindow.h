// The connection tester's window "testingcnx": one label, message 236,
// while the test runs; then message 239 or 240 through the prompter, and the
// window closes by itself.
#pragma once

#include "console/transferhooks.h"
#include "transfer/connectionfile.h"

#include <QDialog>
#include <string>

class QLabel;

namespace kel {

class Messages;
class Prompter;
class TransferService;

class TestingCnxWindow : public QDialog
{
public:
    // `tempFolder` holds the local test file while the test runs.
    TestingCnxWindow(const Connection &connection, std::string tempFolder, const Messages &messages,
                     Prompter &prompter, QWidget *parent = nullptr);

    // Shows the window, runs the test and returns the tested flag once the
    // window has closed.
    bool runTest();

private:
    Connection m_connection;
    std::string m_temp;
    const Messages &m_messages;
    Prompter &m_prompter;
    QLabel *m_label;
    bool m_passed = false;
};

// The service's tools with the test shown in the window (the console's
// windows use these; the headless console uses the service's own).
ConnectionTools windowConnectionTools(TransferService &service, std::string tempFolder,
                                      const Messages &messages, Prompter &prompter,
                                      QWidget *parent);

} // namespace kel
