#pragma once
// Whole-file writes that never leave a half-written file: the data goes to a temporary file
// beside the target, which then replaces it. On failure the old file stays as it was.
#include <QByteArrayView>
#include <QString>
#include <functional>

class QIODevice;

namespace kv10 {

// Throws AppError with a Czech text (and the system's reason) when the file cannot be written.
void writeFileAtomically(const QString& path, QByteArrayView data);

// The same for data produced piecewise: `produce` writes into the device (with writeFully)
// and returns false when a write failed.
void writeFileAtomically(const QString& path, const std::function<bool(QIODevice&)>& produce);

// Writes all of `data`, going on after a short write; false when the device refused.
bool writeFully(QIODevice& device, QByteArrayView data);

} // namespace kv10
