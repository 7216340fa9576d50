#include "transfer/curlftp.h"

#include "transfer/workfiles.h"

#include <QSocketNotifier>
#include <cstdio>
#include <curl/curl.h>
#include <filesystem>
#include <mutex>

namespace kel {
namespace {

// A listing keeps at most this much (a thousand names are far less).
constexpr size_t kListingCap = 4 * 1024 * 1024;

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string temporaryBeside(const std::string &path)
{
    return (std::filesystem::path(path).parent_path() / workingFileName("fetching")).string();
}

std::string escaped(const std::string &segment)
{
    char *e = curl_easy_escape(nullptr, segment.c_str(), static_cast<int>(segment.size()));
    std::string out = e ? e : "";
    curl_free(e);
    return out;
}

int socketCallback(CURL *, curl_socket_t socket, int what, void *client, void *)
{
    static_cast<CurlFtp *>(client)->watchSocket(socket, what);
    return 0;
}

int timerCallback(CURLM *, long milliseconds, void *client)
{
    static_cast<CurlFtp *>(client)->setTimeout(milliseconds);
    return 0;
}

// The end of a call that brings nothing back: done, or refused with `what`
// ("upload of NAME") and curl's reason.
std::function<void(CURLcode, const std::string &)> plainEnd(std::string what, FtpClient::Done done)
{
    return [what = std::move(what), done = std::move(done)](CURLcode code,
                                                            const std::string &error) {
        done(code == CURLE_OK ? Status() : Status(refusal(kNoMessage, what + " failed: " + error)));
    };
}

} // namespace

std::string remotePath(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

struct CurlFtp::Transfer
{
    std::function<void(CURLcode, const std::string &)> finished;
    std::FILE *file = nullptr;
    std::string listing;
    std::string temporary; // a download's working file
    std::string target;    // what it becomes
    curl_slist *commands = nullptr;
    char error[CURL_ERROR_SIZE] = {};

    ~Transfer()
    {
        if (file)
            std::fclose(file);
        if (!temporary.empty()) {
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
        }
        curl_slist_free_all(commands);
    }
};

struct CurlFtp::Watch
{
    QSocketNotifier *read = nullptr;
    QSocketNotifier *write = nullptr;
};

CurlFtp::CurlFtp(QObject *parent) : QObject(parent)
{
    initialiseCurl();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, socketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, timerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { socketAction(CURL_SOCKET_TIMEOUT, 0); });
}

CurlFtp::~CurlFtp()
{
    *m_alive = false;
    for (auto &[easy, transfer] : m_transfers) {
        curl_multi_remove_handle(m_multi, easy);
        curl_easy_cleanup(easy);
    }
    m_transfers.clear();
    curl_multi_cleanup(m_multi);
    for (auto &[socket, watch] : m_watches) {
        delete watch->read;
        delete watch->write;
    }
}

void CurlFtp::setConnection(const Connection &connection)
{
    m_connection = connection;
}

// The host goes into the address as it is written (with its port, if any);
// characters that would change what the address means are refused.
Status CurlFtp::checkHost() const
{
    const std::string &host = m_connection.host;
    if (host.empty())
        return refusal(kNoMessage, "the connection names no FTP server");
    for (char c : host) {
        if (c == '/' || c == '\\' || c == '@' || c == '?' || c == '#' ||
            static_cast<unsigned char>(c) <= ' ')
            return refusal(kNoMessage, "not a server name: " + host);
    }
    return {};
}

// "ftp://" + host + the folder and name, each part escaped. A folder that
// starts with "/" is absolute: its first "/" is written as %2F, which curl
// sends as a change to the root folder.
std::string CurlFtp::url(const std::string &name) const
{
    std::string out = "ftp://" + m_connection.host + "/";
    const std::string path = remotePath(m_connection.folder, name);
    size_t pos = 0;
    if (!path.empty() && path.front() == '/') {
        out += "%2F";
        pos = 1;
    }
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        out += escaped(path.substr(pos, slash - pos));
        if (slash < path.size())
            out += "/";
        pos = slash + 1;
    }
    return out;
}

void *CurlFtp::newHandle(Transfer &transfer, const std::string &address)
{
    CURL *easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, address.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(easy, CURLOPT_USERNAME, m_connection.user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, m_connection.password.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(easy, CURLOPT_FTP_RESPONSE_TIMEOUT, 60L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 60L);
    // Each call logs in on its own connection: a control connection taken
    // over from the previous call has been seen to stall the next data
    // connection under the multi interface, and a few logins cost nothing
    // beside the files they fetch.
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.error);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    return easy;
}

void CurlFtp::add(void *easy, std::unique_ptr<Transfer> transfer)
{
    m_transfers.emplace(easy, std::move(transfer));
    curl_multi_add_handle(m_multi, easy);
}

void CurlFtp::failLater(std::function<void(Status)> done, const std::string &detail)
{
    QTimer::singleShot(0, this,
                       [done = std::move(done), detail] { done(refusal(kNoMessage, detail)); });
}

void CurlFtp::list(Listed done)
{
    if (Status host = checkHost(); !host) {
        failLater([done](Status s) { done(s.refusal()); }, host.refusal().detail);
        return;
    }
    auto transfer = std::make_unique<Transfer>();
    Transfer *t = transfer.get();
    std::string folderUrl = url("");
    CURL *easy = newHandle(*t, folderUrl);
    curl_easy_setopt(easy, CURLOPT_DIRLISTONLY, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, t);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION,
        +[](char *data, size_t size, size_t count, void *user) -> size_t {
            auto *tr = static_cast<Transfer *>(user);
            const size_t n = size * count;
            if (tr->listing.size() < kListingCap)
                tr->listing.append(data, std::min(n, kListingCap - tr->listing.size()));
            return n;
        });
    t->finished = [t, done = std::move(done)](CURLcode code, const std::string &error) {
        if (code == CURLE_OK)
            done(std::move(t->listing));
        else
            done(refusal(kNoMessage, "listing failed: " + error));
    };
    add(easy, std::move(transfer));
}

void CurlFtp::get(const std::string &name, const std::string &localPath, Done done)
{
    if (Status host = checkHost(); !host) {
        failLater(std::move(done), host.refusal().detail);
        return;
    }
    auto transfer = std::make_unique<Transfer>();
    Transfer *t = transfer.get();
    t->target = localPath;
    t->temporary = temporaryBeside(localPath);
    t->file = std::fopen(t->temporary.c_str(), "wbx");
    if (!t->file) {
        t->temporary.clear();
        failLater(std::move(done), "cannot write beside " + localPath);
        return;
    }
    CURL *easy = newHandle(*t, url(name));
    // Without a write function curl writes to the FILE itself.
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, t->file);
    t->finished = [t, name, done = std::move(done)](CURLcode code, const std::string &error) {
        bool ok = code == CURLE_OK;
        std::string why = error;
        if (std::fclose(t->file) != 0 && ok) {
            ok = false;
            why = "cannot write " + t->target;
        }
        t->file = nullptr;
        if (ok) {
            std::error_code ec;
            std::filesystem::rename(t->temporary, t->target, ec);
            if (ec) {
                ok = false;
                why = "cannot write " + t->target + ": " + ec.message();
            } else {
                t->temporary.clear();
            }
        }
        done(ok ? Status()
                : Status(refusal(kNoMessage, "download of " + name + " failed: " + why)));
    };
    add(easy, std::move(transfer));
}

void CurlFtp::remove(const std::string &name, Done done)
{
    if (Status host = checkHost(); !host) {
        failLater(std::move(done), host.refusal().detail);
        return;
    }
    const std::string path = remotePath(m_connection.folder, name);
    if (path.find_first_of("\r\n") != std::string::npos) {
        failLater(std::move(done), "not a file name: " + name);
        return;
    }
    auto transfer = std::make_unique<Transfer>();
    Transfer *t = transfer.get();
    // DELE with the path as the connection writes it, from the login
    // folder; the address itself names no file, so nothing is transferred.
    t->commands = curl_slist_append(nullptr, ("DELE " + path).c_str());
    CURL *easy = newHandle(*t, "ftp://" + m_connection.host + "/");
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_QUOTE, t->commands);
    t->finished = plainEnd("delete of " + name, std::move(done));
    add(easy, std::move(transfer));
}

void CurlFtp::put(const std::string &localPath, const std::string &name, Done done)
{
    if (Status host = checkHost(); !host) {
        failLater(std::move(done), host.refusal().detail);
        return;
    }
    auto transfer = std::make_unique<Transfer>();
    Transfer *t = transfer.get();
    t->file = std::fopen(localPath.c_str(), "rb");
    if (!t->file) {
        failLater(std::move(done), "cannot read " + localPath);
        return;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(localPath, ec);
    CURL *easy = newHandle(*t, url(name));
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READDATA, t->file);
    if (!ec)
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    t->finished = plainEnd("upload of " + name, std::move(done));
    add(easy, std::move(transfer));
}

void CurlFtp::watchSocket(long long socket, int what)
{
    if (what == CURL_POLL_REMOVE) {
        auto it = m_watches.find(socket);
        if (it == m_watches.end())
            return;
        // The notifier may be the one whose signal runs now.
        for (QSocketNotifier *n : {it->second->read, it->second->write}) {
            if (n) {
                n->setEnabled(false);
                n->deleteLater();
            }
        }
        m_watches.erase(it);
        return;
    }
    std::unique_ptr<Watch> &watch = m_watches[socket];
    if (!watch) {
        watch = std::make_unique<Watch>();
        watch->read =
            new QSocketNotifier(static_cast<qintptr>(socket), QSocketNotifier::Read, this);
        watch->write =
            new QSocketNotifier(static_cast<qintptr>(socket), QSocketNotifier::Write, this);
        connect(watch->read, &QSocketNotifier::activated, this,
                [this, socket] { socketAction(socket, CURL_CSELECT_IN); });
        connect(watch->write, &QSocketNotifier::activated, this,
                [this, socket] { socketAction(socket, CURL_CSELECT_OUT); });
    }
    watch->read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watch->write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

void CurlFtp::setTimeout(long milliseconds)
{
    if (milliseconds < 0)
        m_timer.stop();
    else
        m_timer.start(static_cast<int>(milliseconds));
}

void CurlFtp::socketAction(long long socket, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, static_cast<curl_socket_t>(socket), events, &running);
    collectFinished();
}

// Transfers that ended are taken out first and their callbacks run after, as
// a callback may start new transfers or end this client.
void CurlFtp::collectFinished()
{
    std::vector<std::pair<std::unique_ptr<Transfer>, CURLcode>> ended;
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL *easy = message->easy_handle;
        const CURLcode code = message->data.result;
        curl_multi_remove_handle(m_multi, easy);
        curl_easy_cleanup(easy);
        auto it = m_transfers.find(easy);
        if (it == m_transfers.end())
            continue;
        ended.emplace_back(std::move(it->second), code);
        m_transfers.erase(it);
    }
    const std::weak_ptr<bool> alive = m_alive;
    for (auto &[transfer, code] : ended) {
        if (alive.expired())
            return;
        std::string error = transfer->error[0] ? transfer->error : curl_easy_strerror(code);
        transfer->finished(code, error);
    }
}

} // namespace kel
