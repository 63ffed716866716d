#include "Telegram.h"

#include "TableCodec.h"
#include "Timing.h"

#include <algorithm>
#include <cstring>

namespace kv10 {

namespace {

constexpr int AnswerOverhead = VariableFrameOverhead + MinVariableLength;   // all but the data
constexpr int BlockRequestLength = MinVariableLength + BlockHeaderSize;     // L before any data
constexpr int CommandRequestLength = MinVariableLength + 1;                 // L of a bare command
constexpr int IdentReadSize = 255;
constexpr int ForeignIdentReadSize = 254;
constexpr bool UntilWholeFrame = true;   // identification answers have no fixed length
// Beyond the delay a station was seen to answer with: room for the line and the scheduler.
constexpr qint64 LateAnswerMarginMs = 200;

bool isTableNumber(int table)
{
    return table >= 0 && table < TableCount;
}

} // namespace

TelegramLink::TelegramLink(ControllerImage& image, Waiter& waiter)
    : TelegramLink(image, waiter, steadyClock())
{
}

TelegramLink::TelegramLink(ControllerImage& image, Waiter& waiter, MonotonicClock& clock)
    : m_image(image), m_waiter(waiter), m_clock(clock)
{
}

TelegramLink::~TelegramLink() = default;

void TelegramLink::setTransport(Transport* transport)
{
    m_transport = transport;
}

// --- frames -------------------------------------------------------------------------------

void TelegramLink::BuildHeader()
{
    putVariableHeader(m_tx.data(), m_length, m_da, m_sa, m_function);
}

void TelegramLink::beginRequest(uint8_t function, int length)
{
    beginExchange();
    m_function = function;
    m_length = static_cast<uint8_t>(length);
    BuildHeader();
}

void TelegramLink::putBlockHeader(uint8_t command, int table, int dataBytes, int address)
{
    uint8_t* block = m_tx.data() + DataUnitOffset;
    block[0] = command;
    block[1] = static_cast<uint8_t>(table);
    block[2] = static_cast<uint8_t>(dataBytes);
    block[3] = static_cast<uint8_t>(address >> 8);
    block[4] = static_cast<uint8_t>(address);
}

bool TelegramLink::finishRequest()
{
    putVariableTrailer(m_tx.data(), m_length);
    return SendTelegram();
}

bool TelegramLink::SendTelegram()
{
    return writeRaw(m_length + VariableFrameOverhead);
}

// --- checks (only the bytes received by the last read count) ------------------------------

FrameCheck TelegramLink::CheckAnswer() const
{
    return checkAnswerFrame(m_rx.data(), m_rxCount);
}

FrameCheck TelegramLink::CheckAck() const
{
    return checkAckFrame(m_rx.data(), m_rxCount);
}

// --- transport access -----------------------------------------------------------------------

bool TelegramLink::readInto(int n, bool untilFrame)
{
    m_rxCount = 0;
    if (!m_transport || !m_transport->isOpen())
        return false;
    int got = 0;
    const bool ok = untilFrame ? m_transport->ReadFrame(m_rx.data(), n, got)
                               : m_transport->ReadBytes(m_rx.data(), n, got);
    if (ok)
        m_rxCount = std::clamp(got, 0, n);
    // A read of a whole frame ends complete at the frame's end; any other read at n bytes.
    const int completeAt = untilFrame ? frameReadEnd(m_rx.data(), m_rxCount, n) : n;
    const bool complete = m_rxCount >= completeAt && m_rxCount > 0;
    noteRead(untilFrame ? 0 : n, complete);
    if (m_traces.isActive())
        traceRead(n, untilFrame, complete);
    return ok;
}

void TelegramLink::noteRead(int answerBytes, bool complete)
{
    m_unansweredBytes = answerBytes;
    // An answer that came is taken as the answer to the oldest request still owed one.
    if (complete && !m_unanswered.empty())
        takeLateAnswer(m_clock.nowMs());
}

void TelegramLink::takeLateAnswer(qint64 atMs)
{
    // A station answers one request after the other: the next answer comes its delay after
    // the request or after the answer before it, whichever is later.
    m_answerDelayMs = std::max(m_answerDelayMs, atMs - std::max(m_unanswered.front(), m_lastAnswerMs));
    m_lastAnswerMs = atMs;
    m_unanswered.erase(m_unanswered.begin());
}

void TelegramLink::beginExchange()
{
    if (m_unanswered.empty()) {
        m_answerDelayMs = 0;   // the last exchange went as it should
    } else if (m_transport && m_transport->isOpen()) {
        // An answer still owed could pass for the next one. Wait until the line has been quiet,
        // since the last request or answer, for as long as an answer may take: its own read
        // time-out, or the delay the station was seen to answer with. Each owed answer that
        // comes meanwhile is thrown away and shows the station's pace.
        const int want = m_unansweredBytes > 0 ? m_unansweredBytes : TelegramBufferSize;
        const qint64 ownTimeout = readTotalTimeoutMs(want, m_transport->baudRate())
                                  + (m_unanswered.size() > 1 ? LateAnswerMarginMs : 0);
        const qint64 owed = qint64(m_unanswered.size());
        const qint64 start = m_clock.nowMs();
        qint64 lastEvent = std::max(m_unanswered.back(), m_lastAnswerMs);
        for (;;) {
            const qint64 seen = m_answerDelayMs > 0 ? m_answerDelayMs + LateAnswerMarginMs : 0;
            const qint64 quiet = std::max(ownTimeout, seen);
            // A line that never falls quiet still lets the next exchange through.
            const qint64 left = std::min(lastEvent + quiet, start + (owed + 1) * quiet) - m_clock.nowMs();
            // What came while nobody read counts too: the station is late, the line not quiet.
            const int got = m_transport->DiscardInput(want, int(std::max<qint64>(left, 0)));
            if (got == 0)
                break;
            ++m_lateAnswersDropped;
            lastEvent = m_clock.nowMs();
            if (got >= want && m_unansweredBytes > 0 && !m_unanswered.empty())
                takeLateAnswer(lastEvent);
        }
    }
    m_unanswered.clear();
    m_lastAnswerMs = 0;
}

void TelegramLink::traceRead(int n, bool untilFrame, bool complete)
{
    TraceEvent event;
    event.bytes = QByteArray(reinterpret_cast<const char*>(m_rx.data()), m_rxCount);
    event.atMs = m_clock.nowMs();
    if (complete) {
        event.kind = TraceKind::Received;
    } else {
        event.kind = TraceKind::NoAnswer;
        event.expected = untilFrame ? 0 : n;
    }
    m_traces.traced(event);
}

bool TelegramLink::writeRaw(int n)
{
    if (!m_transport || !m_transport->isOpen())
        return false;
    if (m_traces.isActive())
        m_traces.traced({TraceKind::Sent, QByteArray(reinterpret_cast<const char*>(m_tx.data()), n), 0, m_clock.nowMs()});
    int written = 0;
    if (!m_transport->WriteBytes(m_tx.data(), n, written) || written != n)
        return false;
    if (m_da != BroadcastAddress)   // nobody answers a broadcast
        m_unanswered.push_back(m_clock.nowMs());
    return true;
}

void TelegramLink::purgeBoth()
{
    if (!m_transport)
        return;
    m_transport->PurgeOutput();
    m_transport->PurgeInput();
}

void TelegramLink::keepNotice(const char* text, const char* caption)
{
    m_notice = LinkNotice{QString::fromUtf8(text), QString::fromUtf8(caption)};
}

// --- receive primitives ---------------------------------------------------------------------

bool TelegramLink::ReceiveAnswer(int dataBytes)
{
    const int expected = dataBytes + AnswerOverhead;
    for (int attempt = 0; attempt < 2; ++attempt) {
        readInto(expected);
        if (m_rxCount < expected) {
            // Nothing or too little came: give the station a moment and ask again.
            m_lastCheck = FrameCheck::TooShort;
            if (closing() || m_singleTry)
                return false;
            m_waiter.waitMs(RetryPauseMs);
            SendTelegram();
            continue;
        }
        m_lastCheck = CheckAnswer();
        // A frame carrying fewer data bytes than asked would decode its own trailer.
        if (m_lastCheck == FrameCheck::None && m_rx[1] != dataBytes + MinVariableLength)
            m_lastCheck = FrameCheck::LengthMismatch;
        if (m_lastCheck == FrameCheck::None)
            return true;
    }
    return false;
}

bool TelegramLink::ReceiveAck()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        readInto(ShortFrameSize);
        if (m_rxCount < ShortFrameSize) {
            m_lastCheck = FrameCheck::TooShort;
            if (closing() || m_singleTry)
                return false;
            SendTelegram();
            continue;
        }
        m_lastCheck = CheckAck();
        if (m_lastCheck == FrameCheck::None)
            return true;
    }
    return false;
}

bool TelegramLink::ReceiveIdentAnswer()
{
    readInto(IdentReadSize, UntilWholeFrame);
    if (m_rxCount < 2 || m_rxCount != m_rx[1] + VariableFrameOverhead) {
        if (closing() || m_singleTry)
            return false;
        m_waiter.waitMs(RetryPauseMs);
        SendTelegram();
        readInto(IdentReadSize, UntilWholeFrame);
    }
    m_lastCheck = CheckAnswer();
    return m_lastCheck == FrameCheck::None;
}

// --- exchanges --------------------------------------------------------------------------------

bool TelegramLink::sendReadRequest(int table, int dataBytes, int address)
{
    beginRequest(FcSendRequestData, BlockRequestLength);
    putBlockHeader(CmdRead, table, dataBytes, address);
    return finishRequest();
}

bool TelegramLink::sendCommand(uint8_t function, uint8_t command)
{
    beginRequest(function, CommandRequestLength);
    m_tx[DataUnitOffset] = command;
    return finishRequest();
}

bool TelegramLink::readExchange(int table, int dataBytes, int address, bool& answered)
{
    answered = false;
    bool ok = sendReadRequest(table, dataBytes, address);
    if (m_da != BroadcastAddress)   // nobody answers a broadcast
        ok = answered = ReceiveAnswer(dataBytes);
    if (!ok)
        purgeBoth();   // keep a late answer out of the next exchange
    return ok;
}

bool TelegramLink::writeExchange(int table, int dataBytes, int address)
{
    beginRequest(FcSendDataAck, BlockRequestLength + dataBytes);
    putBlockHeader(CmdWrite, table, dataBytes, address);
    finishRequest();
    // Even a broadcast waits for an acknowledgement.
    const bool ok = ReceiveAck();
    if (!ok)
        purgeBoth();
    return ok;
}

bool TelegramLink::ReadTable(int table)
{
    if (!isTableNumber(table))
        return false;
    bool answered = false;
    const bool ok = readExchange(wireTableNumber(table), TableLengths[table], 0, answered);
    if (answered && DecodeTable(table, m_rx.data() + DataUnitOffset, m_image) < 0)
        keepNotice("Chyba, číslo tabulky mimo rozsah.", "Sériový Port");
    return ok;
}

bool TelegramLink::WriteTable(int table)
{
    if (!isTableNumber(table))
        return false;
    if (!tableInfo(table).hasEncoder) {
        keepNotice("Nepředvídaná chyba, špatně zadaná tabulka", "DATA");
        return false;
    }
    const int dataBytes = TableLengths[table];
    EncodeTable(table, m_image, m_tx.data() + BlockDataOffset);
    return writeExchange(wireTableNumber(table), dataBytes, 0);
}

bool TelegramLink::StoreToEeprom()
{
    sendCommand(FcSendDataAck, CmdStoreEeprom);
    return ReceiveAck();
}

bool TelegramLink::PingStation()
{
    beginExchange();
    putShortFrame(m_tx.data(), m_da, m_sa, FcRequestStatus);
    if (!writeRaw(ShortFrameSize))
        return false;
    readInto(ShortFrameSize);
    if (m_rxCount < ShortFrameSize)
        return false;
    m_lastCheck = CheckAck();
    return m_lastCheck == FrameCheck::None;
}

bool TelegramLink::readIdentText(uint8_t command, std::array<char, 250>& text)
{
    sendCommand(FcSendRequestData, command);
    if (!ReceiveIdentAnswer())
        return false;
    // The checked frame lies inside the received bytes, so L - 3 <= 246 and a zero stays.
    text.fill(0);
    std::memcpy(text.data(), m_rx.data() + DataUnitOffset, m_rx[1] - MinVariableLength);
    return true;
}

bool TelegramLink::ReadDeviceType()
{
    return readIdentText(CmdIdentify, m_image.deviceTypeText);
}

bool TelegramLink::ReadDeviceVersion()
{
    return readIdentText(CmdVersion, m_image.deviceVersionText);
}

bool TelegramLink::ReadForeignIdent()
{
    sendCommand(FcSendRequestData, CmdIdentify);
    // No retry and no checksum check: only the announced length must have arrived.
    const bool read = readInto(ForeignIdentReadSize, UntilWholeFrame);
    const int length = m_rxCount >= 2 ? m_rx[1] : 0;
    if (!read || length < 5 || m_rxCount < length + VariableFrameOverhead) {
        m_lastCheck = m_rxCount < 2 ? FrameCheck::TooShort : FrameCheck::LengthMismatch;
        return false;
    }
    m_lastCheck = FrameCheck::None;
    m_image.foreignIdentText.fill(0);
    // The block follows the echoed command byte.
    const int blockBytes = length - MinVariableLength - 1;
    std::memcpy(m_image.foreignIdentText.data(), m_rx.data() + DataUnitOffset + 1, blockBytes);
    return true;
}

} // namespace kv10
