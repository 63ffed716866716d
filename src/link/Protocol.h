#pragma once
// The frame format on the bus, shared by the telegram layer and the simulated controller:
//   variable frame  68 L L 68 DA SA FC data FCS 16   (L counts DA SA FC data)
//   short frame     10 DA SA FC FCS 16
// FCS is the 8-bit sum of the bytes it covers: offsets 4 to L + 3, or 1 to 3.
#include <QByteArray>
#include <algorithm>
#include <cstdint>

namespace kv10 {

constexpr uint8_t BroadcastAddress = 127;                 // DA of a request to every station
constexpr int HighestStationAddress = BroadcastAddress - 1;

constexpr uint8_t StartVariable = 0x68;
constexpr uint8_t StartShort = 0x10;
constexpr uint8_t EndDelimiter = 0x16;

// Function codes: requests from the PC, then the controller's answers.
constexpr uint8_t FcSendRequestData = 0x6C;
constexpr uint8_t FcSendDataAck = 0x63;
constexpr uint8_t FcRequestStatus = 0x69;
constexpr uint8_t FcAnswerData = 0x08;
constexpr uint8_t FcAnswerDataHigh = 0x0A;   // the other device family answers its identification so
constexpr uint8_t FcAckPositive = 0x00;
constexpr uint8_t FcAckRefused = 0x01;       // any code but FcAckPositive refuses

// Commands: the first byte of a request's data unit.
constexpr uint8_t CmdIdentify = 0x00;
constexpr uint8_t CmdRead = 0x01;
constexpr uint8_t CmdWrite = 0x02;
constexpr uint8_t CmdVersion = 0x04;
constexpr uint8_t CmdStoreEeprom = 0x06;

constexpr int ShortFrameSize = 6;
constexpr int VariableHeaderSize = 4;        // 68 L L 68
constexpr int VariableFrameOverhead = 6;     // 68 L L 68 before the L bytes, FCS 16 after them
constexpr int MinVariableLength = 3;         // DA SA FC without data
constexpr int MaxVariableLength = 249;       // the whole frame still fits a 255-byte read
constexpr int DataUnitOffset = 7;            // the first byte after FC
constexpr int BlockHeaderSize = 5;           // command, table, n, address high, address low
constexpr int BlockDataOffset = DataUnitOffset + BlockHeaderSize;

// Pauses on the line. A controller paces its answers on them: 10 ms after a table read of a
// read-out, between the identification reads and between the page tables of a whole set;
// 100 ms between the blocks of a program and before a request is sent again; 270 ms before
// the answer to a record block is read and 300 ms after every record block.
constexpr int TablePauseMs = 10;
constexpr int BlockPauseMs = 100;
constexpr int RetryPauseMs = 100;
constexpr int RecordAnswerWaitMs = 270;
constexpr int RecordPauseMs = 300;

// The program blocks by kind: the start values of all ten programs (in table COMP), one
// program's segment setpoints (SEGSP), one program's segment times (SEGTI).
enum BlockKind { BlockStartValues = 0, BlockSegmentSetpoints = 1, BlockSegmentTimes = 2 };

constexpr uint8_t frameChecksum(const uint8_t* bytes, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum);
}

// Where a read of up to `max` bytes that holds `count` bytes is complete: once they begin
// with 68 L L and a fourth byte, at the end of that telegram (L + 6 bytes); otherwise at max.
constexpr int frameReadEnd(const uint8_t* bytes, int count, int max)
{
    if (count < VariableHeaderSize || bytes[0] != StartVariable || bytes[1] != bytes[2])
        return max;
    return std::min(max, bytes[1] + VariableFrameOverhead);
}

// 68 L L 68 DA SA FC at the start of `frame`.
constexpr void putVariableHeader(uint8_t* frame, uint8_t length, uint8_t da, uint8_t sa, uint8_t fc)
{
    frame[0] = StartVariable;
    frame[1] = length;
    frame[2] = length;
    frame[3] = StartVariable;
    frame[4] = da;
    frame[5] = sa;
    frame[6] = fc;
}

// FCS and end delimiter after the L bytes from offset 4; returns the whole frame's size.
constexpr int putVariableTrailer(uint8_t* frame, uint8_t length)
{
    frame[length + 4] = frameChecksum(frame + 4, length);
    frame[length + 5] = EndDelimiter;
    return length + VariableFrameOverhead;
}

constexpr void putShortFrame(uint8_t* frame, uint8_t da, uint8_t sa, uint8_t fc)
{
    frame[0] = StartShort;
    frame[1] = da;
    frame[2] = sa;
    frame[3] = fc;
    frame[4] = frameChecksum(frame + 1, 3);
    frame[5] = EndDelimiter;
}

// Whole frames as byte arrays: the simulated controller's answers and scripted test traffic.
inline QByteArray dataFrame(uint8_t da, uint8_t sa, uint8_t fc, const QByteArray& dataUnit)
{
    Q_ASSERT(dataUnit.size() <= MaxVariableLength - MinVariableLength);
    const auto length = uint8_t(dataUnit.size() + MinVariableLength);
    QByteArray frame(length + VariableFrameOverhead, '\0');
    auto* bytes = reinterpret_cast<uint8_t*>(frame.data());
    putVariableHeader(bytes, length, da, sa, fc);
    std::copy_n(dataUnit.constData(), length - MinVariableLength, frame.begin() + DataUnitOffset);
    putVariableTrailer(bytes, length);
    return frame;
}

inline QByteArray shortFrame(uint8_t da, uint8_t sa, uint8_t fc)
{
    QByteArray frame(ShortFrameSize, '\0');
    putShortFrame(reinterpret_cast<uint8_t*>(frame.data()), da, sa, fc);
    return frame;
}

} // namespace kv10
