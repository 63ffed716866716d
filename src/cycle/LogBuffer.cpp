#include "LogBuffer.h"

#include "AtomicFile.h"
#include "CodePage.h"
#include "DateText.h"

#include <QIODevice>
#include <algorithm>

namespace kv10 {

const QString LogBuffer::HeaderTitle = QStringLiteral("Začátek měření na regulátoru KORVIN 10   ");
const QString LogBuffer::HeaderColumns = QStringLiteral("Naměřená hodnota; Žádaná hodnota;Akční zásah; Porucha; čas; datum");
const QString LogBuffer::HeaderRule = QString(65, QLatin1Char('-'));

QString LogBuffer::headerLine(const QDateTime& now, const QLocale& locale)
{
    return HeaderTitle + shortDateText(now.date(), locale) + QStringLiteral("     ") + longTimeText(now.time(), locale);
}

QString LogBuffer::dataLine(const QString& measure, const QString& setpoint, const QString& output,
                            const QString& fault, const QDateTime& now, const QLocale& locale)
{
    const QString between = QStringLiteral("; ");
    const QString wide = QStringLiteral(";   ");
    return measure + between + setpoint + between + output + between + fault + wide
        + longTimeText(now.time(), locale) + wide + shortDateText(now.date(), locale);
}

void LogBuffer::clear()
{
    m_chunks.clear();
    m_chunkStarts.clear();
    std::vector<qint64>().swap(m_lineStarts);
    m_byteCount = 0;
}

void LogBuffer::startNewLog(const QDateTime& now, const QLocale& locale)
{
    clear();
    appendLine(headerLine(now, locale));
    appendLine(HeaderColumns);
    appendLine(HeaderRule);
}

void LogBuffer::appendDataLine(const QString& measure, const QString& setpoint, const QString& output,
                               const QString& fault, const QDateTime& now, const QLocale& locale)
{
    appendLine(dataLine(measure, setpoint, output, fault, now, locale));
}

void LogBuffer::appendLine(QStringView line)
{
    m_scratch.clear();
    appendWindows1250(m_scratch, line);
    m_scratch.append("\r\n", 2);

    // A line never spans two chunks, so it can be read back from one place.
    if (m_chunks.empty() || m_chunks.back().size() + m_scratch.size() > m_chunks.back().capacity()) {
        if (!m_chunks.empty())
            m_chunks.back().squeeze();
        QByteArray chunk;
        chunk.reserve(std::max(ChunkBytes, m_scratch.size()));
        m_chunks.push_back(std::move(chunk));
        m_chunkStarts.push_back(m_byteCount);
    }
    m_chunks.back().append(m_scratch);
    m_lineStarts.push_back(m_byteCount);
    m_byteCount += m_scratch.size();
}

QByteArrayView LogBuffer::lineBytes(qsizetype index) const
{
    const qint64 start = m_lineStarts[index];
    const qint64 end = index + 1 < lineCount() ? m_lineStarts[index + 1] : m_byteCount;
    const auto chunk = std::upper_bound(m_chunkStarts.begin(), m_chunkStarts.end(), start) - m_chunkStarts.begin() - 1;
    return QByteArrayView(m_chunks[chunk].constData() + (start - m_chunkStarts[chunk]), end - start - 2);
}

QString LogBuffer::line(qsizetype index) const
{
    return fromWindows1250(lineBytes(index));
}

QStringList LogBuffer::lines() const
{
    QStringList result;
    result.reserve(lineCount());
    for (qsizetype i = 0; i < lineCount(); ++i)
        result.append(line(i));
    return result;
}

QByteArray LogBuffer::fileBytes() const
{
    QByteArray bytes;
    bytes.reserve(m_byteCount);
    for (const QByteArray& chunk : m_chunks)
        bytes.append(chunk);
    return bytes;
}

qint64 LogBuffer::memoryBytes() const
{
    qint64 total = sizeof(*this);
    for (const QByteArray& chunk : m_chunks)
        total += chunk.capacity() + qint64(sizeof(QByteArray));
    total += qint64(m_chunkStarts.capacity() * sizeof(qint64));
    total += qint64(m_lineStarts.capacity() * sizeof(qint64));
    return total + m_scratch.capacity();
}

void LogBuffer::writeToFile(const QString& path) const
{
    writeFileAtomically(path, [this](QIODevice& device) {
        for (const QByteArray& chunk : m_chunks)
            if (!writeFully(device, chunk))
                return false;
        return true;
    });
}

} // namespace kv10
