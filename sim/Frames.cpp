#include "Frames.h"

namespace kv10::sim {

namespace {
constexpr int ShortFrameSize = 6;
constexpr int VariableOverhead = 6;   // 68 L L 68 ... FCS 16
constexpr int MinVariableLength = 3;  // DA SA FC
constexpr int MaxVariableLength = 249;
} // namespace

uint8_t frameChecksum(const char* bytes, int count)
{
    uint8_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum = uint8_t(sum + uint8_t(bytes[i]));
    return sum;
}

QByteArray dataFrame(uint8_t da, uint8_t sa, uint8_t fc, const QByteArray& dataUnit)
{
    const auto length = uint8_t(dataUnit.size() + 3);
    QByteArray frame;
    frame.reserve(length + VariableOverhead);
    frame.append(char(VariableStart)).append(char(length)).append(char(length)).append(char(VariableStart));
    frame.append(char(da)).append(char(sa)).append(char(fc)).append(dataUnit);
    frame.append(char(frameChecksum(frame.constData() + 4, length)));
    frame.append(char(EndDelimiter));
    return frame;
}

QByteArray shortFrame(uint8_t da, uint8_t sa, uint8_t fc)
{
    QByteArray frame;
    frame.append(char(ShortStart)).append(char(da)).append(char(sa)).append(char(fc));
    frame.append(char(frameChecksum(frame.constData() + 1, 3)));
    frame.append(char(EndDelimiter));
    return frame;
}

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
        while (start < m_buffer.size() && uint8_t(m_buffer[start]) != VariableStart
               && uint8_t(m_buffer[start]) != ShortStart)
            ++start;
        skip(int(start));
        if (m_buffer.isEmpty())
            return std::nullopt;
        const auto* b = reinterpret_cast<const uint8_t*>(m_buffer.constData());
        const int available = int(m_buffer.size());

        if (b[0] == ShortStart) {
            if (available < ShortFrameSize)
                return std::nullopt;
            if (b[5] != EndDelimiter) {
                skip(1);
                continue;
            }
            if (frameChecksum(m_buffer.constData() + 1, 3) != b[4]) {
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
        if (b[2] != b[1] || b[3] != VariableStart || length < MinVariableLength || length > MaxVariableLength) {
            skip(1);
            continue;
        }
        const int total = length + VariableOverhead;
        if (available < total)
            return std::nullopt;
        if (b[total - 1] != EndDelimiter) {
            skip(1);
            continue;
        }
        if (frameChecksum(m_buffer.constData() + 4, length) != b[total - 2]) {
            ++m_checksumErrors;
            skip(total);
            continue;
        }
        Frame frame;
        frame.da = b[4];
        frame.sa = b[5];
        frame.fc = b[6];
        frame.data = m_buffer.mid(7, length - 3);
        frame.raw = m_buffer.left(total);
        m_buffer.remove(0, total);
        return frame;
    }
}

} // namespace kv10::sim
