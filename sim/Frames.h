#pragma once
// The controller's view of the bus: requests parsed out of the byte stream, and the frames
// it answers with.
#include <QByteArray>
#include <cstdint>
#include <optional>

namespace kv10::sim {

constexpr uint8_t VariableStart = 0x68;
constexpr uint8_t ShortStart = 0x10;
constexpr uint8_t EndDelimiter = 0x16;
constexpr uint8_t FcSendRequestData = 0x6C;
constexpr uint8_t FcSendDataAck = 0x63;
constexpr uint8_t FcRequestStatus = 0x69;
constexpr uint8_t FcData = 0x08;
constexpr uint8_t FcDataHigh = 0x0A;     // the other family answers its identification so
constexpr uint8_t FcAckPositive = 0x00;
constexpr uint8_t FcAckRefused = 0x01;

struct Frame {
    bool isShort = false;
    uint8_t da = 0;
    uint8_t sa = 0;
    uint8_t fc = 0;
    QByteArray data;    // the data unit (empty for a short frame)
    QByteArray raw;     // the whole frame as received
};

uint8_t frameChecksum(const char* bytes, int count);
QByteArray dataFrame(uint8_t da, uint8_t sa, uint8_t fc, const QByteArray& dataUnit);
QByteArray shortFrame(uint8_t da, uint8_t sa, uint8_t fc);

// Cuts requests out of a byte stream. Bytes that cannot start a frame are skipped one at a
// time, so the parser falls back into step after garbage; frames with a wrong checksum are
// dropped whole, as a station on the bus would.
class FrameParser {
public:
    void feed(const char* bytes, int count);
    std::optional<Frame> next();
    // Forgets an incomplete frame (the line went idle in the middle of it).
    void discardPending();
    bool hasPending() const { return !m_buffer.isEmpty(); }

    int skippedBytes() const { return m_skipped; }
    int checksumErrors() const { return m_checksumErrors; }
    // Bytes skipped since the last call, for the telegram log.
    QByteArray takeSkipped();

private:
    void skip(int count);

    QByteArray m_buffer;
    QByteArray m_skippedSinceTake;
    int m_skipped = 0;
    int m_checksumErrors = 0;
};

} // namespace kv10::sim
