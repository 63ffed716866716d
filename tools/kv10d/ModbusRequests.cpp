#include "ModbusRequests.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace kv10::gw::modbus {

namespace {

constexpr int MbapSize = 7;   // transaction id, protocol id, length, unit id

uint16_t wordAt(const QByteArray& bytes, qsizetype at)
{
    return qFromBigEndian<uint16_t>(bytes.constData() + at);
}

void appendWord(QByteArray& bytes, uint16_t word)
{
    bytes.append(char(word >> 8)).append(char(word & 0xFF));
}

// MBAP header and PDU; the length field counts the unit id and the PDU.
QByteArray adu(uint16_t transactionId, uint8_t unit, const QByteArray& pdu)
{
    QByteArray bytes;
    bytes.reserve(MbapSize + pdu.size());
    appendWord(bytes, transactionId);
    appendWord(bytes, 0);
    appendWord(bytes, uint16_t(pdu.size() + 1));
    bytes.append(char(unit)).append(pdu);
    return bytes;
}

QByteArray exceptionAdu(uint16_t transactionId, uint8_t unit, uint8_t function, ExceptionCode code)
{
    QByteArray pdu;
    pdu.append(char(function | 0x80)).append(char(code));
    return adu(transactionId, unit, pdu);
}

// High word first, each word big-endian: the float's bytes in network order.
void appendFloat(std::vector<uint16_t>& words, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    words.push_back(uint16_t(bits >> 16));
    words.push_back(uint16_t(bits & 0xFFFF));
}

float floatFrom(uint16_t high, uint16_t low)
{
    const uint32_t bits = (uint32_t(high) << 16) | low;
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint16_t tenfold(float value)
{
    if (std::isnan(value))
        return uint16_t(int16_t(-32768));
    const double scaled = std::round(double(value) * 10.0);
    const double bounded = std::clamp(scaled, -32768.0, 32767.0);
    return uint16_t(int16_t(bounded));
}

uint16_t ageSeconds(const UnitView& unit, qint64 nowMs)
{
    if (!unit.hasSample)
        return NoSampleAge;
    const qint64 seconds = std::max<qint64>(0, nowMs - unit.sampleMs) / 1000;
    return uint16_t(std::min<qint64>(seconds, NoSampleAge - 1));
}

QByteArray readReply(uint16_t transactionId, uint8_t unit, uint8_t function,
                     const std::vector<uint16_t>& registers, int address, int count)
{
    QByteArray pdu;
    pdu.reserve(2 + 2 * count);
    pdu.append(char(function)).append(char(2 * count));
    for (int i = address; i < address + count; ++i)
        appendWord(pdu, registers[size_t(i)]);
    return adu(transactionId, unit, pdu);
}

RequestAction reply(QByteArray bytes, QString note = {})
{
    RequestAction action;
    action.reply = std::move(bytes);
    action.note = std::move(note);
    return action;
}

RequestAction close(QString why)
{
    RequestAction action;
    action.kind = RequestAction::Kind::Close;
    action.note = std::move(why);
    return action;
}

} // namespace

std::vector<uint16_t> inputRegisters(const UnitView& unit, qint64 nowMs)
{
    const LiveTable& live = unit.live;
    std::vector<uint16_t> words;
    words.reserve(InputRegisterCount);
    appendFloat(words, live.meas);
    appendFloat(words, live.sp);
    appendFloat(words, live.ts);
    words.push_back(uint16_t(uint32_t(live.yout) & 0xFFFF));
    words.push_back(live.outs);
    words.push_back(live.fault);
    words.push_back(ageSeconds(unit, nowMs));
    words.push_back(unit.online ? 1 : 0);
    words.push_back(tenfold(live.meas));
    words.push_back(tenfold(live.sp));
    words.push_back(tenfold(live.ts));
    return words;
}

RequestAction handleRequest(const QByteArray& request, uint32_t clientIPv4, const WritePolicy& policy,
                            const UnitLookup& lookUpUnit, qint64 nowMs)
{
    if (request.size() < MbapSize + 1)
        return close(QStringLiteral("frame of %1 bytes").arg(request.size()));
    if (const uint16_t protocol = wordAt(request, 2); protocol != 0)
        return close(QStringLiteral("protocol id %1").arg(protocol));
    if (const uint16_t length = wordAt(request, 4); length != request.size() - 6)
        return close(QStringLiteral("length field %1 for %2 bytes").arg(length).arg(request.size() - 6));

    const uint16_t transactionId = wordAt(request, 0);
    const uint8_t unitId = uint8_t(request[6]);
    const uint8_t function = uint8_t(request[7]);
    const qsizetype pduSize = request.size() - MbapSize;
    const auto refuse = [&](ExceptionCode code, QString note = {}) {
        return reply(exceptionAdu(transactionId, unitId, function, code), std::move(note));
    };

    const std::optional<UnitView> unit = lookUpUnit(unitId);
    if (!unit)
        return refuse(GatewayTargetFailed);
    if (function != ReadHoldingRegisters && function != ReadInputRegisters && function != WriteMultipleRegisters)
        return refuse(IllegalFunction);

    if (function == WriteMultipleRegisters) {
        if (pduSize < 6)
            return refuse(IllegalDataValue);
        const int address = wordAt(request, 8);
        const int count = wordAt(request, 10);
        const int byteCount = uint8_t(request[12]);
        if (count != 2 || byteCount != 2 * count || pduSize != 6 + byteCount)
            return refuse(IllegalDataValue);
        if (address != 0)
            return refuse(IllegalDataAddress);
        if (!unit->online)
            return refuse(GatewayTargetFailed);
        if (!policy.allowWrite)
            return refuse(IllegalFunction, QStringLiteral("writing is not allowed"));
        const auto& allowed = policy.writeClients;
        if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), clientIPv4) == allowed.end())
            return refuse(IllegalFunction, QStringLiteral("client not allowed to write"));
        const float value = floatFrom(wordAt(request, 13), wordAt(request, 15));
        if (!std::isfinite(value))
            return refuse(IllegalDataValue, QStringLiteral("not a finite value"));
        RequestAction action;
        action.kind = RequestAction::Kind::Write;
        action.write = PendingWrite{transactionId, unitId, value};
        return action;
    }

    if (pduSize != 5)
        return refuse(IllegalDataValue);
    const int address = wordAt(request, 8);
    const int count = wordAt(request, 10);
    if (count == 0 || count > MaxReadCount)
        return refuse(IllegalDataValue);
    const int registerCount = function == ReadInputRegisters ? InputRegisterCount : HoldingRegisterCount;
    if (address + count > registerCount)
        return refuse(IllegalDataAddress);
    if (!unit->online)
        return refuse(GatewayTargetFailed);

    if (function == ReadInputRegisters)
        return reply(readReply(transactionId, unitId, function, inputRegisters(*unit, nowMs), address, count));
    if (!unit->setpoint)
        return refuse(GatewayTargetFailed);
    std::vector<uint16_t> holding;
    appendFloat(holding, *unit->setpoint);
    return reply(readReply(transactionId, unitId, function, holding, address, count));
}

QByteArray writeReply(const PendingWrite& write, WriteOutcome outcome)
{
    switch (outcome) {
    case WriteOutcome::Written: {
        QByteArray pdu(1, char(WriteMultipleRegisters));
        appendWord(pdu, 0);
        appendWord(pdu, HoldingRegisterCount);
        return adu(write.transactionId, write.unit, pdu);
    }
    case WriteOutcome::Refused:
        return exceptionAdu(write.transactionId, write.unit, WriteMultipleRegisters, ServerDeviceFailure);
    case WriteOutcome::NoAnswer:
    case WriteOutcome::Offline:
        break;
    }
    return exceptionAdu(write.transactionId, write.unit, WriteMultipleRegisters, GatewayTargetFailed);
}

} // namespace kv10::gw::modbus
