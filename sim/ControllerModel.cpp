#include "ControllerModel.h"

#include "TableCodec.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace kv10::sim {

namespace {

constexpr int MaxDataBytes = 246;           // an answer must fit a 255-byte read
constexpr int ForeignFieldSize = 32;
constexpr int StartValueBytes = ProgramCount * 4;
constexpr int SegmentSetpointBytes = SegmentCount * 4;
constexpr int SegmentTimeBytes = SegmentCount * 2;

constexpr double AmbientTemperature = 22.0;
constexpr double ProcessTimeConstant = 40.0;    // seconds
constexpr double HeaterSpan = 400.0;            // degrees above ambient at full output
constexpr double StepSeconds = 0.1;

// The request bit and the function, without the frame-count bits.
uint8_t serviceOf(uint8_t fc) { return fc & 0x4F; }

QByteArray latin1Text(const QString& text, int maxBytes)
{
    return text.toLatin1().left(maxBytes);
}

// The header of a read or write request: command, table, n, address high, address low.
struct BlockHeader {
    int table;
    int count;
    int address;
};

BlockHeader blockOf(const Frame& request)
{
    const auto* d = reinterpret_cast<const uint8_t*>(request.data.constData());
    return {d[1], d[2], d[3] << 8 | d[4]};
}

} // namespace

RequestKind classifyRequest(const Frame& frame)
{
    const uint8_t service = serviceOf(frame.fc);
    if (frame.isShort)
        return service == serviceOf(FcRequestStatus) ? RequestKind::Ping : RequestKind::Other;
    if (frame.data.isEmpty())
        return RequestKind::Other;
    const auto command = uint8_t(frame.data[0]);
    if (service == serviceOf(FcSendRequestData)) {
        if (command == CmdRead)
            return RequestKind::Read;
        if (frame.data.size() == 1 && command == CmdIdentify)
            return RequestKind::IdentType;
        if (frame.data.size() == 1 && command == CmdVersion)
            return RequestKind::IdentVersion;
    } else if (service == serviceOf(FcSendDataAck)) {
        if (command == CmdWrite)
            return RequestKind::Write;
        if (frame.data.size() == 1 && command == CmdStoreEeprom)
            return RequestKind::StoreEeprom;
    }
    return RequestKind::Other;
}

bool isWriteRequest(RequestKind kind)
{
    return kind == RequestKind::Write || kind == RequestKind::StoreEeprom;
}

ControllerModel::ControllerModel(std::vector<uint8_t> addresses, uint32_t seed)
    : m_random(seed)
{
    setAddresses(std::move(addresses));
    setDefaults();
}

void ControllerModel::setAddresses(std::vector<uint8_t> addresses)
{
    std::erase_if(addresses, [](uint8_t a) { return a > HighestStationAddress; });
    if (addresses.empty())
        addresses.push_back(0);
    m_addresses = std::move(addresses);
    m_image.add.adresa = m_addresses.front();
}

bool ControllerModel::answersAt(uint8_t address) const
{
    return std::find(m_addresses.begin(), m_addresses.end(), address) != m_addresses.end();
}

void ControllerModel::setDeviceTexts(const QString& type, const QString& version)
{
    m_deviceType = type;
    m_deviceVersion = version;
}

void ControllerModel::setForeign(bool foreign, const ForeignIdentity& identity)
{
    m_foreign = foreign;
    m_foreignIdentity = identity;
}

void ControllerModel::setSensorFault(bool fault)
{
    m_image.live.fault = fault ? 1 : 0;
    step(0);
}

// Values a technician would find in a freshly commissioned furnace controller.
void ControllerModel::setDefaults()
{
    ControllerImage& i = m_image;
    i.comp.sp = 150.0f;
    i.alarm1 = {0.0f, 200.0f, 2.0f, 0 /*CONS*/, 1 /*ON*/};
    i.alarm2 = {-10.0f, 10.0f, 1.0f, 1 /*DRIF*/, 1 /*ON*/};
    i.sens = {1 /*K*/, 1 /*000.0*/, 0.0f, 1200.0f, 0.0f, 1 /*terminal*/};
    i.pid = {10.0f, 100.0f, 30.0f, 0};
    i.rego = {2 /*PIDI*/, 60, 1, 0, 5 /*1,0 s*/, 0, 10};
    i.onof = {0.0f, 5.0f, 1.0f, 1.0f, 0, 1, 0};
    i.daco = {0 /*YOUT*/, 1 /*4-20mA*/, 0.0f, 100.0f};
    i.erro = {3 /*OFF*/, 0, 0, 1 /*0 mA*/};
    i.ost = {0.0f, 200.0f, 4, 0, 0, 0};
    i.add.zaznam = DefaultRecordIntervalSeconds;
    i.go = {0, 0, 0, 0};
    i.goext = {1, 6, 0};
    i.prog = {1 /*RAMP*/, 0};

    // Program p heats to 100 + 25 p in ten ramps and cools back in ten.
    for (int p = 0; p < ProgramCount; ++p) {
        const double peak = 100.0 + 25.0 * p;
        i.startValue[p] = 20.0f;
        for (int s = 0; s < SegmentCount; ++s) {
            const double sp = s < 10 ? 20.0 + (peak - 20.0) * (s + 1) / 10.0
                                     : peak - (peak - 20.0) * (s - 9) / 11.0;
            i.segmentSetpoint[p][s] = float(std::round(sp * 10.0) / 10.0);
            i.segmentTime[p][s] = 30 + 5 * s;
        }
    }

    // An earlier heat-up already sits in the record, oldest at 0; POS names the newest sample.
    for (int k = 0; k < RecordValueCount; ++k)
        i.recordValues[k] = float(AmbientTemperature + 128.0 * (1.0 - std::exp(-k / 40.0)) + 0.3 * std::sin(k * 0.7));
    i.recd.pos = uint8_t(RecordValueCount - 1);

    i.live.meas = float(m_process);
    i.live.ts = float(AmbientTemperature);
    readClock();
    step(0);
}

void ControllerModel::advanceTo(double seconds)
{
    if (!m_started) {
        m_started = true;
        m_time = seconds;
        return;
    }
    if (seconds <= m_time)
        return;
    if (!m_liveRunning) {
        m_time = seconds;
        return;
    }
    // After a long idle stretch walk in coarser steps; the process has settled anyway.
    const double stepSize = std::max(StepSeconds, (seconds - m_time) / 20000.0);
    while (m_time < seconds) {
        const double dt = std::min(stepSize, seconds - m_time);
        step(dt);
        m_time += dt;
        m_sinceRecord += dt;
        const double interval = std::max<int32_t>(1, m_image.add.zaznam);
        if (m_sinceRecord >= interval) {
            m_sinceRecord -= interval;
            takeRecordSample();
        }
    }
}

void ControllerModel::takeRecordSample()
{
    // POS always names the newest sample: move on first, then overwrite the oldest.
    m_image.recd.pos = uint8_t((m_image.recd.pos + 1) % RecordValueCount);
    m_image.recordValues[m_image.recd.pos] = m_image.live.meas;
}

void ControllerModel::step(double dt)
{
    ControllerImage& i = m_image;
    LiveTable& live = i.live;
    std::normal_distribution<double> noise(0.0, 1.0);
    const double sp = i.comp.sp;
    live.sp = i.comp.sp;

    m_process += (sp - m_process) * (1.0 - std::exp(-dt / ProcessTimeConstant));
    if (dt > 0) {
        live.meas = float(m_process + i.sens.offs + 0.08 * noise(m_random));
        live.ts = float(AmbientTemperature + 0.4 * std::sin(2 * std::numbers::pi * m_time / 900.0)
                        + 0.03 * noise(m_random));
    }
    const double meas = live.meas;

    const double hold = (sp - AmbientTemperature) / HeaterSpan * 1000.0;
    live.yout = int32_t(std::lround(std::clamp(hold + i.pid.pb * 10.0 * (sp - meas), 0.0, 1000.0)));

    // Heating and cooling relays switch with their offsets and hysteresis.
    if (meas < sp + i.onof.phea - i.onof.hhea)
        m_heating = true;
    else if (meas >= sp + i.onof.phea)
        m_heating = false;
    if (meas > sp + i.onof.pcoo + i.onof.hcoo)
        m_cooling = true;
    else if (meas <= sp + i.onof.pcoo)
        m_cooling = false;

    // Alarms: CONS and DRIF trip outside the limits, WIN and DWI inside; DRIF and DWI
    // measure the deviation from the setpoint. Hysteresis holds a tripped alarm.
    const AlarmTable* alarms[2] = {&i.alarm1, &i.alarm2};
    bool alarmRelay[2] = {};
    for (int a = 0; a < 2; ++a) {
        const AlarmTable& alarm = *alarms[a];
        const bool relative = alarm.rala == 1 || alarm.rala == 3;
        const bool tripsOutside = alarm.rala < 2;
        const double value = relative ? meas - sp : meas;
        const double margin = m_alarmActive[a] ? (tripsOutside ? alarm.hyst : -alarm.hyst) : 0.0;
        const bool inside = value >= alarm.splo + margin && value <= alarm.sphi - margin;
        m_alarmActive[a] = tripsOutside ? !inside : inside;
        alarmRelay[a] = alarm.rele ? m_alarmActive[a] : !m_alarmActive[a];
    }

    bool relays[4] = {m_heating, m_cooling, alarmRelay[0], alarmRelay[1]};
    if (live.fault) {
        // The reactions to a sensor fault chosen in ERRO.
        switch (i.erro.re12) {
        case 1: relays[0] = true; relays[1] = false; break;
        case 2: relays[0] = false; relays[1] = true; break;
        case 3: relays[0] = relays[1] = false; break;
        default: break;
        }
        if (i.erro.re_3 != 0)
            relays[2] = i.erro.re_3 == 1;
        if (i.erro.re_4 != 0)
            relays[3] = i.erro.re_4 == 1;
        if (i.erro.yout == 1)
            live.yout = 0;
        else if (i.erro.yout == 2)
            live.yout = 1000;
    }
    live.outs = uint8_t(relays[0] | relays[1] << 1 | relays[2] << 2 | relays[3] << 3);
    live.res = 0;
}

void ControllerModel::readClock()
{
    const QDateTime now = QDateTime::currentDateTime().addSecs(m_clockOffsetSeconds);
    TimeTable& t = m_image.time;
    t.sec = uint8_t(now.time().second());
    t.min = uint8_t(now.time().minute());
    t.hour = uint8_t(now.time().hour());
    t.wday = uint8_t(now.date().dayOfWeek());
    t.mday = uint8_t(now.date().day());
    t.mont = uint8_t(now.date().month());
    t.year = uint8_t(now.date().year() % 100);
}

bool ControllerModel::writeClock()
{
    const TimeTable& t = m_image.time;
    const QDate date(2000 + t.year, t.mont, t.mday);
    const QTime time(t.hour, t.min, t.sec);
    if (!date.isValid() || !time.isValid())
        return false;
    m_clockOffsetSeconds = QDateTime::currentDateTime().secsTo(QDateTime(date, time));
    return true;
}

ControllerModel::Place ControllerModel::placeOf(int wireTable, int address, int count) const
{
    switch (wireTable) {
    case TableComp:
        // The setpoint and the block of start values both begin at address 0.
        return {address + count <= TableLengths[TableComp] ? Region::Fields : Region::StartValues, TableComp, 0};
    case TableLive: return {Region::Live, TableLive, 0};
    case TableRecd: return address == 0 ? Place{Region::RecordHead, TableRecd, 0} : Place{Region::Record, TableRecd, 1};
    case Table13: return {Region::Table13, Table13, 0};
    case TableGo: return {Region::Fields, TableGoext, 0};
    case TableSegsp: return {Region::SegmentSetpoints, TableSegsp, 0};
    case TableSegti: return {Region::SegmentTimes, TableSegti, 0};
    default:
        if (wireTable >= 0 && wireTable < TableCount)
            return {Region::Fields, wireTable, 0};
        return {};
    }
}

QByteArray ControllerModel::regionBytes(const Place& place, uint8_t askedAddress) const
{
    QByteArray bytes;
    auto buffer = [&bytes](int size) {
        bytes = QByteArray(size, '\0');
        return reinterpret_cast<uint8_t*>(bytes.data());
    };
    switch (place.region) {
    case Region::StartValues: {
        uint8_t* at = buffer(StartValueBytes);
        for (float v : m_image.startValue)
            at += PutFloat(at, v);
        break;
    }
    case Region::Fields:
    case Region::Live: {
        ControllerImage shown = m_image;
        shown.add.adresa = askedAddress;    // every station reports the address it was asked at
        encodeFields(tableInfo(place.table), shown, buffer(TableLengths[place.table]));
        break;
    }
    case Region::RecordHead:
        buffer(TableLengths[TableRecd])[0] = m_image.recd.pos;
        break;
    case Region::Record: {
        uint8_t* at = buffer(RecordRingBytes);
        for (float v : m_image.recordValues)
            at += PutFloat(at, v);
        break;
    }
    case Region::Table13:
        std::copy(m_table13.begin(), m_table13.end(), buffer(int(m_table13.size())));
        break;
    case Region::SegmentSetpoints: {
        uint8_t* at = buffer(ProgramCount * SegmentSetpointBytes);
        for (const auto& program : m_image.segmentSetpoint)
            for (float v : program)
                at += PutFloat(at, v);
        break;
    }
    case Region::SegmentTimes: {
        uint8_t* at = buffer(ProgramCount * SegmentTimeBytes);
        for (const auto& program : m_image.segmentTime)
            for (int32_t v : program)
                at += PutInt16(at, v);
        break;
    }
    case Region::None:
        break;
    }
    return bytes;
}

bool ControllerModel::storeRegion(const Place& place, const QByteArray& bytes, uint8_t askedAddress)
{
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.constData());
    switch (place.region) {
    case Region::StartValues:
        for (float& v : m_image.startValue)
            in += GetFloat(in, v);
        return true;
    case Region::Fields: {
        ControllerImage written = m_image;
        decodeFields(tableInfo(place.table), in, written);
        if (place.table == TableAdd) {
            const int zaznam = written.add.zaznam & 0xFFFF;
            if (written.add.adresa > HighestStationAddress || zaznam < 1 || zaznam > 32000)
                return false;
            // The station that was asked moves to its new address.
            std::vector<uint8_t> moved = m_addresses;
            std::replace(moved.begin(), moved.end(), askedAddress, written.add.adresa);
            moved.erase(std::unique(moved.begin(), moved.end()), moved.end());
            m_image = written;
            setAddresses(std::move(moved));
            return true;
        }
        const TimeTable previous = m_image.time;
        m_image = written;
        if (place.table == TableTime && !writeClock()) {
            m_image.time = previous;
            return false;
        }
        return true;
    }
    case Region::Table13:
        std::copy(in, in + m_table13.size(), m_table13.begin());
        return true;
    case Region::SegmentSetpoints:
        for (auto& program : m_image.segmentSetpoint)
            for (float& v : program)
                in += GetFloat(in, v);
        return true;
    case Region::SegmentTimes:
        for (auto& program : m_image.segmentTime)
            for (int32_t& v : program)
                in += GetInt16(in, v);
        return true;
    case Region::Live:
    case Region::RecordHead:
    case Region::Record:
    case Region::None:
        return false;   // measured values and the record cannot be written
    }
    return false;
}

QByteArray ControllerModel::ack(const Frame& request, bool accepted) const
{
    return shortFrame(request.sa, request.da, accepted ? FcAckPositive : FcAckRefused);
}

QByteArray ControllerModel::readAnswer(const Frame& request)
{
    if (request.data.size() != BlockHeaderSize)
        return ack(request, false);
    const auto [table, count, address] = blockOf(request);
    const Place place = placeOf(table, address, count);
    if (place.region == Region::None || count > MaxDataBytes || address < place.base)
        return ack(request, false);
    if (place.region == Region::Fields && place.table == TableTime)
        readClock();
    const QByteArray region = regionBytes(place, request.da);
    QByteArray data(count, '\0');
    const int offset = address - place.base;
    const int available = std::clamp(int(region.size()) - offset, 0, count);
    std::copy_n(region.constData() + offset, available, data.data());
    return dataFrame(request.sa, request.da, FcAnswerData, data);
}

QByteArray ControllerModel::writeAnswer(const Frame& request)
{
    if (request.data.size() < BlockHeaderSize)
        return ack(request, false);
    const auto [table, count, address] = blockOf(request);
    if (request.data.size() != BlockHeaderSize + count)
        return ack(request, false);
    const Place place = placeOf(table, address, count);
    if (place.region == Region::None || address < place.base)
        return ack(request, false);
    QByteArray region = regionBytes(place, request.da);
    const int offset = address - place.base;
    if (offset + count > region.size())
        return ack(request, false);
    std::copy_n(request.data.constData() + BlockHeaderSize, count, region.data() + offset);
    return ack(request, storeRegion(place, region, request.da));
}

QByteArray ControllerModel::identAnswer(const Frame& request, bool version)
{
    if (m_foreign) {
        // The other family: the command byte and three zero-padded 32-byte text fields.
        QByteArray block(1 + 3 * ForeignFieldSize, '\0');
        block[0] = request.data[0];
        const QString fields[3] = {m_foreignIdentity.type, m_foreignIdentity.serial, m_foreignIdentity.version};
        for (int f = 0; f < 3; ++f) {
            const QByteArray text = latin1Text(fields[f], ForeignFieldSize);
            std::copy(text.begin(), text.end(), block.begin() + 1 + f * ForeignFieldSize);
        }
        return dataFrame(request.sa, request.da, FcAnswerDataHigh, block);
    }
    return dataFrame(request.sa, request.da, FcAnswerData, latin1Text(version ? m_deviceVersion : m_deviceType, MaxDataBytes));
}

QByteArray ControllerModel::answer(const Frame& request)
{
    switch (classifyRequest(request)) {
    case RequestKind::Read: return readAnswer(request);
    case RequestKind::Write: return writeAnswer(request);
    case RequestKind::StoreEeprom:
    case RequestKind::Ping: return ack(request, true);
    case RequestKind::IdentType: return identAnswer(request, false);
    case RequestKind::IdentVersion: return m_silentVersion ? QByteArray() : identAnswer(request, true);
    case RequestKind::Other: break;
    }
    return request.isShort ? QByteArray() : ack(request, false);
}

} // namespace kv10::sim
