#include "ServerSockets.h"

#include "GatewayLog.h"

#include <modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

namespace kv10::gw {

PeerAddress peerAddress(int socket)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return {QStringLiteral("(unknown)"), 0};
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &ipv4.sin_addr, text, sizeof text);
        return {QString::fromLatin1(text) + QLatin1Char(':') + QString::number(ntohs(ipv4.sin_port)),
                ntohl(ipv4.sin_addr.s_addr)};
    }
    if (address.ss_family == AF_INET6) {
        const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(address);
        const QString port = QString::number(ntohs(ipv6.sin6_port));
        // A v4-mapped peer of a dual-stack socket is an IPv4 client.
        if (IN6_IS_ADDR_V4MAPPED(&ipv6.sin6_addr)) {
            in_addr ipv4{};
            ::memcpy(&ipv4, ipv6.sin6_addr.s6_addr + 12, sizeof ipv4);
            ::inet_ntop(AF_INET, &ipv4, text, sizeof text);
            return {QString::fromLatin1(text) + QLatin1Char(':') + port, ntohl(ipv4.s_addr)};
        }
        ::inet_ntop(AF_INET6, &ipv6.sin6_addr, text, sizeof text);
        return {QLatin1Char('[') + QString::fromLatin1(text) + QStringLiteral("]:") + port, 0};
    }
    return {QStringLiteral("(unknown)"), 0};
}

int boundPort(int socket)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return 0;
}

std::optional<uint32_t> parseIPv4(const QString& text)
{
    in_addr address{};
    if (::inet_pton(AF_INET, text.trimmed().toLatin1().constData(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

QString errorText(int code)
{
    if (code >= MODBUS_ENOBASE)
        return QString::fromLatin1(modbus_strerror(code));
    return systemErrorText(code);
}

} // namespace kv10::gw
