#include "FrameCheck.h"

#include "Protocol.h"

namespace kv10 {

FrameCheck checkAnswerFrame(const uint8_t* bytes, int count)
{
    if (count < DataUnitOffset)
        return FrameCheck::TooShort;
    if (bytes[0] != StartVariable)
        return FrameCheck::StartDelimiter;
    if (bytes[1] != bytes[2])
        return FrameCheck::LengthMismatch;
    if (bytes[6] != FcAnswerData)
        return FrameCheck::FunctionCode;
    // A corrupted L must not lead the checks past the bytes that actually arrived.
    const int length = bytes[1];
    if (length < MinVariableLength || length + VariableFrameOverhead > count)
        return FrameCheck::LengthMismatch;
    if (bytes[length + 5] != EndDelimiter)
        return FrameCheck::EndDelimiter;
    if (frameChecksum(bytes + 4, length) != bytes[length + 4])
        return FrameCheck::Checksum;
    return FrameCheck::None;
}

FrameCheck checkAckFrame(const uint8_t* bytes, int count)
{
    if (count < ShortFrameSize)
        return FrameCheck::TooShort;
    if (bytes[0] != StartShort)
        return FrameCheck::StartDelimiter;
    if (bytes[3] != FcAckPositive)
        return FrameCheck::Refused;
    if (bytes[5] != EndDelimiter)
        return FrameCheck::EndDelimiter;
    if (frameChecksum(bytes + 1, 3) != bytes[4])
        return FrameCheck::Checksum;
    return FrameCheck::None;
}

} // namespace kv10
