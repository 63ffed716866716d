#pragma once
// One line of the gateway: its session and thread, and the rounds that ask its stations in
// turn at the line's period. Each answer becomes a sample at once; a station that stops
// answering goes offline and is only probed, last in a round and with a single request that
// costs one read time-out, so the others keep their pace.
// An allowed setpoint write waits for the round under way and goes between two rounds.
#include "GatewayConfig.h"
#include "LineStats.h"
#include "Sample.h"
#include "StationRoster.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

namespace kv10 {
class ControllerSession;
class SessionRunner;
class StopRequest;
} // namespace kv10

namespace kv10::gw {

class LineScheduler : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 SetpointRefreshMs = 60'000;

    explicit LineScheduler(const LineSettings& settings, QObject* parent = nullptr);
    ~LineScheduler() override;

    const LineSettings& settings() const { return m_settings; }
    void start();
    void stop();   // ends the round under way at its next exchange and closes the port

    bool online(int station) const { return m_roster.online(station); }
    // `done` comes on this thread, after the controller's acknowledgement or refusal.
    void writeSetpoint(int station, float value, std::function<void(WriteOutcome)> done);
    std::vector<StationStats> takeStats(const QDateTime& time) { return m_stats.take(time); }

signals:
    void sampleTaken(const kv10::gw::Sample& sample);
    void availabilityChanged(const QString& line, int station, bool online);
    void setpointRead(const QString& line, int station, float setpoint);

private:
    struct Read;   // one station's read in a round, on the line's thread
    void startRound();
    void roundDone();
    void take(const Read& read);
    // On the line's thread: the port opened when it is not, and not retrying by itself.
    void ensurePortOpen(ControllerSession& session);
    // On the line's thread: the station the next exchange is for, with the late answers the
    // link threw away meanwhile given to the one asked before.
    void aim(ControllerSession& session, int station);

    LineSettings m_settings;
    StationRoster m_roster;
    LineStats m_stats;                       // joins the link's traces: outlives the runner
    std::unique_ptr<SessionRunner> m_runner;
    QTimer m_roundTimer;
    qint64 m_nextRoundMs = 0;
    std::map<int, qint64> m_setpointReadMs;  // when COMP.SP was last read, by station
    // Touched only by jobs, on the line's thread.
    int m_lastAimed = -1;
    int m_lateSeen = 0;
    bool m_openFailedLogged = false;
};

} // namespace kv10::gw
