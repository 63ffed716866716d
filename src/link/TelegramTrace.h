#pragma once
// The trace of the telegram layer: every frame written, every frame read and every read that
// timed out, with its raw bytes and a monotonic time, for a monitor window or a hex dump. The
// link calls it synchronously on its own thread, so a trace must be quick and must not start
// an exchange.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace kv10 {

enum class TraceKind { Sent, Received, NoAnswer };

struct TraceEvent {
    TraceKind kind = TraceKind::Sent;
    QByteArray bytes;     // the frame; for NoAnswer the bytes that did come (often none)
    int expected = 0;     // NoAnswer: the bytes awaited; 0 when a whole frame of any length was
    qint64 atMs = 0;      // monotonic milliseconds (steady clock), comparable between events
};

class TelegramTrace {
public:
    virtual ~TelegramTrace() = default;
    virtual void traced(const TraceEvent& event) = 0;
};

qint64 monotonicMs();

// Bytes as upper-case hex pairs with a blank between them: "68 08 08 68".
QString hexText(const QByteArray& bytes);

// What one traced frame means, in a few Czech words: "čtení tabulky PID (13 B), stanice 1",
// "potvrzení, stanice 1", "chyba kontrolního součtu", "bez odpovědi (čekáno 22 B)". An answer
// carries no table number of its own, so `request` is the last frame sent before it (empty
// when unknown).
QString traceMeaning(const TraceEvent& event, const QByteArray& request = {});

} // namespace kv10
