#pragma once
// The byte transport under the telegram layer: a real serial port, a pseudo-terminal,
// or a scripted fake in tests.
#include <algorithm>
#include <cstdint>

namespace kv10 {

constexpr int LineBitsPerByte = 11;   // start, 8 data, parity, stop

// The time-outs of one read of n bytes at `baudRate`: at most 500 + 2*n ms in all, and once the
// first byte has come, at most 100 ms between two bytes. 2 ms a byte is the wire time at 9600
// baud with room to spare; a slower line needs longer for a long answer to come in whole, so
// the total is never shorter than 500 ms plus the answer's wire time. A rate of 0 means a line
// that is not paced.
constexpr int readTotalTimeoutMs(int n, int baudRate)
{
    const int64_t wireMs = baudRate > 0 ? (int64_t(n) * LineBitsPerByte * 1000 + baudRate - 1) / baudRate : 0;
    return int(500 + std::max(2 * int64_t(n), wireMs));
}
constexpr int ReadIntervalTimeoutMs = 100;

class Transport {
public:
    virtual ~Transport() = default;
    virtual bool isOpen() const = 0;
    // The line's rate in bits per second, for the read time-outs; 0 for a line without pace.
    virtual int baudRate() const = 0;
    // One read of up to n bytes. It ends after readTotalTimeoutMs(n, baudRate()) at the latest,
    // and earlier once more than 100 ms pass between two received bytes. True also on a short read;
    // false on a closed port or a failed read. `got` is the number of bytes stored.
    virtual bool ReadBytes(uint8_t* dest, int n, int& got) = 0;
    // The same read of up to `max` bytes, with the same time-outs, that also ends as soon as
    // the bytes hold one whole variable telegram (68 L L 68 ..., L + 6 bytes), so an answer
    // of unknown length costs no 100 ms gap. Bytes after that telegram are left unread.
    virtual bool ReadFrame(uint8_t* dest, int max, int& got) = 0;
    // Purges input, then output, then writes n bytes. A write the line does not take within
    // a generous limit (a second plus twice its wire time) fails, like a read without answer.
    virtual bool WriteBytes(const uint8_t* src, int n, int& written) = 0;
    // Waits at most timeoutMs for n bytes to arrive and throws them away. Returns the number
    // thrown away: fewer than n only when the time ran out or the port failed.
    virtual int DiscardInput(int n, int timeoutMs) = 0;
    virtual void PurgeInput() = 0;
    virtual void PurgeOutput() = 0;
};

} // namespace kv10
