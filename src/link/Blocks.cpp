// Program and record block transfers: requests with an explicit table, byte count and
// start address, on the primitives of the telegram layer.
#include "Protocol.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <span>

namespace kv10 {

namespace {

constexpr int RecordTable = TableRecd;
constexpr int RecordBlockBytes = 64;
constexpr int RecordValuesPerBlock = RecordValueCount / RecordBlockCount;

// Kind 0: the start values of all programs; 1: one program's segment setpoints;
// anything else: one program's segment times.
struct ProgramBlock {
    int bytes;
    int address;
    std::span<float> floats;     // kinds 0 and 1
    std::span<int32_t> int16s;   // kind 2
};

ProgramBlock programBlock(ControllerImage& image, int kind, int program)
{
    switch (kind) {
    case BlockStartValues: return {40, 0, image.startValue, {}};
    case BlockSegmentSetpoints: return {80, 80 * program, image.segmentSetpoint[program], {}};
    default: return {40, 40 * program, {}, image.segmentTime[program]};
    }
}

bool isProgramNumber(int program)
{
    return program >= 0 && program < ProgramCount;
}

} // namespace

bool TelegramLink::ReadProgramBlock(int kind, int program, int table)
{
    if (!isProgramNumber(program))
        return false;
    const ProgramBlock block = programBlock(m_image, kind, program);
    bool answered = false;
    const bool ok = readExchange(table, block.bytes, block.address, answered);
    if (answered) {
        const uint8_t* at = m_rx.data() + DataUnitOffset;
        for (float& value : block.floats)
            at += GetFloat(at, value);
        for (int32_t& value : block.int16s)
            at += GetInt16(at, value);
    }
    return ok;
}

bool TelegramLink::WriteProgramBlock(int kind, int program, int table)
{
    if (!isProgramNumber(program))
        return false;
    const ProgramBlock block = programBlock(m_image, kind, program);
    uint8_t* at = m_tx.data() + BlockDataOffset;
    for (float value : block.floats)
        at += PutFloat(at, value);
    for (int32_t value : block.int16s)
        at += PutInt16(at, value);
    return writeExchange(table, block.bytes, block.address);
}

bool TelegramLink::ReadRecordBlock(int index)
{
    if (index < 0 || index >= RecordBlockCount)
        return false;
    bool ok = sendReadRequest(RecordTable, RecordBlockBytes, RecordBlockBytes * index + 1);
    if (m_da != BroadcastAddress) {
        // The controller needs time to fetch the block from its record memory.
        m_waiter.waitMs(RecordAnswerWaitMs);
        ok = ReceiveAnswer(RecordBlockBytes);
        if (ok) {
            const uint8_t* at = m_rx.data() + DataUnitOffset;
            for (int i = 0; i < RecordValuesPerBlock; ++i)
                at += GetFloat(at, m_image.recordValues[RecordValuesPerBlock * index + i]);
        }
    }
    // No purge after a failure: this pause and the purge before the next write suffice.
    m_waiter.waitMs(RecordPauseMs);
    return ok;
}

} // namespace kv10
