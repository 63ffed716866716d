#pragma once
// A simulated KORVIN 10 as a station on the bus: it takes request frames and gives the
// answers with the time they may go out, with the faults a test asks for. It knows no line:
// SimulatedController serves it on a pseudo-terminal, SimulatedTransport in memory.
// Configuration, faults, counters and the controller's tables can be reached from any thread.
#include "ControllerModel.h"
#include "Frames.h"
#include "Timing.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace kv10::sim {

struct SimulatorOptions {
    std::vector<uint8_t> addresses{0};
    QString deviceType = QStringLiteral("KORVIN 10");
    QString deviceVersion = QStringLiteral("FW-R-09-01");
    bool foreign = false;                   // identify as a device of the other family
    ForeignIdentity foreignIdentity;
    bool silentVersion = false;             // answer the type request but never the version
    int baudRate = 0;                       // pace the answers as this line would; 0: at once
    int recordIntervalSeconds = ControllerModel::DefaultRecordIntervalSeconds;
    QString linkPath;                       // a symlink to the slave, made at start
    uint32_t seed = 1;                      // of the measurement noise
};

struct SimulatorCounters {
    std::array<int, RequestKindCount> requests{};   // addressed to us, dropped ones included
    int answers = 0;            // answers sent (counted as they start)
    int dropped = 0;
    int refused = 0;            // writes refused on purpose
    int corrupted = 0;
    int truncated = 0;
    int garbled = 0;            // answers sent behind garbage
    int checksumErrors = 0;     // requests thrown away for a wrong FCS
    int skippedBytes = 0;       // bytes skipped while falling back into step
    int otherStations = 0;      // requests for addresses we do not have
    int broadcasts = 0;

    int of(RequestKind kind) const { return requests[int(kind)]; }
    int totalRequests() const;
};

class SimulatedStation {
public:
    using SteadyClock = std::chrono::steady_clock;
    using Time = MonotonicClock::Time;
    // One line per telegram: time, direction ("RX" received, "TX" sent), hex bytes, a note.
    using LogSink = std::function<void(const QString& line)>;

    // The clock paces the answers and moves the live values; a line served in real time needs
    // the steady one, an in-memory line may run on a test clock.
    explicit SimulatedStation(SimulatorOptions options = {}, MonotonicClock& clock = steadyClock());
    virtual ~SimulatedStation() = default;
    SimulatedStation(const SimulatedStation&) = delete;
    SimulatedStation& operator=(const SimulatedStation&) = delete;

    // Configuration.
    void setAddresses(std::vector<uint8_t> addresses);
    std::vector<uint8_t> addresses() const;
    void setDeviceTexts(const QString& type, const QString& version);
    void setForeign(bool foreign);
    void setSilentVersion(bool silent);
    void setBaudRate(int baudRate);
    int baudRate() const;
    void setLogSink(LogSink sink);

    // Faults, each for the next `count` requests or answers.
    void dropRequests(int count);
    void corruptAnswers(int count);         // FCS off by one
    void refuseWrites(int count);           // acknowledged with FC 0x01, nothing stored
    void truncateAnswers(int count);        // only the first half is sent
    void garbageBeforeAnswers(int count, const QByteArray& garbage = QByteArray("\xFF\x55\x00\x68", 4));
    void setAnswerDelayMs(int ms);          // every answer, until set back to 0
    // The next `count` requests to this station are answered normally, without delay, and
    // take no fault: a fault set with them strikes in the middle of a command.
    void holdFaults(int count);
    void clearFaults();

    // The controller's state, as of the last request or change.
    ControllerImage image() const;
    void modifyImage(const std::function<void(ControllerImage&)>& change);
    void setLiveRunning(bool running);      // false freezes the live values and the record
    void setSensorFault(bool fault);

    SimulatorCounters counters() const;
    void resetCounters();

    MonotonicClock& clock() const { return m_clock; }

    // What the station sends for one request: bytes (garbage included) not before `earliest`
    // on the station's clock, at `baudRate` (0: at once). Nothing for a request it does not
    // answer.
    struct Reply {
        QByteArray bytes;
        Time earliest{};
        int baudRate = 0;
    };
    std::optional<Reply> answer(const Frame& frame, Time firstByte);
    // The parser's count of bad checksums and skipped bytes since the last call.
    void noteParserCounts(FrameParser& parser, int& countedChecksumErrors, int& countedSkipped);
    // A frame broken off for longer than this is dropped.
    std::chrono::nanoseconds idleGap() const;
    static std::chrono::nanoseconds byteTime(int baudRate);
    void log(const char* direction, const QByteArray& bytes, const QString& note = {});

private:
    // Sets a fault count or the delay under the lock, never below zero.
    void setUnderLock(int& setting, int value);
    double secondsNow() const;

    SimulatorOptions m_options;
    MonotonicClock& m_clock;
    mutable std::mutex m_mutex;             // guards everything below
    ControllerModel m_model;
    SimulatorCounters m_counters;
    LogSink m_logSink;
    int m_dropRequests = 0;
    int m_corruptAnswers = 0;
    int m_refuseWrites = 0;
    int m_truncateAnswers = 0;
    int m_garbageAnswers = 0;
    QByteArray m_garbage;
    int m_delayMs = 0;
    int m_faultHold = 0;
    Time m_epoch;
};

} // namespace kv10::sim
