#include "Telegram.h"

#include "Prompts.h"
#include "TableCodec.h"
#include "Timing.h"

#include <algorithm>
#include <cstring>

namespace kv10 {

namespace {

constexpr uint8_t StartVariable = 0x68;
constexpr uint8_t StartShort = 0x10;
constexpr uint8_t EndDelimiter = 0x16;

constexpr uint8_t FcSendRequestData = 0x6C;
constexpr uint8_t FcSendDataAck = 0x63;
constexpr uint8_t FcRequestStatus = 0x69;
constexpr uint8_t FcAnswerData = 0x08;
constexpr uint8_t FcAckPositive = 0x00;

constexpr uint8_t CmdIdentify = 0x00;
constexpr uint8_t CmdRead = 0x01;
constexpr uint8_t CmdWrite = 0x02;
constexpr uint8_t CmdVersion = 0x04;
constexpr uint8_t CmdStoreEeprom = 0x06;

constexpr int ShortFrameSize = 6;
constexpr int AnswerOverhead = 9;      // header 4, DA, SA, FC, FCS, end
constexpr int IdentReadSize = 255;
constexpr int ForeignIdentReadSize = 254;
constexpr int RetryWaitMs = 100;

uint8_t sum8(const uint8_t* from, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += from[i];
    return static_cast<uint8_t>(sum);
}

bool isTableNumber(int table)
{
    return table >= 0 && table < TableCount;
}

} // namespace

TelegramLink::TelegramLink(ControllerImage& image, Waiter& waiter, Prompts* prompts)
    : m_image(image), m_waiter(waiter), m_prompts(prompts)
{
}

void TelegramLink::setTransport(Transport* transport)
{
    m_transport = transport;
}

// --- frames -------------------------------------------------------------------------------

void TelegramLink::BuildHeader()
{
    m_tx[0] = StartVariable;
    m_tx[1] = m_length;
    m_tx[2] = m_length;
    m_tx[3] = StartVariable;
    m_tx[4] = m_da;
    m_tx[5] = m_sa;
    m_tx[6] = m_function;
}

uint8_t TelegramLink::ComputeFcs() const
{
    return sum8(m_tx.data() + 4, m_length);
}

void TelegramLink::beginRequest(uint8_t function, int length)
{
    m_function = function;
    m_length = static_cast<uint8_t>(length);
    BuildHeader();
}

void TelegramLink::putBlockHeader(uint8_t command, int table, int dataBytes, int address)
{
    m_tx[7] = command;
    m_tx[8] = static_cast<uint8_t>(table);
    m_tx[9] = static_cast<uint8_t>(dataBytes);
    m_tx[10] = static_cast<uint8_t>(address >> 8);
    m_tx[11] = static_cast<uint8_t>(address);
}

bool TelegramLink::finishRequest()
{
    m_tx[m_length + 4] = ComputeFcs();
    m_tx[m_length + 5] = EndDelimiter;
    return SendTelegram();
}

bool TelegramLink::SendTelegram()
{
    return writeRaw(m_length + 6);
}

// --- checks (only the bytes received by the last read count) ------------------------------

FrameCheck TelegramLink::CheckAnswer() const
{
    if (m_rxCount < 7)
        return FrameCheck::TooShort;
    if (m_rx[0] != StartVariable)
        return FrameCheck::StartDelimiter;
    if (m_rx[1] != m_rx[2])
        return FrameCheck::LengthMismatch;
    if (m_rx[6] != FcAnswerData)
        return FrameCheck::FunctionCode;
    // A corrupted L must not lead the checks past the bytes that actually arrived.
    const int length = m_rx[1];
    if (length < 3 || length + 6 > m_rxCount)
        return FrameCheck::LengthMismatch;
    if (m_rx[length + 5] != EndDelimiter)
        return FrameCheck::EndDelimiter;
    if (sum8(m_rx.data() + 4, length) != m_rx[length + 4])
        return FrameCheck::Checksum;
    return FrameCheck::None;
}

FrameCheck TelegramLink::CheckAck() const
{
    if (m_rxCount < ShortFrameSize)
        return FrameCheck::TooShort;
    if (m_rx[0] != StartShort)
        return FrameCheck::StartDelimiter;
    if (m_rx[3] != FcAckPositive)
        return FrameCheck::Refused;
    if (m_rx[5] != EndDelimiter)
        return FrameCheck::EndDelimiter;
    if (sum8(m_rx.data() + 1, 3) != m_rx[4])
        return FrameCheck::Checksum;
    return FrameCheck::None;
}

// --- transport access -----------------------------------------------------------------------

bool TelegramLink::readInto(int n)
{
    m_rxCount = 0;
    if (!m_transport || !m_transport->isOpen())
        return false;
    int got = 0;
    const bool ok = m_transport->ReadBytes(m_rx.data(), n, got);
    if (ok)
        m_rxCount = std::clamp(got, 0, n);
    if (m_trace)
        m_trace(false, QByteArray(reinterpret_cast<const char*>(m_rx.data()), m_rxCount));
    return ok;
}

bool TelegramLink::writeRaw(int n)
{
    if (!m_transport || !m_transport->isOpen())
        return false;
    if (m_trace)
        m_trace(true, QByteArray(reinterpret_cast<const char*>(m_tx.data()), n));
    int written = 0;
    return m_transport->WriteBytes(m_tx.data(), n, written) && written == n;
}

void TelegramLink::purgeBoth()
{
    if (!m_transport)
        return;
    m_transport->PurgeOutput();
    m_transport->PurgeInput();
}

void TelegramLink::showError(const char* text, const char* caption)
{
    if (m_prompts)
        m_prompts->message(QString::fromUtf8(text), QString::fromUtf8(caption), PromptIcon::Error,
                           PromptButton::Ok, nullptr);
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
            m_waiter.waitMs(RetryWaitMs);
            SendTelegram();
            continue;
        }
        m_lastCheck = CheckAnswer();
        // A frame carrying fewer data bytes than asked would decode its own trailer.
        if (m_lastCheck == FrameCheck::None && m_rx[1] != dataBytes + 3)
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
    readInto(IdentReadSize);
    if (m_rxCount < 2 || m_rxCount != m_rx[1] + 6) {
        m_waiter.waitMs(RetryWaitMs);
        SendTelegram();
        readInto(IdentReadSize);
    }
    m_lastCheck = CheckAnswer();
    return m_lastCheck == FrameCheck::None;
}

// --- exchanges --------------------------------------------------------------------------------

bool TelegramLink::sendReadRequest(int table, int dataBytes, int address)
{
    beginRequest(FcSendRequestData, 8);
    putBlockHeader(CmdRead, table, dataBytes, address);
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
    beginRequest(FcSendDataAck, dataBytes + 8);
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
    if (answered && DecodeTable(table, m_rx.data() + 7, m_image) < 0)
        showError("Chyba, číslo tabulky mimo rozsah.", "Sériový Port");
    return ok;
}

bool TelegramLink::WriteTable(int table)
{
    if (!isTableNumber(table))
        return false;
    if (!tableInfo(table).hasEncoder) {
        showError("Nepředvídaná chyba, špatně zadaná tabulka", "DATA");
        return false;
    }
    const int dataBytes = TableLengths[table];
    EncodeTable(table, m_image, m_tx.data() + 12);
    return writeExchange(wireTableNumber(table), dataBytes, 0);
}

bool TelegramLink::StoreToEeprom()
{
    beginRequest(FcSendDataAck, 4);
    m_tx[7] = CmdStoreEeprom;
    finishRequest();
    return ReceiveAck();
}

bool TelegramLink::PingStation()
{
    m_tx[0] = StartShort;
    m_tx[1] = m_da;
    m_tx[2] = m_sa;
    m_tx[3] = FcRequestStatus;
    m_tx[4] = sum8(m_tx.data() + 1, 3);
    m_tx[5] = EndDelimiter;
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
    beginRequest(FcSendRequestData, 4);
    m_tx[7] = command;
    finishRequest();
    if (!ReceiveIdentAnswer())
        return false;
    // The checked frame lies inside the received bytes, so L - 3 <= 246 and a zero stays.
    text.fill(0);
    std::memcpy(text.data(), m_rx.data() + 7, m_rx[1] - 3);
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
    beginRequest(FcSendRequestData, 4);
    m_tx[7] = CmdIdentify;
    finishRequest();
    // No retry and no checksum check: only the announced length must have arrived.
    const bool read = readInto(ForeignIdentReadSize);
    const int length = m_rxCount >= 2 ? m_rx[1] : 0;
    if (!read || length < 5 || m_rxCount < length + 6) {
        m_lastCheck = m_rxCount < 2 ? FrameCheck::TooShort : FrameCheck::LengthMismatch;
        return false;
    }
    m_lastCheck = FrameCheck::None;
    m_image.foreignIdentText.fill(0);
    std::memcpy(m_image.foreignIdentText.data(), m_rx.data() + 8, length - 4);
    return true;
}

} // namespace kv10
