#pragma once
// The checks of a received frame, in their order, each failing with why it rejected it.
#include <cstdint>

namespace kv10 {

// Why a received frame was rejected; None when it passed.
enum class FrameCheck {
    None, TooShort, StartDelimiter, LengthMismatch, FunctionCode, EndDelimiter, Checksum, Refused
};

// The checks of a received data telegram and of an acknowledgement, in their order, over the
// `count` bytes that actually came.
FrameCheck checkAnswerFrame(const uint8_t* bytes, int count);
FrameCheck checkAckFrame(const uint8_t* bytes, int count);

} // namespace kv10
