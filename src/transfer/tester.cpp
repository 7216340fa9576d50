#include "transfer/tester.h"

#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"

#include <QEventLoop>
#include <QTimer>
#include <filesystem>

namespace kel {
namespace {

void removeQuietly(const std::string &path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

} // namespace

ConnectionTester::ConnectionTester(FtpClient &client, std::string tempFolder)
    : m_client(client), m_temp(std::move(tempFolder))
{
}

ConnectionTester::~ConnectionTester()
{
    if (m_running)
        removeQuietly(localFile());
}

void ConnectionTester::note(const Status &step, const char *what)
{
    if (!step && m_detail.empty())
        m_detail = std::string(what) + ": " + step.refusal().detail;
}

void ConnectionTester::finish(bool passed)
{
    removeQuietly(localFile());
    m_running = false;
    if (passed)
        m_detail.clear();
    if (m_done)
        m_done(passed);
}

void ConnectionTester::run(std::function<void(bool)> done)
{
    m_done = std::move(done);
    m_detail.clear();
    m_downloadWorked = false;
    m_running = true;
    const std::string local = localFile();
    if (!writeFile(local, std::string(kTestLine) + "\r\n")) {
        m_detail = "cannot write the test file " + local;
        QTimer::singleShot(0, &m_context, [this] { finish(false); });
        return;
    }
    m_client.put(local, kRemoteName, [this, local](Status put) {
        note(put, "upload");
        removeQuietly(local);
        m_client.get(kRemoteName, local, [this, local](Status get) {
            note(get, "download");
            m_downloadWorked = fileExists(local);
            removeQuietly(local);
            m_client.remove(kRemoteName, [this, local](Status first) {
                note(first, "delete");
                m_client.remove(kRemoteName, [this, local](Status) {
                    // The second delete finds nothing when the first worked.
                    m_client.get(kRemoteName, local, [this, local](Status) {
                        const bool gone = !fileExists(local);
                        if (!gone && m_detail.empty())
                            m_detail = "the test file is still on the server after deleting it";
                        finish(m_downloadWorked && gone);
                    });
                });
            });
        });
    });
}

bool ConnectionTester::runAndWait()
{
    QEventLoop loop;
    bool passed = false;
    run([&](bool result) {
        passed = result;
        loop.quit();
    });
    loop.exec();
    return passed;
}

void showConnectionTestResult(bool passed, const std::string &detail, const Messages &messages,
                              Prompter &prompter)
{
    const QString title = messages.qtext(0);
    if (passed) {
        prompter.notice(239, messages.qtext(239), title);
        return;
    }
    QString text = messages.qtext(240);
    if (!detail.empty())
        text += QStringLiteral("\n") + fromCp1252(detail);
    prompter.error(240, text, title);
}

} // namespace kel
