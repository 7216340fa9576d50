// A print scheduler on 127.0.0.1 that accepts every connection and never
// answers, as a stopped cupsd looks to its clients. While the object lives,
// CUPS_SERVER points libcups at it (in this process and the programs it
// starts); a thread that already asked libcups for its server calls
// cupsSetServer(nullptr) to read the variable again.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kel::test {

class SilentScheduler
{
public:
    SilentScheduler()
    {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            listen(m_listener, 16) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            ADD_FAILURE() << "no port on 127.0.0.1";
        const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        if (const char *old = std::getenv("CUPS_SERVER"))
            m_oldServer = old;
        setenv("CUPS_SERVER", server.c_str(), 1);
        m_thread = std::thread([this] { acceptAll(); });
    }
    ~SilentScheduler()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_connections)
            close(fd);
        close(m_listener);
        if (m_oldServer.empty())
            unsetenv("CUPS_SERVER");
        else
            setenv("CUPS_SERVER", m_oldServer.c_str(), 1);
    }
    SilentScheduler(const SilentScheduler &) = delete;
    SilentScheduler &operator=(const SilentScheduler &) = delete;

    int connections() const { return m_accepted; }

private:
    void acceptAll()
    {
        while (!m_stop) {
            pollfd p{m_listener, POLLIN, 0};
            if (poll(&p, 1, 50) == 1) {
                const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    m_connections.push_back(fd);
                    ++m_accepted;
                }
            }
        }
    }

    int m_listener = -1;
    std::string m_oldServer;
    std::vector<int> m_connections;
    std::atomic<int> m_accepted{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace kel::test
