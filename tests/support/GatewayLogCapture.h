#pragma once
// The gateway's log lines kept for a test instead of going to standard error.
#include "GatewayLog.h"

#include <QStringList>
#include <mutex>

namespace kv10::test {

namespace capturedlog {
inline std::mutex mutex;
inline QStringList lines;
inline void keep(const QString& line)
{
    std::lock_guard lock(mutex);
    lines.append(line);
}
} // namespace capturedlog

inline void captureGatewayLog()
{
    gw::setLogSink(capturedlog::keep);
}

// The lines kept that contain `part`.
inline QStringList loggedLines(const QString& part = {})
{
    std::lock_guard lock(capturedlog::mutex);
    return capturedlog::lines.filter(part);
}

inline bool logged(const QString& part)
{
    return !loggedLines(part).isEmpty();
}

inline void forgetLoggedLines()
{
    std::lock_guard lock(capturedlog::mutex);
    capturedlog::lines.clear();
}

} // namespace kv10::test
