#include "printing/cupsconnection.h"

#include <algorithm>
#include <cups/cups.h>

namespace kel {

using Clock = std::chrono::steady_clock;

CupsConnection::CupsConnection(std::chrono::milliseconds limit, const std::atomic<bool> *cancel)
    : m_cancel(cancel)
{
    arm(limit);
    const Clock::time_point start = Clock::now();
    const int msec = static_cast<int>(std::max<int64_t>(1, limit.count()));
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, msec,
                          nullptr);
    if (!m_http) {
        m_timedOut = Clock::now() - start >= limit;
        return;
    }
    // Every wait on the connection returns after 250 ms of silence to ask
    // keepWaiting whether to go on.
    httpSetTimeout(m_http, 0.25, &CupsConnection::keepWaiting, this);
}

CupsConnection::~CupsConnection()
{
    if (m_http)
        httpClose(m_http);
}

void CupsConnection::arm(std::chrono::milliseconds limit)
{
    m_deadline = Clock::now() + limit;
}

int CupsConnection::keepWaiting(http_t *, void *self)
{
    auto *c = static_cast<CupsConnection *>(self);
    if ((c->m_cancel && c->m_cancel->load()) || Clock::now() >= c->m_deadline) {
        c->m_timedOut = true;
        return 0;
    }
    return 1;
}

} // namespace kel
