// Who may connect to the console's receiver: the KEL.INI key TCP_ALLOW,
// addresses, networks in CIDR form ("10.1.0.0/16", "fd00::/8") and host
// names, separated by ";". A name is resolved once, when the list is made;
// its addresses are allowed from then on.
//
// An empty key allows anyone, as a receiver always has. A key whose entries
// all fail to read allows nobody: a site that meant to restrict its receiver
// is never left open by a typing error.
#pragma once

#include <QHostAddress>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kel {

class AllowList
{
public:
    // A host name's addresses; empty when it cannot be resolved.
    using Resolver = std::function<std::vector<QHostAddress>(const std::string &name)>;

    // Anyone.
    AllowList() = default;

    // Reads the key's text. Entries that are neither an address, a network
    // nor a name that resolves are added to `bad` (as written) and allow
    // nothing. Without `resolve` names are looked up in the system's
    // resolver (blocking: call it at start, not per connection).
    static AllowList parse(std::string_view text, std::vector<std::string> &bad,
                           const Resolver &resolve = {});

    bool anyone() const { return m_anyone; }
    // An IPv4 address that reaches an IPv6 socket ("::ffff:10.0.0.1") counts
    // as the IPv4 address it is.
    bool allows(const QHostAddress &peer) const;

private:
    bool m_anyone = true;
    std::vector<std::pair<QHostAddress, int>> m_networks; // address, prefix length
};

// The address as the console says it: an IPv4 address that reached an IPv6
// socket is written as the IPv4 address it is.
QHostAddress plainAddress(const QHostAddress &address);
std::string addressText(const QHostAddress &address);

} // namespace kel
