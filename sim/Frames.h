#pragma once
// The controller's view of the bus: requests parsed out of the byte stream. Its answers are
// built with dataFrame and shortFrame of the frame format.
#include "Protocol.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace kv10::sim {

struct Frame {
    bool isShort = false;
    uint8_t da = 0;
    uint8_t sa = 0;
    uint8_t fc = 0;
    QByteArray data;    // the data unit (empty for a short frame)
    QByteArray raw;     // the whole frame as received
};

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
