#pragma once
// The program's own error: a Czech text for the user, raised by serial set-up and file
// operations and shown by the application's error box (caption "KV-10").
#include <QString>
#include <stdexcept>

namespace kv10 {

class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

} // namespace kv10
