#pragma once
// The program's own error: a Czech text for the user, raised by serial set-up and file
// operations and shown by the application's error box (caption "KV-10").
#include <QString>
#include <QStringDecoder>
#include <stdexcept>

namespace kv10 {

class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// The text of any other exception: UTF-8 as our own sources write it, or else the system's
// 8-bit code page (a Windows system message).
inline QString exceptionText(const std::exception& error)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(QByteArrayView(error.what()));
    return utf8.hasError() ? QString::fromLocal8Bit(error.what()) : text;
}

} // namespace kv10
