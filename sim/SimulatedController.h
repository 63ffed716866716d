#pragma once
// A KORVIN 10 on the far side of a pseudo-terminal. It serves the bus on the master side in
// its own thread; a program opens the slave (slavePath(), or the symlink at linkPath) as
// its serial port. Configuration, faults, counters and the controller's tables can be
// reached from any thread.
#include "ControllerModel.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
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

class SimulatedController {
public:
    // One line per telegram: time, direction ("RX" received, "TX" sent), hex bytes, a note.
    using LogSink = std::function<void(const QString& line)>;

    explicit SimulatedController(SimulatorOptions options = {});
    ~SimulatedController();
    SimulatedController(const SimulatedController&) = delete;
    SimulatedController& operator=(const SimulatedController&) = delete;

    // Opens the pseudo-terminal (once), makes the symlink and starts serving. False with a
    // reason in `error` when the terminal or the link cannot be made.
    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

    QString slavePath() const { return m_slavePath; }

    // Configuration.
    void setAddresses(std::vector<uint8_t> addresses);
    std::vector<uint8_t> addresses() const;
    void setDeviceTexts(const QString& type, const QString& version);
    void setForeign(bool foreign);
    void setSilentVersion(bool silent);
    void setBaudRate(int baudRate);
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

private:
    using SteadyClock = std::chrono::steady_clock;

    bool openTerminal(QString* error);
    void closeTerminal();
    bool makeLink(QString* error);
    void removeLink();
    void serve();
    void handleFrame(const Frame& frame, SteadyClock::time_point firstByte);
    // Sends bytes paced at the line speed, not before `earliest`; false when stopping.
    bool sendAnswer(const QByteArray& bytes, SteadyClock::time_point earliest, int baudRate);
    bool writeAll(const char* bytes, int count);
    // Sleeps until `deadline` unless asked to stop; false when stopping.
    bool waitUntil(SteadyClock::time_point deadline);
    void log(const char* direction, const QByteArray& bytes, const QString& note = {});
    // Sets a fault count or the delay under the lock, never below zero.
    void setUnderLock(int& setting, int value);
    double secondsNow() const;

    SimulatorOptions m_options;
    mutable std::mutex m_mutex;             // guards everything below up to the descriptors
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
    SteadyClock::time_point m_epoch = SteadyClock::now();

    int m_master = -1;
    int m_slaveHold = -1;                   // keeps the slave alive while no program has it open
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    QString m_slavePath;
    bool m_linkMade = false;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace kv10::sim
