// The Modbus request handler: the first byte picks the write policy and the clock, the rest is
// the request as libmodbus would hand it over (or would not: any bytes at all). Every write it
// asks for is answered with each outcome.
#include "ModbusRequests.h"

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace kv10;
using namespace kv10::gw;
using namespace kv10::gw::modbus;

namespace {

// Units 0-4 configured: 0 offline, 1 with a sample and a setpoint, 2 without either,
// 3 with values beyond every register's range, 4 with a sample from the future.
std::optional<UnitView> unitFor(int unit)
{
    if (unit < 0 || unit > 4)
        return std::nullopt;
    UnitView view;
    view.online = unit != 0;
    if (unit == 1 || unit == 3 || unit == 4) {
        view.hasSample = true;
        view.sampleMs = unit == 4 ? 1'000'000'000'000 : 0;
        view.setpoint = 40.0f;
    }
    if (unit == 1)
        view.live = LiveTable{21.5f, 5, 22.0f, 0x00012345, -3.25f, 0, 2};
    if (unit == 3)
        view.live = LiveTable{NAN, 255, INFINITY, INT32_MIN, -INFINITY, 255, 255};
    return view;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t selector = data[0];
    WritePolicy policy;
    policy.allowWrite = selector & 0x01;
    if (selector & 0x02)
        policy.writeClients = {0x7F000001, 0x0A000005};
    const qint64 nowMs = (selector & 0x04) ? std::numeric_limits<qint64>::max() : qint64(selector) * 977;
    const QByteArray request(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const RequestAction action = handleRequest(request, 0x7F000001, policy, unitFor, nowMs);
    if (action.kind == RequestAction::Kind::Reply) {
        // A reply echoes the transaction and unit and counts its own bytes.
        const QByteArray& reply = action.reply;
        if (reply.size() < 9 || reply.left(2) != request.left(2) || reply[6] != request[6]
            || ((uchar(reply[4]) << 8) | uchar(reply[5])) != reply.size() - 6)
            std::abort();
    }
    if (action.kind == RequestAction::Kind::Write) {
        if (!std::isfinite(action.write.value) || !policy.allowWrite)
            std::abort();
        for (const WriteOutcome outcome : {WriteOutcome::Written, WriteOutcome::Refused,
                                           WriteOutcome::NoAnswer, WriteOutcome::Offline})
            writeReply(action.write, outcome);
    }
    return 0;
}
