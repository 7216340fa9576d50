#include "transfer/protocol.h"

#include "app/text.h"
#include "transfer/workfiles.h"

#include <charconv>

namespace kel::wire {
namespace {

// A port written as 1 to 65535 in decimal digits alone.
bool parsePort(std::string_view text, uint16_t &port)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

} // namespace

uint16_t portSetting(std::string_view tcpPort)
{
    uint16_t port = kDefaultPort;
    return parsePort(trimmed(tcpPort), port) ? port : kDefaultPort;
}

Result<Destination> parseDestination(std::string_view sendTo, uint16_t defaultPort)
{
    const std::string_view text = trimmed(sendTo);
    Destination d;
    d.port = defaultPort;
    std::string_view portText;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return refusal(kNoMessage, "no \"]\" after the address in " + std::string(text));
        d.host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return refusal(kNoMessage, "not a host and port: " + std::string(text));
            portText = rest.substr(1);
            hasPort = true;
        }
    } else {
        // One ":" separates a port; more than one is a bare IPv6 address.
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos &&
            text.find(':', colon + 1) == std::string_view::npos) {
            d.host = std::string(text.substr(0, colon));
            portText = text.substr(colon + 1);
            hasPort = true;
        } else {
            d.host = std::string(text);
        }
    }
    if (d.host.empty())
        return refusal(kNoMessage, "no host in \"" + std::string(text) + "\"");
    if (hasPort && !parsePort(portText, d.port))
        return refusal(kNoMessage, "not a port: \"" + std::string(portText) + "\"");
    return d;
}

std::string receivedFileName(std::string_view message)
{
    const size_t equals = message.find('=');
    if (equals == std::string_view::npos)
        return {};
    std::string_view name = message.substr(equals + 1);
    const size_t cut = name.find_last_of("\\/");
    if (cut != std::string_view::npos)
        name = name.substr(cut + 1);
    return isPlainFileName(name) ? std::string(name) : std::string();
}

} // namespace kel::wire
