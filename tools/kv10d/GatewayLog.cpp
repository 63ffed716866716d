#include "GatewayLog.h"

#include <atomic>
#include <cstring>
#include <locale.h>
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

QString systemErrorText(int code)
{
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return QString::fromLatin1(::strerror_l(code, c));
}

} // namespace kv10::gw
