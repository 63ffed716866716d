#pragma once
// The trace of the telegram layer: every frame written, every frame read and every read that
// timed out, with its raw bytes and a monotonic time, for a monitor window or a hex dump. The
// link calls it synchronously on its own thread, so a trace must be quick and must not start
// an exchange.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace kv10 {

enum class TraceKind { Sent, Received, NoAnswer };

struct TraceEvent {
    TraceKind kind = TraceKind::Sent;
    QByteArray bytes;     // the frame; for NoAnswer the bytes that did come (often none)
    int expected = 0;     // NoAnswer: the bytes awaited; 0 when a whole frame of any length was
    qint64 atMs = 0;      // the link's monotonic milliseconds, comparable between events
};

class TelegramTrace {
public:
    virtual ~TelegramTrace() = default;
    virtual void traced(const TraceEvent& event) = 0;
};

// The plain hex trace: frames sent (outgoing) and bytes read (incoming, timed out or not).
class HexTrace : public TelegramTrace {
public:
    using Sink = std::function<void(bool outgoing, const QByteArray& bytes)>;
    explicit HexTrace(Sink sink) : m_sink(std::move(sink)) {}
    void traced(const TraceEvent& event) override { m_sink(event.kind == TraceKind::Sent, event.bytes); }

private:
    Sink m_sink;
};

// Bytes as upper-case hex pairs with a blank between them: "68 08 08 68".
QString hexText(const QByteArray& bytes);

// What one traced frame means, in a few Czech words: "čtení tabulky PID (13 B), stanice 1",
// "potvrzení, stanice 1", "chyba kontrolního součtu", "bez odpovědi (čekáno 22 B)". An answer
// carries no table number of its own, so `request` is the last frame sent before it (empty
// when unknown).
QString traceMeaning(const TraceEvent& event, const QByteArray& request = {});

} // namespace kv10
