#include "CodePage.h"

#include "AtomicFile.h"

#include <array>
#include <cstring>

namespace kv10 {

namespace {

constexpr char16_t Undefined = 0;

// Unicode of the bytes 0x80 to 0xFF; the lower half is ASCII.
constexpr std::array<char16_t, 128> UpperHalf = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Reverse lookup for the characters 0x00A0 to 0x02FF, where most of the table lies;
// the few punctuation marks above are searched in the table itself.
struct ReverseTable {
    std::array<unsigned char, 0x300 - 0xA0> bytes{};
    constexpr ReverseTable()
    {
        for (int i = 0; i < 128; ++i) {
            const char16_t c = UpperHalf[i];
            if (c >= 0xA0 && c < 0x300)
                bytes[c - 0xA0] = static_cast<unsigned char>(0x80 + i);
        }
    }
};
constexpr ReverseTable Reverse;

char encodeChar(char16_t c)
{
    if (c < 0x80)
        return static_cast<char>(c);
    if (c >= 0xA0 && c < 0x300) {
        const unsigned char b = Reverse.bytes[c - 0xA0];
        return b ? static_cast<char>(b) : '?';
    }
    for (int i = 0; i < 128; ++i)
        if (UpperHalf[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

void appendWindows1250(QByteArray& out, QStringView text)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char* p = out.data() + start;
    qsizetype written = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // A surrogate pair is one character outside the code page: one '?'.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        p[written++] = encodeChar(c);
    }
    out.resize(start + written);
}

QByteArray toWindows1250(QStringView text)
{
    QByteArray out;
    appendWindows1250(out, text);
    return out;
}

QString fromWindows1250(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* p = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const char16_t c = b < 0x80 ? char16_t(b) : UpperHalf[b - 0x80];
        p[i] = QChar(b >= 0x80 && c == Undefined ? char16_t(QChar::ReplacementCharacter) : c);
    }
    return text;
}

QByteArray windows1250Lines(const QStringList& lines)
{
    QByteArray out;
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    out.reserve(size);
    for (const QString& line : lines) {
        appendWindows1250(out, line);
        out.append("\r\n", 2);
    }
    return out;
}

void writeWindows1250Lines(const QString& path, const QStringList& lines)
{
    writeFileAtomically(path, windows1250Lines(lines));
}

QString fromWindows1250Buffer(const char* bytes, size_t capacity)
{
    return fromWindows1250(QByteArrayView(bytes, qsizetype(strnlen(bytes, capacity))));
}

} // namespace kv10
