// kv10d's lines against the simulated controller on a pseudo-terminal, pacing its answers as a
// 9600 Bd line would: the time of a round of 8 stations against the wire time of its telegrams;
// with 1 of the 8 silent, the interval between two samples of each answering station; and the
// time from an answer to a subscriber's delivery through a real Mosquitto broker.
#include "GatewayLog.h"
#include "LineScheduler.h"
#include "MosquittoBroker.h"
#include "MqttPublisher.h"
#include "MqttSubscriber.h"
#include "SimulatedController.h"
#include "Timing.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

using namespace kv10;
using namespace kv10::gw;

namespace {

constexpr int Baud = 9600;
constexpr int BitsPerByte = 11;
constexpr int LiveRequestBytes = 14;
constexpr int LiveAnswerBytes = 26;

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

void runFor(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

std::unique_ptr<sim::SimulatedController> startLine(std::vector<uint8_t> addresses)
{
    auto line = std::make_unique<sim::SimulatedController>(sim::SimulatorOptions{.addresses = std::move(addresses), .baudRate = Baud});
    QString error;
    if (!line->start(&error))
        qFatal("simulator: %s", qPrintable(error));
    return line;
}

LineSettings lineOn(const QString& device, double period)
{
    LineSettings settings;
    settings.name = QStringLiteral("bench");
    settings.device = device;
    settings.stations = {1, 2, 3, 4, 5, 6, 7, 8};
    settings.periodSeconds = period;
    return settings;
}

// Samples' steady times by station.
std::map<int, std::vector<qint64>> collect(LineScheduler& line, int seconds)
{
    std::map<int, std::vector<qint64>> times;
    QObject::connect(&line, &LineScheduler::sampleTaken, [&](const Sample& sample) { times[sample.da].push_back(sample.monotonicMs); });
    line.start();
    runFor(seconds);
    line.stop();
    return times;
}

void roundAgainstWire()
{
    const auto controller = startLine({1, 2, 3, 4, 5, 6, 7, 8});
    // A period shorter than a round: the rounds follow each other at once.
    LineScheduler line(lineOn(controller->slavePath(), 0.1));
    const auto times = collect(line, 20);
    std::vector<double> rounds;
    const std::vector<qint64>& first = times.at(1);
    for (size_t i = 3; i < first.size(); ++i)   // the first rounds also read the setpoints
        rounds.push_back(double(first[i] - first[i - 1]));
    const double wire = 8.0 * (LiveRequestBytes + LiveAnswerBytes) * BitsPerByte * 1000 / Baud;
    const double median = percentile(rounds, 0.5);
    std::printf("round of 8 stations at %d Bd: median %.1f ms, worst %.1f ms over %zu rounds; wire time %.1f ms; "
                "over the wire time: %.1f %% (goal: within 5 %%)\n",
                Baud, median, percentile(rounds, 1.0), rounds.size(), wire, 100 * (median - wire) / wire);
}

void oneSilent()
{
    const auto controller = startLine({1, 2, 3, 4, 5, 6, 7});   // station 8 is configured, silent
    LineScheduler line(lineOn(controller->slavePath(), 1.0));
    const auto times = collect(line, 75);
    std::vector<double> intervals;
    for (int station = 1; station <= 7; ++station) {
        const std::vector<qint64>& samples = times.at(station);
        for (size_t i = 6; i < samples.size(); ++i)   // once station 8 is offline
            intervals.push_back(double(samples[i] - samples[i - 1]));
    }
    const auto within = std::count_if(intervals.begin(), intervals.end(), [](double ms) { return std::abs(ms - 1000) <= 100; });
    std::printf("1 of 8 silent, period 1 s, 75 s: %zu intervals of the 7 answering stations, %.1f %% within 10 %% "
                "of the period (goal: 95 %%), worst %.0f ms (goal: the period plus one time-out)\n",
                intervals.size(), 100.0 * double(within) / double(intervals.size()), percentile(intervals, 1.0));
}

void answerToSubscriber()
{
    test::MosquittoBroker broker;
    if (!broker.start())
        qFatal("broker: %s", qPrintable(broker.error()));
    std::mutex mutex;
    std::map<QString, qint64> delivered;   // the sample's time text -> steady time of delivery
    test::Subscriber subscriber(broker.port(), {}, {}, [&](const QString& topic, const QString& payload) {
        static const QRegularExpression time(QStringLiteral("\"time\":\"([^\"]*)\""));
        if (topic == QLatin1String("kv10/bench/1/live")) {
            std::lock_guard lock(mutex);
            delivered[time.match(payload).captured(1)] = steadyClock().nowMs();
        }
        return payload;
    });
    MqttSettings settings;
    settings.port = broker.port();
    settings.discovery = false;
    MqttPublisher publisher(QStringLiteral("bench"), settings, {{QStringLiteral("bench"), 1}});
    QString error;
    if (!publisher.start(&error))
        qFatal("publisher: %s", qPrintable(error));
    const auto controller = startLine({1, 2, 3, 4, 5, 6, 7, 8});
    LineScheduler line(lineOn(controller->slavePath(), 0.1));
    std::map<QString, qint64> answered;
    QObject::connect(&line, &LineScheduler::sampleTaken, [&](const Sample& sample) {
        publisher.publishSample(sample);
        if (sample.da == 1)
            answered[sample.time.toOffsetFromUtc(sample.time.offsetFromUtc()).toString(Qt::ISODateWithMs)] = sample.monotonicMs;
    });
    line.start();
    runFor(20);
    line.stop();
    runFor(1);
    std::vector<double> latencies;
    std::lock_guard lock(mutex);
    for (const auto& [time, at] : answered)
        if (const auto it = delivered.find(time); it != delivered.end())
            latencies.push_back(double(it->second - at));
    std::printf("answer to a subscriber's delivery through Mosquitto: %zu of %zu samples, median %.1f ms, 95 %% %.1f ms, "
                "worst %.1f ms (goal: median under 10 ms)\n",
                latencies.size(), answered.size(), percentile(latencies, 0.5), percentile(latencies, 0.95),
                percentile(latencies, 1.0));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    setLogSink([](const QString&) {});
    roundAgainstWire();
    oneSilent();
    answerToSubscriber();
    return 0;
}
