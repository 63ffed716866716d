#pragma once
// The gateway's log: one line each to standard error, which the service manager keeps.
#include <QString>

namespace kv10::gw {

// Thread-safe; a test may take the lines instead.
void logLine(const QString& text);
void setLogSink(void (*sink)(const QString& text));

// The system's text of an errno code, in English whatever the locale: the log is read by
// whoever runs the site, in one language.
QString systemErrorText(int code);

} // namespace kv10::gw
