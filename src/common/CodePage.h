#pragma once
// Windows-1250, the code page of the Czech texts in log and export files, and CR LF lines.
// Qt 6.4's QStringConverter has no Windows-1250, hence the table of its upper half.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace kv10 {

// Characters that Windows-1250 cannot hold become '?'.
QByteArray toWindows1250(QStringView text);
void appendWindows1250(QByteArray& out, QStringView text);
// Bytes without a character in Windows-1250 (0x81, 0x83, 0x88, 0x90, 0x98) become U+FFFD.
QString fromWindows1250(QByteArrayView bytes);
// The text up to the first zero byte of a fixed buffer (all of it when there is none).
QString fromWindows1250Buffer(const char* bytes, size_t capacity);

// Every line in Windows-1250 followed by CR LF, the last one too.
QByteArray windows1250Lines(const QStringList& lines);

// Writes `lines` as windows1250Lines() to `path` atomically; throws AppError on failure.
void writeWindows1250Lines(const QString& path, const QStringList& lines);

} // namespace kv10
