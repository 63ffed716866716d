#pragma once
// Socket addresses and error texts for the gateway's servers, the same in every locale.
#include <QString>
#include <cstdint>
#include <optional>

namespace kv10::gw {

struct PeerAddress {
    QString name;        // "192.168.1.20:50312", "[::1]:50312"
    uint32_t ipv4 = 0;   // host order; 0 when the peer is not IPv4
};

PeerAddress peerAddress(int socket);
int boundPort(int socket);
// A dotted IPv4 address in host order; nullopt for anything else.
std::optional<uint32_t> parseIPv4(const QString& text);
// systemErrorText(), and libmodbus's own codes.
QString errorText(int code);

} // namespace kv10::gw
