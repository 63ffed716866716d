#pragma once
// The simulated KORVIN 10 itself, without any I/O: its tables, ten programs, the record
// ring, a process that follows the setpoint, and the answer to every request.
#include "ControllerImage.h"
#include "Frames.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <random>
#include <vector>

namespace kv10::sim {

enum class RequestKind { Read, Write, StoreEeprom, Ping, IdentType, IdentVersion, Other };
constexpr int RequestKindCount = 7;

RequestKind classifyRequest(const Frame& frame);
// A request that changes the controller (answered with an acknowledgement).
bool isWriteRequest(RequestKind kind);

// Texts of the other device family's identification block.
struct ForeignIdentity {
    QString type = QStringLiteral("KORVIN 5");
    QString serial = QStringLiteral("SN 0001");
    QString version = QStringLiteral("FW-K-05-01");
};

class ControllerModel {
public:
    static constexpr int DefaultRecordIntervalSeconds = 60;
    static constexpr int RecordRingBytes = RecordValueCount * 4;

    ControllerModel(std::vector<uint8_t> addresses, uint32_t seed = 1);

    // Stations this controller answers as; the first one is its own ADD.ADRESA.
    void setAddresses(std::vector<uint8_t> addresses);
    const std::vector<uint8_t>& addresses() const { return m_addresses; }
    bool answersAt(uint8_t address) const;

    void setDeviceTexts(const QString& type, const QString& version);
    void setForeign(bool foreign, const ForeignIdentity& identity = {});
    // A controller that answers the type request but leaves the version request unanswered.
    void setSilentVersion(bool silent) { m_silentVersion = silent; }

    // Runs the process and the record up to `seconds` (a monotonic time).
    void advanceTo(double seconds);
    void setLiveRunning(bool running) { m_liveRunning = running; }
    void setSensorFault(bool fault);

    // The answer to a request addressed to this controller; empty when it stays silent.
    QByteArray answer(const Frame& request);

    ControllerImage& image() { return m_image; }
    const ControllerImage& image() const { return m_image; }

private:
    enum class Region { StartValues, Fields, Live, RecordHead, Record, Table13, SegmentSetpoints, SegmentTimes, None };
    struct Place {
        Region region = Region::None;
        int table = 0;      // catalogue table for Region::Fields and Region::Live
        int base = 0;       // table address of the region's first byte
    };

    Place placeOf(int wireTable, int address, int count) const;
    QByteArray regionBytes(const Place& place, uint8_t askedAddress) const;
    bool storeRegion(const Place& place, const QByteArray& bytes, uint8_t askedAddress);

    QByteArray readAnswer(const Frame& request);
    QByteArray writeAnswer(const Frame& request);
    QByteArray identAnswer(const Frame& request, bool version);
    QByteArray ack(const Frame& request, bool accepted) const;

    void setDefaults();
    void step(double dt);
    void takeRecordSample();
    void readClock();
    bool writeClock();

    ControllerImage m_image;
    std::vector<uint8_t> m_addresses;
    QString m_deviceType = QStringLiteral("KORVIN 10");
    QString m_deviceVersion = QStringLiteral("FW-R-09-01");
    bool m_foreign = false;
    bool m_silentVersion = false;
    ForeignIdentity m_foreignIdentity;
    std::array<uint8_t, 62> m_table13{};

    // Process state.
    std::mt19937 m_random;
    double m_time = 0;
    bool m_started = false;
    bool m_liveRunning = true;
    double m_process = 22.0;        // the true temperature, without sensor noise
    double m_sinceRecord = 0;
    qint64 m_clockOffsetSeconds = 0;
    bool m_heating = false;
    bool m_cooling = false;
    std::array<bool, 2> m_alarmActive{};
};

} // namespace kv10::sim
