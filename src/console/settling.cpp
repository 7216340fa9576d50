#include "console/settling.h"

#include <algorithm>

namespace kel {

void SettleTracker::observe(const std::vector<const std::vector<QueueEntry> *> &seen, int64_t nowMs)
{
    for (auto &[name, s] : m_seen)
        s.stillThisLook = false;
    for (const std::vector<QueueEntry> *list : seen) {
        for (const QueueEntry &e : *list) {
            auto it = m_seen.find(e.name);
            if (it == m_seen.end()) {
                m_seen.emplace(e.name, Seen{e, nowMs, true});
            } else if (!it->second.entry.sameAs(e)) {
                it->second = Seen{e, nowMs, true};
            } else {
                it->second.stillThisLook = true;
            }
        }
    }
    std::erase_if(m_seen, [](const auto &item) { return !item.second.stillThisLook; });
}

bool SettleTracker::settled(const QueueEntry &entry, int64_t nowMs) const
{
    const auto it = m_seen.find(entry.name);
    return it != m_seen.end() && it->second.entry.sameAs(entry) &&
           nowMs - it->second.sinceMs >= m_quietMs;
}

std::optional<int64_t> SettleTracker::nextSettleAt(int64_t nowMs) const
{
    std::optional<int64_t> next;
    for (const auto &[name, s] : m_seen) {
        const int64_t at = s.sinceMs + m_quietMs;
        if (at > nowMs)
            next = next ? std::min(*next, at) : at;
    }
    return next;
}

} // namespace kel
