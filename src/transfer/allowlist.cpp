#include "transfer/allowlist.h"

#include "app/text.h"

#include <QHostInfo>

namespace kel {
namespace {

std::vector<QHostAddress> systemResolve(const std::string &name)
{
    const QHostInfo info = QHostInfo::fromName(QString::fromStdString(name));
    std::vector<QHostAddress> out;
    if (info.error() == QHostInfo::NoError) {
        for (const QHostAddress &a : info.addresses())
            out.push_back(a);
    }
    return out;
}

int fullLength(const QHostAddress &a)
{
    return a.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
}

} // namespace

QHostAddress plainAddress(const QHostAddress &address)
{
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip) : address;
}

std::string addressText(const QHostAddress &address)
{
    return plainAddress(address).toString().toStdString();
}

AllowList AllowList::parse(std::string_view text, std::vector<std::string> &bad,
                           const Resolver &resolve)
{
    AllowList list;
    size_t from = 0;
    while (from <= text.size()) {
        size_t to = text.find(';', from);
        if (to == std::string_view::npos)
            to = text.size();
        const std::string entry = trimmedCopy(text.substr(from, to - from));
        from = to + 1;
        if (entry.empty())
            continue;
        list.m_anyone = false;
        const QString q = QString::fromStdString(entry);
        if (entry.find('/') != std::string::npos) {
            const auto [network, length] = QHostAddress::parseSubnet(q);
            if (network.isNull() || length < 0)
                bad.push_back(entry);
            else
                list.m_networks.emplace_back(plainAddress(network), length);
            continue;
        }
        if (QHostAddress address; address.setAddress(q)) {
            const QHostAddress plain = plainAddress(address);
            list.m_networks.emplace_back(plain, fullLength(plain));
            continue;
        }
        const std::vector<QHostAddress> found = resolve ? resolve(entry) : systemResolve(entry);
        if (found.empty())
            bad.push_back(entry);
        for (const QHostAddress &a : found) {
            const QHostAddress plain = plainAddress(a);
            list.m_networks.emplace_back(plain, fullLength(plain));
        }
    }
    return list;
}

bool AllowList::allows(const QHostAddress &peer) const
{
    if (m_anyone)
        return true;
    const QHostAddress plain = plainAddress(peer);
    for (const auto &[network, length] : m_networks) {
        if (plain.isInSubnet(network, length))
            return true;
    }
    return false;
}

} // namespace kel
