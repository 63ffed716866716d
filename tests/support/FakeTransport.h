#pragma once
// Test doubles for the link: a scripted in-memory transport and a waiter that only counts.
// Both can write into one shared event log, so tests can assert the order of writes, reads,
// purges and waits ("write", "read 22", "purge out", "purge in", "wait 100").
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
    // with nothing. A read takes at most the bytes it asks for; the rest of the chunk is lost.
    QList<QByteArray> answers;
    QList<QByteArray> writes;   // every frame written
    bool open = true;
    bool failWrites = false;

    bool isOpen() const override { return open; }

    bool ReadBytes(uint8_t* dest, int n, int& got) override
    {
        got = 0;
        note(QStringLiteral("read %1").arg(n));
        if (!open)
            return false;
        const QByteArray chunk = answers.isEmpty() ? QByteArray() : answers.takeFirst();
        got = std::min<int>(n, chunk.size());
        std::memcpy(dest, chunk.constData(), static_cast<size_t>(got));
        return true;
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

    void PurgeInput() override { note(QStringLiteral("purge in")); }
    void PurgeOutput() override { note(QStringLiteral("purge out")); }

private:
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
