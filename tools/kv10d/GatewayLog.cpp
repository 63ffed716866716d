#include "GatewayLog.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace kv10::gw {

namespace {
std::mutex logMutex;
std::atomic<void (*)(const QString&)> logSink{nullptr};
} // namespace

void logLine(const QString& text)
{
    if (auto sink = logSink.load()) {
        sink(text);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "kv10d: %s\n", bytes.constData());
    std::fflush(stderr);
}

void setLogSink(void (*sink)(const QString&))
{
    logSink.store(sink);
}

} // namespace kv10::gw
