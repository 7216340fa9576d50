// FTP as the fetcher and the connection tester use it: list a folder's
// names, get, delete and put one file. Every call returns at once; its end
// comes through its callback, always later from the event loop, never from
// inside the call.
#pragma once

#include "app/result.h"
#include "transfer/connectionfile.h"

#include <functional>
#include <string>

namespace kel {

class FtpClient
{
public:
    using Done = std::function<void(Status)>;
    using Listed = std::function<void(Result<std::string>)>;

    virtual ~FtpClient() = default;

    // The server, account and folder of the calls that follow; calls under
    // way keep the connection they started with.
    virtual void setConnection(const Connection &connection) = 0;
    const Connection &connection() const { return m_connection; }

    // The names in the connection's folder, as the server sends them (one a
    // line; NLST).
    virtual void list(Listed done) = 0;
    // Downloads folder/name into `localPath`: written beside it under a
    // temporary name outside every queue filter, and renamed to `localPath`
    // only when complete; a failed download leaves nothing.
    virtual void get(const std::string &name, const std::string &localPath, Done done) = 0;
    // Deletes folder/name on the server.
    virtual void remove(const std::string &name, Done done) = 0;
    // Uploads `localPath` as folder/name.
    virtual void put(const std::string &localPath, const std::string &name, Done done) = 0;

protected:
    Connection m_connection;
};

// The path of a file in the remote folder as FTP commands take it: the folder
// as written (relative to the login folder, or absolute), "/", the name.
std::string remotePath(const std::string &folder, const std::string &name);

} // namespace kel
