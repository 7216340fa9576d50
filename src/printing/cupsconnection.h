// A connection of our own to the CUPS scheduler, whose every wait has a
// time limit.
//
// libcups waits in poll() for the scheduler's answer; on its default
// connection a stopped scheduler holds the caller there for as long as it
// stays stopped. Our connection is opened with httpConnect2 within a limit,
// and httpSetTimeout makes each of libcups's waits on it return every 250 ms
// to ask a guard whether to go on: the guard says no once the limit armed
// before the call has passed, or when the caller cancels. libcups then
// gives up the request as it does for a lost connection (it tries a
// reconnection or two, each cut short the same way, and waits a second of
// its own per request first), so a call returns at most about 2.5 s after
// its limit.
//
// Only calls that take this connection are bounded: the printing layer
// passes it to every libcups call it makes and avoids the calls that fall
// back to connections of libcups's own (cupsGetNamedDest looks a missing
// queue up on the network).
#pragma once

#include <atomic>
#include <chrono>
#include <cups/http.h>

namespace kel {

class CupsConnection
{
public:
    // Connects to the scheduler the environment names (CUPS_SERVER, the
    // client.conf file, else the local one) within `limit`. `cancel`, when
    // given, ends every wait as soon as it becomes true.
    explicit CupsConnection(std::chrono::milliseconds limit,
                            const std::atomic<bool> *cancel = nullptr);
    ~CupsConnection();
    CupsConnection(const CupsConnection &) = delete;
    CupsConnection &operator=(const CupsConnection &) = delete;

    // The connection for libcups calls; null when it could not be opened.
    http_t *http() const { return m_http; }

    // The calls that follow have `limit` from now to be answered.
    void arm(std::chrono::milliseconds limit);
    // True once a wait was given up because its limit passed or the caller
    // cancelled (also when connecting ran out of time).
    bool timedOut() const { return m_timedOut; }

private:
    static int keepWaiting(http_t *http, void *self);

    http_t *m_http = nullptr;
    const std::atomic<bool> *m_cancel;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_timedOut = false;
};

} // namespace kel
