#pragma once
// Test doubles for the link: a scripted in-memory transport and a waiter that only counts.
// Both can write into one shared event log, so tests can assert the order of writes, reads,
// purges and waits ("write", "read 22", "frame 255", "purge out", "purge in", "wait 100").
#include "Protocol.h"
#include "Timing.h"
#include "Transport.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace kv10::test {

class FakeTransport : public Transport {
public:
    explicit FakeTransport(QStringList* log = nullptr) : m_log(log) {}

    // One chunk per read, in order; a read with no chunk left (or an empty one) times out
    // with nothing. A read takes at most the bytes it asks for, a ReadFrame no more than the
    // variable telegram the chunk begins with; the rest of the chunk is lost.
    QList<QByteArray> answers;
    QList<QByteArray> writes;   // every frame written
    bool open = true;
    bool failWrites = false;
    int baud = 9600;

    bool isOpen() const override { return open; }
    int baudRate() const override { return baud; }

    bool ReadBytes(uint8_t* dest, int n, int& got) override
    {
        note(QStringLiteral("read %1").arg(n));
        return takeChunk(dest, n, got, false);
    }

    bool ReadFrame(uint8_t* dest, int max, int& got) override
    {
        note(QStringLiteral("frame %1").arg(max));
        return takeChunk(dest, max, got, true);
    }

    bool WriteBytes(const uint8_t* src, int n, int& written) override
    {
        written = 0;
        note(QStringLiteral("write"));
        if (!open || failWrites)
            return false;
        writes << QByteArray(reinterpret_cast<const char*>(src), n);
        written = n;
        return true;
    }

    // Nothing arrives late here; each call's time-out is kept.
    int DiscardInput(int, int timeoutMs) override
    {
        discardTimeouts << timeoutMs;
        return 0;
    }
    QList<int> discardTimeouts;

    void PurgeInput() override { note(QStringLiteral("purge in")); }
    void PurgeOutput() override { note(QStringLiteral("purge out")); }

private:
    bool takeChunk(uint8_t* dest, int n, int& got, bool untilFrame)
    {
        got = 0;
        if (!open)
            return false;
        const QByteArray chunk = answers.isEmpty() ? QByteArray() : answers.takeFirst();
        const auto* bytes = reinterpret_cast<const uint8_t*>(chunk.constData());
        const int end = untilFrame ? frameReadEnd(bytes, int(chunk.size()), n) : n;
        got = std::min<int>(end, chunk.size());
        std::memcpy(dest, chunk.constData(), static_cast<size_t>(got));
        return true;
    }

    void note(const QString& event)
    {
        if (m_log)
            *m_log << event;
    }
    QStringList* m_log;
};

class CountingWaiter : public Waiter {
public:
    explicit CountingWaiter(QStringList* log = nullptr) : m_log(log) {}
    QList<int> waits;

    // A pause counts as asked, whatever work went on in it.
    void waitRest(int ms, const QElapsedTimer&) override { waitMs(ms); }
    void waitMs(int ms) override
    {
        waits << ms;
        if (m_log)
            *m_log << QStringLiteral("wait %1").arg(ms);
    }

private:
    QStringList* m_log;
};

} // namespace kv10::test
