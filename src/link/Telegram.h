#pragma once
// The telegram layer: frames, checksum, receive primitives with their retries, and every
// exchange with the controller. Each exchange returns a success flag and shows nothing: the
// two messages about table numbers without a codec are kept as a notice for the caller.
#include "ControllerImage.h"
#include "FrameCheck.h"
#include "LinkNotice.h"
#include "Protocol.h"
#include "TraceHub.h"
#include "Transport.h"

#include <QByteArray>
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace kv10 {

class MonotonicClock;
class Waiter;

constexpr int TelegramBufferSize = 256;

class TelegramLink {
public:
    // The clock times the answers owed and stamps the trace; the steady clock unless given.
    TelegramLink(ControllerImage& image, Waiter& waiter);
    TelegramLink(ControllerImage& image, Waiter& waiter, MonotonicClock& clock);
    ~TelegramLink();

    void setTransport(Transport* transport);       // may be null: every exchange fails at once
    Transport* transport() const { return m_transport; }
    ControllerImage& image() { return m_image; }
    Waiter& waiter() { return m_waiter; }      // the link's own pauses and retry waits

    void SetDA(uint8_t address) { m_da = address; }
    void SetSA(uint8_t address) { m_sa = address; }
    uint8_t DA() const { return m_da; }
    uint8_t SA() const { return m_sa; }

    // Table exchanges (table 0-19).
    bool ReadTable(int table);
    bool WriteTable(int table);
    bool StoreToEeprom();
    bool PingStation();
    bool ReadDeviceType();
    bool ReadDeviceVersion();
    bool ReadForeignIdent();

    // Block transfers: kind 0 start values (table 0), 1 segment setpoints (17), 2 segment
    // times (18); program 0-9; record block index 0-15. Out-of-range numbers fail untouched.
    bool ReadProgramBlock(int kind, int program, int table);
    bool WriteProgramBlock(int kind, int program, int table);
    bool ReadRecordBlock(int index);

    // The message of the last exchange that met a table number without a codec, kept until
    // taken; a later one replaces it.
    std::optional<LinkNotice> takeNotice() { return std::exchange(m_notice, std::nullopt); }
    const std::optional<LinkNotice>& notice() const { return m_notice; }

    // Once `closing` is set (from any thread: the program is closing), an exchange in progress
    // sends no repeat of its request and fails after the read under way.
    void setClosingFlag(const std::atomic<bool>* closing) { m_closing = closing; }
    // A single try: an exchange whose answer does not come sends no repeat and fails after its
    // read, as when closing. For asking whether a station that stopped answering is back.
    void setSingleTry(bool single) { m_singleTry = single; }

    // Validation of the receive buffer, limited to the bytes actually received.
    FrameCheck CheckAnswer() const;
    FrameCheck CheckAck() const;
    FrameCheck lastCheck() const { return m_lastCheck; }

    // Every frame sent and read, and every read that timed out, go to each trace that has
    // joined. Without one a frame costs the check of a counter.
    void addTrace(TelegramTrace* trace) { m_traces.add(trace); }
    void removeTrace(TelegramTrace* trace) { m_traces.remove(trace); }
    bool hasTrace(const TelegramTrace* trace) const { return m_traces.contains(trace); }
    // The traces' hub itself: a trace may join and leave it from any thread.
    TraceHub& traces() { return m_traces; }

    // Late answers thrown away before an exchange since the link was made: an answer owed to a
    // request of the exchange before, or whatever else came while the line should be quiet.
    int lateAnswersDropped() const { return m_lateAnswersDropped; }

    const std::array<uint8_t, TelegramBufferSize>& txBuffer() const { return m_tx; }
    int rxCount() const { return m_rxCount; }

private:
    void BuildHeader();
    bool SendTelegram();
    bool ReceiveAnswer(int dataBytes);
    bool ReceiveAck();
    bool closing() const { return m_closing && m_closing->load(std::memory_order_relaxed); }
    bool ReceiveIdentAnswer();
    // One ReadBytes into the receive buffer, or a ReadFrame with `untilFrame`.
    bool readInto(int n, bool untilFrame = false);
    void traceRead(int n, bool untilFrame, bool complete);   // the read just made, to the trace
    // A read has ended; a complete one answers the oldest request still owed an answer.
    void noteRead(int answerBytes, bool complete);
    void takeLateAnswer(qint64 atMs);             // the oldest owed answer came at atMs
    bool writeRaw(int n);                          // one WriteBytes of the transmit buffer
    void purgeBoth();                              // output first, then input
    void keepNotice(const char* text, const char* caption);
    // Request building: header, then command/table/length/address at offset 7, then the
    // data (already at offset 12 for writes), then FCS and end delimiter.
    void beginRequest(uint8_t function, int length);
    void putBlockHeader(uint8_t command, int table, int dataBytes, int address);
    bool finishRequest();
    bool sendReadRequest(int table, int dataBytes, int address);
    bool sendCommand(uint8_t function, uint8_t command);   // data unit: the command byte alone
    // A read exchange with purge on failure; `answered` tells whether the answer's data
    // unit (from offset 7) is there to decode (false after a broadcast).
    bool readExchange(int table, int dataBytes, int address, bool& answered);
    // A write of the data already encoded at offset 12, acknowledged, purge on failure.
    bool writeExchange(int table, int dataBytes, int address);
    bool readIdentText(uint8_t command, std::array<char, 250>& text);
    // Before the first request of an exchange: the answers still owed to the requests of the
    // last one (a repeat, a read that timed out) are waited for and thrown away.
    void beginExchange();

    ControllerImage& m_image;
    Waiter& m_waiter;
    MonotonicClock& m_clock;
    std::optional<LinkNotice> m_notice;
    const std::atomic<bool>* m_closing = nullptr;
    bool m_singleTry = false;
    Transport* m_transport = nullptr;
    uint8_t m_da = 0;
    uint8_t m_sa = 0;
    uint8_t m_length = 0;       // L of the request being built
    uint8_t m_function = 0;     // FC of the request being built
    std::array<uint8_t, TelegramBufferSize> m_tx{};
    std::array<uint8_t, TelegramBufferSize> m_rx{};
    int m_rxCount = 0;          // bytes of m_rx filled by the last read
    FrameCheck m_lastCheck = FrameCheck::None;
    // Requests whose answer has not been read, by the time they were sent (oldest first), the
    // size of one such answer (0: not known), and what the exchange saw of the station's pace.
    std::vector<qint64> m_unanswered;
    int m_unansweredBytes = 0;
    qint64 m_lastAnswerMs = 0;          // when the last answer of the exchange came, or 0
    qint64 m_answerDelayMs = 0;         // the longest an answer took, until an exchange goes well
    int m_lateAnswersDropped = 0;
    TraceHub m_traces;
};

} // namespace kv10
