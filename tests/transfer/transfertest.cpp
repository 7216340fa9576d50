#include "transfertest.h"

#include "app/text.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <random>

namespace kel::test {

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

PythonHelper::PythonHelper(const std::string &script, const QStringList &args)
{
    QStringList all{QStringLiteral(KEL_TRANSFER_TESTS "/") + QString::fromStdString(script)};
    all += args;
    m_process.start(QStringLiteral(KEL_PYTHON), all);
    m_started = m_process.waitForStarted(10000);
}

PythonHelper::~PythonHelper()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

std::string PythonHelper::readLine(int ms)
{
    if (!waitFor(
            [this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; },
            ms))
        return {};
    if (!m_process.canReadLine())
        return {};
    return m_process.readLine().trimmed().toStdString();
}

int PythonHelper::wait(int ms)
{
    if (!waitFor([this] { return m_process.state() == QProcess::NotRunning; }, ms))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

std::string PythonHelper::errors()
{
    return m_process.readAllStandardError().toStdString();
}

FtpServer::FtpServer(const std::string &root, const QStringList &refused)
    : m_helper("ftpserver.py", [&] {
          QStringList args{QStringLiteral("--root"), QString::fromStdString(root)};
          for (const QString &name : refused)
              args << QStringLiteral("--refuse") << name;
          return args;
      }())
{
    const std::string line = m_helper.readLine();
    if (line.rfind("port ", 0) == 0)
        m_port = std::stoi(line.substr(5));
}

uint16_t freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

std::string readAll(const std::string &path)
{
    std::string bytes;
    kel::readFile(path, bytes);
    return bytes;
}

std::vector<std::string> entries(const std::string &folder)
{
    std::vector<std::string> out;
    for (const auto &e : std::filesystem::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string randomBytes(size_t n, unsigned seed)
{
    std::mt19937 engine(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(engine() & 0xFF);
    return s;
}

} // namespace kel::test
