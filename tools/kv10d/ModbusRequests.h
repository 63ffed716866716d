#pragma once
// The Modbus TCP request handler, without sockets: one framed request (MBAP header and PDU) in,
// what to do about it out. The server feeds it the bytes libmodbus framed and a copy of the
// addressed unit's state, so every register and exception can be checked byte for byte.
#include "Sample.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kv10::gw::modbus {

// Register map, per unit.
constexpr int InputRegisterCount = 14;     // 0-13
constexpr int HoldingRegisterCount = 2;    // 0-1: COMP.SP
constexpr int MaxReadCount = 125;
constexpr uint16_t NoSampleAge = 65535;

enum FunctionCode : uint8_t {
    ReadHoldingRegisters = 0x03,
    ReadInputRegisters = 0x04,
    WriteMultipleRegisters = 0x10,
};

enum ExceptionCode : uint8_t {
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
    ServerDeviceFailure = 0x04,
    GatewayTargetFailed = 0x0B,
};

// What the registers of one configured unit show.
struct UnitView {
    bool online = false;
    bool hasSample = false;
    LiveTable live;
    qint64 sampleMs = 0;             // the sample's time on the steady clock
    std::optional<float> setpoint;   // COMP.SP, once known
};

struct WritePolicy {
    bool allowWrite = false;
    std::vector<uint32_t> writeClients;   // IPv4 addresses in host order; empty: any client
};

// A setpoint write that waits for the line; its reply is built from the outcome.
struct PendingWrite {
    uint16_t transactionId = 0;
    uint8_t unit = 0;
    float value = 0;
};

struct RequestAction {
    enum class Kind { Reply, Write, Close };
    Kind kind = Kind::Reply;
    QByteArray reply;       // Reply: the whole ADU to send
    PendingWrite write;     // Write
    QString note;           // Close: why; Reply: why a write was refused (empty otherwise)
};

// nullopt: the unit is not configured.
using UnitLookup = std::function<std::optional<UnitView>(int unit)>;

RequestAction handleRequest(const QByteArray& adu, uint32_t clientIPv4, const WritePolicy& policy,
                            const UnitLookup& lookUpUnit, qint64 nowMs);

// The answer to a write once the line has its outcome.
QByteArray writeReply(const PendingWrite& write, WriteOutcome outcome);

// The input registers 0-13 of a unit.
std::vector<uint16_t> inputRegisters(const UnitView& unit, qint64 nowMs);

} // namespace kv10::gw::modbus
