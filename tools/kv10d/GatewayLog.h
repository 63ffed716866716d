#pragma once
// The gateway's log: one line each to standard error, which the service manager keeps.
#include <QString>

namespace kv10::gw {

// Thread-safe; a test may take the lines instead.
void logLine(const QString& text);
void setLogSink(void (*sink)(const QString& text));

} // namespace kv10::gw
