#include "LineScheduler.h"

#include "AppError.h"
#include "GatewayLog.h"
#include "SessionRunner.h"
#include "TableCodec.h"
#include "Timing.h"

#include <algorithm>
#include <cmath>

namespace kv10::gw {

struct LineScheduler::Read {
    bool answered = false;
    Sample sample;
    std::optional<float> setpoint;   // COMP.SP, when it was due and read
};

namespace {

qint64 nowMs()
{
    return steadyClock().nowMs();
}

struct RefusalWatch : TelegramTrace {
    bool seen = false;
    void traced(const TraceEvent& event) override
    {
        if (event.kind == TraceKind::Received)
            seen = seen || checkAckFrame(reinterpret_cast<const uint8_t*>(event.bytes.constData()), int(event.bytes.size()))
                               == FrameCheck::Refused;
    }
};

} // namespace

LineScheduler::LineScheduler(const LineSettings& settings, QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_roster(settings.stations, qint64(settings.offlineProbeSeconds) * 1000),
      m_stats(settings.name, settings.stations)
{
    m_roundTimer.setSingleShot(true);
    m_roundTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_roundTimer, &QTimer::timeout, this, &LineScheduler::startRound);
}

LineScheduler::~LineScheduler()
{
    stop();
}

void LineScheduler::start()
{
    m_runner = std::make_unique<SessionRunner>(
        [this] {
            auto session = std::make_unique<ControllerSession>(sleepWaiter());
            session->link().addTrace(&m_stats);
            session->link().SetSA(uint8_t(m_settings.sa));
            return session;
        },
        SessionRunner::Mode::OwnThread);
    connect(m_runner.get(), &SessionRunner::jobFailed, this,
            [this](const QString& text) { logLine(QStringLiteral("line %1: %2").arg(m_settings.name, text)); });
    m_nextRoundMs = nowMs();
    startRound();
}

void LineScheduler::stop()
{
    m_roundTimer.stop();
    if (m_runner)
        m_runner->shutdown();
}

void LineScheduler::ensurePortOpen(ControllerSession& session)
{
    SerialTransport& transport = session.transport();
    if (transport.isOpen() || transport.retrying())
        return;
    session.setBaudRate(m_settings.baud);
    try {
        session.openDevice(m_settings.device, m_settings.device);
        logLine(QStringLiteral("line %1: %2 open at %3 baud").arg(m_settings.name, m_settings.device).arg(m_settings.baud));
        m_openFailedLogged = false;
    } catch (const AppError&) {
        // Tried again each round; said once until it opens.
        if (!m_openFailedLogged)
            logLine(QStringLiteral("line %1: cannot open %2%3")
                        .arg(m_settings.name, m_settings.device, busyPortNote(transport)));
        m_openFailedLogged = true;
    }
}

void LineScheduler::aim(ControllerSession& session, int station)
{
    TelegramLink& link = session.link();
    const int late = link.lateAnswersDropped();
    if (late > m_lateSeen && m_lastAimed >= 0)
        m_stats.addLateAnswers(m_lastAimed, late - m_lateSeen);
    m_lateSeen = late;
    m_lastAimed = station;
    m_stats.setStation(station);
    link.SetDA(uint8_t(station));
}

void LineScheduler::startRound()
{
    if (!m_runner || m_runner->isShutDown())
        return;
    const qint64 now = nowMs();
    // Stations that answer first, in address order; the probes of offline ones last, so that a
    // silent station delays nobody's sample in the round.
    std::vector<int> due = m_roster.due(now);
    std::stable_partition(due.begin(), due.end(), [this](int station) { return !m_roster.offline(station); });
    struct Ask {
        int station;
        bool withSetpoint;   // COMP.SP is due too
        bool probe;          // offline: one request, no repeat, and no wait for its answer after
    };
    std::vector<Ask> asks;
    for (const int station : due) {
        const auto read = m_setpointReadMs.find(station);
        asks.push_back({station, read == m_setpointReadMs.end() || now - read->second >= SetpointRefreshMs,
                        m_roster.offline(station)});
    }
    const QPointer<QObject> self(this);
    m_runner->post(
        this,
        [this, self, asks](ControllerSession& session, const StopRequest& stop) {
            ensurePortOpen(session);
            for (const Ask& ask : asks) {
                if (stop.requested())
                    return;
                const int station = ask.station;
                aim(session, station);
                Read read;
                session.link().setSingleTry(ask.probe);
                read.answered = session.link().ReadTable(TableLive);
                session.link().setSingleTry(false);
                read.sample.time = QDateTime::currentDateTime();
                read.sample.monotonicMs = nowMs();
                read.sample.line = m_settings.name;
                read.sample.da = station;
                read.sample.live = session.image().live;
                if (read.answered && ask.withSetpoint && session.link().ReadTable(TableComp))
                    read.setpoint = session.image().comp.sp;
                // Each answer goes out at once, not at the end of the round.
                m_runner->deliver(self, [this, read] { take(read); });
            }
        },
        [this] { roundDone(); });
}

void LineScheduler::take(const Read& read)
{
    const std::optional<bool> change = read.answered ? m_roster.answered(read.sample.da, read.sample.monotonicMs)
                                                     : m_roster.missed(read.sample.da, read.sample.monotonicMs);
    if (change) {
        logLine(QStringLiteral("line %1: station %2 %3")
                    .arg(m_settings.name)
                    .arg(read.sample.da)
                    .arg(*change ? QStringLiteral("online") : QStringLiteral("offline")));
        emit availabilityChanged(m_settings.name, read.sample.da, *change);
    }
    if (!read.answered)
        return;
    emit sampleTaken(read.sample);
    if (read.setpoint) {
        m_setpointReadMs[read.sample.da] = read.sample.monotonicMs;
        emit setpointRead(m_settings.name, read.sample.da, *read.setpoint);
    }
}

void LineScheduler::roundDone()
{
    // Rounds start on a fixed grid; one that ran over starts the next at once, and the grid
    // follows from there instead of catching up with a burst.
    const qint64 periodMs = std::max<qint64>(1, std::llround(m_settings.periodSeconds * 1000));
    const qint64 now = nowMs();
    m_nextRoundMs += periodMs;
    if (m_nextRoundMs < now)
        m_nextRoundMs = now;
    m_roundTimer.start(int(m_nextRoundMs - now));
}

void LineScheduler::writeSetpoint(int station, float value, std::function<void(WriteOutcome)> done)
{
    if (!m_runner || m_runner->isShutDown() || !m_roster.online(station)) {
        done(WriteOutcome::Offline);
        return;
    }
    struct Written {
        WriteOutcome outcome = WriteOutcome::NoAnswer;
        std::optional<float> stored;
    };
    m_runner->post(
        this,
        [this, station, value](ControllerSession& session, const StopRequest&) {
            aim(session, station);
            TelegramLink& link = session.link();
            session.image().comp.sp = value;
            // The link asks again after a refusal and may end on the silence after it: any
            // refusal seen means the controller answered and said no.
            RefusalWatch refusals;
            link.addTrace(&refusals);
            const bool acknowledged = link.WriteTable(TableComp);
            link.removeTrace(&refusals);
            Written written;
            if (acknowledged)
                written.outcome = WriteOutcome::Written;
            else if (refusals.seen)
                written.outcome = WriteOutcome::Refused;
            // What the controller keeps, which the holding registers show from now on.
            if (link.ReadTable(TableComp))
                written.stored = session.image().comp.sp;
            logLine(QStringLiteral("line %1: station %2 setpoint %3: %4")
                        .arg(m_settings.name)
                        .arg(station)
                        .arg(QString::number(double(value), 'g', 9),
                             written.outcome == WriteOutcome::Written   ? QStringLiteral("written")
                             : written.outcome == WriteOutcome::Refused ? QStringLiteral("refused by the controller")
                                                                          : QStringLiteral("no answer")));
            return written;
        },
        [this, station, done](const Written& written) {
            if (written.stored) {
                m_setpointReadMs[station] = nowMs();
                emit setpointRead(m_settings.name, station, *written.stored);
            }
            done(written.outcome);
        });
}

} // namespace kv10::gw
