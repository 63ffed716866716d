#include "TelegramTrace.h"

#include "CodePage.h"
#include "FrameCheck.h"
#include "Protocol.h"
#include "TableCodec.h"

namespace kv10 {

namespace {

const uint8_t* bytesOf(const QByteArray& frame)
{
    return reinterpret_cast<const uint8_t*>(frame.constData());
}

// The parts of a request that the answer's meaning depends on.
struct Request {
    bool known = false;
    uint8_t da = 0;
    uint8_t function = 0;
    uint8_t command = 0;
    bool block = false;     // command, table, n, address follow
    int table = 0;          // as on the wire
    int dataBytes = 0;
    int address = 0;
};

Request parseRequest(const QByteArray& frame)
{
    Request request;
    const uint8_t* b = bytesOf(frame);
    const int size = int(frame.size());
    if (size == ShortFrameSize && b[0] == StartShort) {
        request.known = true;
        request.da = b[1];
        request.function = b[3];
        return request;
    }
    if (size <= DataUnitOffset || b[0] != StartVariable || b[1] != b[2]
        || b[1] + VariableFrameOverhead != size)
        return request;
    request.known = true;
    request.da = b[4];
    request.function = b[6];
    request.command = b[DataUnitOffset];
    request.block = (request.command == CmdRead || request.command == CmdWrite) && size >= BlockDataOffset + 2;
    if (request.block) {
        const uint8_t* block = b + DataUnitOffset;
        request.table = block[1];
        request.dataBytes = block[2];
        request.address = block[3] << 8 | block[4];
    }
    return request;
}

// GOEXT travels as GO: the length tells them apart.
QString tableName(int wireTable, int dataBytes)
{
    for (int table = 0; table < TableCount; ++table)
        if (wireTableNumber(table) == wireTable && TableLengths[table] == dataBytes && *tableInfo(table).name)
            return QString::fromLatin1(tableInfo(table).name);
    if (wireTable < TableCount && *tableInfo(wireTable).name)
        return QString::fromLatin1(tableInfo(wireTable).name);
    return QString::number(wireTable);
}

// "PID (13 B)", or "SEGSP (80 B od adresy 160)" for a block further in.
QString tableText(const Request& request)
{
    QString text = QStringLiteral("tabulky %1 (%2 B").arg(tableName(request.table, request.dataBytes)).arg(request.dataBytes);
    if (request.address != 0)
        text += QStringLiteral(" od adresy %1").arg(request.address);
    return text + QLatin1Char(')');
}

QString stationText(uint8_t address)
{
    return address == BroadcastAddress ? QStringLiteral(", všem stanicím") : QStringLiteral(", stanice %1").arg(address);
}

QString requestMeaning(const Request& request)
{
    QString what;
    if (!request.known)
        return QStringLiteral("neznámý rámec");
    if (request.function == FcRequestStatus)
        what = QStringLiteral("dotaz na stanici");
    else if (request.block && request.command == CmdRead && request.function == FcSendRequestData)
        what = QStringLiteral("čtení ") + tableText(request);
    else if (request.block && request.command == CmdWrite && request.function == FcSendDataAck)
        what = QStringLiteral("zápis ") + tableText(request);
    else if (request.command == CmdStoreEeprom && request.function == FcSendDataAck)
        what = QStringLiteral("uložení do EEPROM");
    else if (request.command == CmdIdentify && request.function == FcSendRequestData)
        what = QStringLiteral("dotaz na typ přístroje");
    else if (request.command == CmdVersion && request.function == FcSendRequestData)
        what = QStringLiteral("dotaz na verzi");
    else
        what = QStringLiteral("neznámý požadavek");
    return what + stationText(request.da);
}

QString hexByte(uint8_t value)
{
    return hexText(QByteArray(1, char(value)));
}

QString checkText(FrameCheck check, const uint8_t* frame)
{
    switch (check) {
    case FrameCheck::None: break;
    case FrameCheck::TooShort: return QStringLiteral("neúplný rámec");
    case FrameCheck::StartDelimiter: return QStringLiteral("chybný začátek rámce");
    case FrameCheck::LengthMismatch: return QStringLiteral("chybná délka rámce");
    case FrameCheck::FunctionCode:
        return QStringLiteral("neočekávaný kód funkce %1").arg(hexByte(frame[6]));
    case FrameCheck::EndDelimiter: return QStringLiteral("chybný konec rámce");
    case FrameCheck::Checksum: return QStringLiteral("chyba kontrolního součtu");
    case FrameCheck::Refused: return QStringLiteral("odmítnutí (kód %1)").arg(hexByte(frame[3]));
    }
    return {};
}

QString answerMeaning(const QByteArray& frame, const Request& request)
{
    const uint8_t* b = bytesOf(frame);
    const int size = int(frame.size());
    if (b[0] == StartShort) {
        const FrameCheck check = checkAckFrame(b, size);
        // A refusal is the station's word, so it says which station refused.
        if (check == FrameCheck::Refused)
            return checkText(check, b) + stationText(b[2]);
        return check == FrameCheck::None ? QStringLiteral("potvrzení") + stationText(b[2]) : checkText(check, b);
    }
    const FrameCheck check = checkAnswerFrame(b, size);
    if (check != FrameCheck::None)
        return checkText(check, b);
    const int dataBytes = b[1] - MinVariableLength;
    const QString station = stationText(b[5]);
    if (request.block && request.command == CmdRead) {
        if (dataBytes != request.dataBytes)
            return QStringLiteral("chybná délka dat (%1 B místo %2 B)").arg(dataBytes).arg(request.dataBytes) + station;
        return QStringLiteral("data ") + tableText(request) + station;
    }
    QString text = fromWindows1250Buffer(frame.constData() + DataUnitOffset, size_t(dataBytes));
    // The device's text must not break the line it is shown in.
    for (QChar& c : text)
        if (c.unicode() < 0x20)
            c = QLatin1Char('?');
    if (request.known && request.command == CmdIdentify)
        return QStringLiteral("typ přístroje „%1“").arg(text) + station;
    if (request.known && request.command == CmdVersion)
        return QStringLiteral("verze „%1“").arg(text) + station;
    return QStringLiteral("data (%1 B)").arg(dataBytes) + station;
}

QString noAnswerMeaning(const TraceEvent& event)
{
    const int got = int(event.bytes.size());
    if (got == 0)
        return event.expected > 0 ? QStringLiteral("bez odpovědi (čekáno %1 B)").arg(event.expected)
                                  : QStringLiteral("bez odpovědi");
    return event.expected > 0 ? QStringLiteral("neúplná odpověď (%1 z %2 B)").arg(got).arg(event.expected)
                              : QStringLiteral("neúplná odpověď (%1 B)").arg(got);
}

} // namespace

QString hexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString traceMeaning(const TraceEvent& event, const QByteArray& request)
{
    switch (event.kind) {
    case TraceKind::Sent:
        return requestMeaning(parseRequest(event.bytes));
    case TraceKind::Received:
        if (event.bytes.isEmpty())
            return noAnswerMeaning(event);
        return answerMeaning(event.bytes, parseRequest(request));
    case TraceKind::NoAnswer:
        return noAnswerMeaning(event);
    }
    return {};
}

} // namespace kv10
