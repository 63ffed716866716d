#include "Frames.h"

namespace kv10::sim {

void FrameParser::feed(const char* bytes, int count)
{
    m_buffer.append(bytes, count);
}

void FrameParser::skip(int count)
{
    m_skippedSinceTake.append(m_buffer.left(count));
    m_buffer.remove(0, count);
    m_skipped += count;
}

void FrameParser::discardPending()
{
    skip(int(m_buffer.size()));
}

QByteArray FrameParser::takeSkipped()
{
    QByteArray skipped;
    skipped.swap(m_skippedSinceTake);
    return skipped;
}

std::optional<Frame> FrameParser::next()
{
    for (;;) {
        qsizetype start = 0;
        while (start < m_buffer.size() && uint8_t(m_buffer[start]) != StartVariable
               && uint8_t(m_buffer[start]) != StartShort)
            ++start;
        skip(int(start));
        if (m_buffer.isEmpty())
            return std::nullopt;
        const auto* b = reinterpret_cast<const uint8_t*>(m_buffer.constData());
        const int available = int(m_buffer.size());

        if (b[0] == StartShort) {
            if (available < ShortFrameSize)
                return std::nullopt;
            if (b[5] != EndDelimiter) {
                skip(1);
                continue;
            }
            if (frameChecksum(b + 1, 3) != b[4]) {
                ++m_checksumErrors;
                skip(ShortFrameSize);
                continue;
            }
            Frame frame;
            frame.isShort = true;
            frame.da = b[1];
            frame.sa = b[2];
            frame.fc = b[3];
            frame.raw = m_buffer.left(ShortFrameSize);
            m_buffer.remove(0, ShortFrameSize);
            return frame;
        }

        if (available < 4)
            return std::nullopt;
        const int length = b[1];
        if (b[2] != b[1] || b[3] != StartVariable || length < MinVariableLength || length > MaxVariableLength) {
            skip(1);
            continue;
        }
        const int total = length + VariableFrameOverhead;
        if (available < total)
            return std::nullopt;
        if (b[total - 1] != EndDelimiter) {
            skip(1);
            continue;
        }
        if (frameChecksum(b + 4, length) != b[total - 2]) {
            ++m_checksumErrors;
            skip(total);
            continue;
        }
        Frame frame;
        frame.da = b[4];
        frame.sa = b[5];
        frame.fc = b[6];
        frame.data = m_buffer.mid(DataUnitOffset, length - MinVariableLength);
        frame.raw = m_buffer.left(total);
        m_buffer.remove(0, total);
        return frame;
    }
}

} // namespace kv10::sim
