// Helpers of the transfer tests: waiting on the event loop, and the Python
// programs they talk to (an independent wire peer, a private FTP server).
#pragma once

#include <QProcess>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

namespace kel::test {

// Runs the event loop until `done` holds or `ms` have passed; false then.
bool waitFor(const std::function<bool()> &done, int ms);

// A Python helper of tests/transfer, run with the system's python3.
class PythonHelper
{
public:
    PythonHelper(const std::string &script, const QStringList &args);
    ~PythonHelper();
    PythonHelper(const PythonHelper &) = delete;
    PythonHelper &operator=(const PythonHelper &) = delete;

    bool started() const { return m_started; }
    // The next line it prints (without its end), waiting up to `ms` on the
    // event loop; empty when none came.
    std::string readLine(int ms = 10000);
    // Waits for it to end; its exit code, or -1 when it did not end.
    int wait(int ms = 30000);
    std::string errors();
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    bool m_started = false;
};

// pyftpdlib on 127.0.0.1 over `root` (users "writer" and "reader", password
// "pw"; downloads of `refused` names answered 550), stopped at the end.
class FtpServer
{
public:
    explicit FtpServer(const std::string &root, const QStringList &refused = {});
    bool ok() const { return m_port > 0; }
    int port() const { return m_port; }
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    PythonHelper m_helper;
    int m_port = 0;
};

// A port on 127.0.0.1 that nothing listens on right now.
uint16_t freePort();

std::string readAll(const std::string &path);

// The names in a folder, sorted.
std::vector<std::string> entries(const std::string &folder);

// `n` bytes of every value, the same for the same seed.
std::string randomBytes(size_t n, unsigned seed);

} // namespace kel::test
