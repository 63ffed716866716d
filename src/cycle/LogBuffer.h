#pragma once
// The log of live samples: header lines and one data line per sample, kept in memory and
// rewritten whole to its text file (Windows-1250, CR LF after every line).
//
// Lines are held already encoded, with their CR LF, in large byte chunks plus one offset per
// line: about 70 bytes a line instead of a QString's 150 or more, and the file write is a
// handful of large writes.
#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

namespace kv10 {

class LogBuffer {
public:
    static const QString HeaderTitle;    // line 1 before the date and time
    static const QString HeaderColumns;  // line 2
    static const QString HeaderRule;     // line 3: 65 hyphens

    // Line 1: the title, the date, five blanks and the time.
    static QString headerLine(const QDateTime& now, const QLocale& locale = QLocale());
    // "measure; setpoint; output; fault;   time;   date" from the texts the display shows.
    static QString dataLine(const QString& measure, const QString& setpoint, const QString& output,
                            const QString& fault, const QDateTime& now, const QLocale& locale = QLocale());

    void clear();
    // Clears the buffer and appends the three header lines.
    void startNewLog(const QDateTime& now, const QLocale& locale = QLocale());
    void appendLine(QStringView line);
    void appendDataLine(const QString& measure, const QString& setpoint, const QString& output,
                        const QString& fault, const QDateTime& now, const QLocale& locale = QLocale());

    qsizetype lineCount() const { return qsizetype(m_lineStarts.size()); }
    bool isEmpty() const { return m_lineStarts.empty(); }
    QString line(qsizetype index) const;
    QStringList lines() const;
    // Bytes of the file: every line in Windows-1250 followed by CR LF.
    qint64 byteCount() const { return m_byteCount; }
    QByteArray fileBytes() const;
    // Memory held by the buffer, capacity included.
    qint64 memoryBytes() const;

    // Replaces `path` with the whole buffer. The old file is kept intact when this fails;
    // throws AppError with a Czech text then. The buffer is never changed.
    void writeToFile(const QString& path) const;

private:
    static constexpr qsizetype ChunkBytes = 1 << 20;

    std::vector<QByteArray> m_chunks;
    std::vector<qint64> m_chunkStarts;  // byte offset of each chunk in the file
    std::vector<qint64> m_lineStarts;   // byte offset of each line in the file
    qint64 m_byteCount = 0;
    QByteArray m_scratch;

    QByteArrayView lineBytes(qsizetype index) const; // without CR LF
};

} // namespace kv10
