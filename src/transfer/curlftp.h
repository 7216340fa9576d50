// FtpClient over libcurl's multi interface, driven from the Qt event loop:
// curl says which sockets to watch and when to wake up; QSocketNotifiers and
// one QTimer call curl_multi_socket_action back. Nothing blocks.
//
// Every transfer has a connect limit of 20 seconds and is dropped when less
// than one byte a second moves for 60 seconds, so a server that stops
// answering ends the call with an error instead of holding the console.
#pragma once

#include "transfer/ftpclient.h"

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

class QSocketNotifier;

namespace kel {

class CurlFtp : public QObject, public FtpClient
{
public:
    explicit CurlFtp(QObject *parent = nullptr);
    // Transfers under way are dropped without their callbacks; their
    // temporary files are removed.
    ~CurlFtp() override;

    void setConnection(const Connection &connection) override;
    void list(Listed done) override;
    void get(const std::string &name, const std::string &localPath, Done done) override;
    void remove(const std::string &name, Done done) override;
    void put(const std::string &localPath, const std::string &name, Done done) override;

    // Transfers under way.
    int running() const { return static_cast<int>(m_transfers.size()); }

    // The curl callbacks' way in; not for other callers.
    void watchSocket(long long socket, int what);
    void setTimeout(long milliseconds);

private:
    struct Transfer;
    struct Watch;

    void *newHandle(Transfer &transfer, const std::string &address);
    void add(void *easy, std::unique_ptr<Transfer> transfer);
    void failLater(std::function<void(Status)> done, const std::string &detail);
    void socketAction(long long socket, int events);
    void collectFinished();
    std::string url(const std::string &name) const;
    Status checkHost() const;

    void *m_multi;
    QTimer m_timer;
    std::map<long long, std::unique_ptr<Watch>> m_watches;
    std::map<void *, std::unique_ptr<Transfer>> m_transfers;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace kel
