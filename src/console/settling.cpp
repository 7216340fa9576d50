#include "console/settling.h"

#include <algorithm>
#include <unordered_set>

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

void IntakeTracker::note(const std::string &name, FileEvent event, int64_t nowMs)
{
    switch (event) {
    case FileEvent::Removed:
        m_files.erase(name);
        return;
    case FileEvent::Created:
    case FileEvent::Written:
        m_files[name] = State{true, nowMs};
        return;
    case FileEvent::Closed:
        m_files[name] = State{false, nowMs};
        return;
    case FileEvent::MovedIn:
        // Complete at once: its quiet time is already over.
        m_files[name] = State{false, nowMs - m_closedQuietMs};
        return;
    }
}

void IntakeTracker::keepOnly(const std::vector<const std::vector<QueueEntry> *> &seen)
{
    if (m_files.empty())
        return;
    std::unordered_set<std::string_view> present;
    for (const std::vector<QueueEntry> *list : seen) {
        for (const QueueEntry &e : *list)
            present.insert(e.name);
    }
    std::erase_if(m_files, [&](const auto &item) { return !present.contains(item.first); });
}

bool IntakeTracker::complete(const std::string &name, int64_t nowMs) const
{
    const auto it = m_files.find(name);
    return it != m_files.end() && !it->second.writing && nowMs - it->second.atMs >= m_closedQuietMs;
}

std::optional<int64_t> IntakeTracker::nextCompleteAt(int64_t nowMs) const
{
    std::optional<int64_t> next;
    for (const auto &[name, s] : m_files) {
        const int64_t at = s.atMs + m_closedQuietMs;
        if (!s.writing && at > nowMs)
            next = next ? std::min(*next, at) : at;
    }
    return next;
}

} // namespace kel
