// A line's rounds: which stations a round asks, and when a station goes offline and comes back;
// and the answer statistics counted from the trace.
#include "LineStats.h"
#include "StationRoster.h"

#include <QTest>

using namespace kv10;
using namespace kv10::gw;

class TestStationRoster : public QObject {
    Q_OBJECT
private slots:
    void rounds_data();
    void rounds();
    void statistics_data();
    void statistics();
};

// Each step: "<ms>: <station><+|-> ..." asks the round due at <ms> with those outcomes, and
// expects "due <stations> | <changes>".
void TestStationRoster::rounds_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("answering stations come online at their first answer")
        << QStringList{"0: 1+ 2- 3+", "1000: 1+ 2+ 3+"}
        << QStringList{"due 1 2 3 | 1 online 3 online", "due 1 2 3 | 2 online"};
    QTest::newRow("offline at the third miss in a row, then probed every 30 s")
        << QStringList{"0: 1+ 2+", "1000: 1+ 2-", "2000: 1+ 2-", "3000: 1+ 2-", "4000: 1+", "32999: 1+",
                       "33000: 1+ 2-", "34000: 1+", "63000: 1+ 2-"}
        << QStringList{"due 1 2 | 1 online 2 online", "due 1 2 |", "due 1 2 |", "due 1 2 | 2 offline", "due 1 |",
                       "due 1 |", "due 1 2 |", "due 1 |", "due 1 2 |"};
    QTest::newRow("a miss between answers starts the count again")
        << QStringList{"0: 1+", "1000: 1-", "2000: 1-", "3000: 1+", "4000: 1-", "5000: 1-", "6000: 1-"}
        << QStringList{"due 1 | 1 online", "due 1 |", "due 1 |", "due 1 |", "due 1 |", "due 1 |", "due 1 | 1 offline"};
    QTest::newRow("never answering: offline after three rounds, online at once when it answers a probe")
        << QStringList{"0: 5-", "1000: 5-", "2000: 5-", "3000:", "32000: 5+", "33000: 5+"}
        << QStringList{"due 5 |", "due 5 |", "due 5 | 5 offline", "due |", "due 5 | 5 online", "due 5 |"};
}

void TestStationRoster::rounds()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    // The roster of the stations the row names.
    std::vector<int> named;
    for (const QString& step : steps)
        for (const QString& word : step.section(QLatin1Char(':'), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (std::find(named.begin(), named.end(), word.chopped(1).toInt()) == named.end())
                named.push_back(word.chopped(1).toInt());
    std::sort(named.begin(), named.end());
    StationRoster rowRoster(named, 30'000);
    QStringList got;
    for (const QString& step : steps) {
        const qint64 at = step.section(QLatin1Char(':'), 0, 0).toLongLong();
        QString line = QStringLiteral("due");
        for (const int station : rowRoster.due(at))
            line += QLatin1Char(' ') + QString::number(station);
        line += QStringLiteral(" |");
        for (const QString& word : step.section(QLatin1Char(':'), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int station = word.chopped(1).toInt();
            const auto change = word.endsWith(QLatin1Char('+')) ? rowRoster.answered(station, at) : rowRoster.missed(station, at);
            if (change)
                line += QStringLiteral(" %1 %2").arg(station).arg(*change ? "online" : "offline");
        }
        got << line;
    }
    QCOMPARE(got, expected);
}

// Trace events of one line, each "<ms> <station> sent|answer|ack|refused|checksum|timeout" or
// "<station> late <n>", against each station's counts.
void TestStationRoster::statistics_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("answers, a repeat after a time-out, a checksum error, late answers")
        << QStringList{"0 1 sent", "46 1 answer", "100 2 sent", "646 2 timeout", "746 2 sent", "800 2 answer",
                       "1000 1 sent", "1030 1 checksum", "1130 1 sent", "1190 1 answer", "1 late 2",
                       "2000 2 sent", "2012 2 ack", "2100 2 sent", "2130 2 refused"}
        << QStringList{"1: 3 requests, 2 answers, 0 time-outs, 1 checksum errors, 2 late, median 60 worst 60",
                       "2: 4 requests, 3 answers, 1 time-outs, 0 checksum errors, 0 late, median 30 worst 54",
                       "7: 0 requests, 0 answers, 0 time-outs, 0 checksum errors, 0 late, median - worst -"};
}

void TestStationRoster::statistics()
{
    QFETCH(QStringList, events);
    QFETCH(QStringList, expected);
    static const QHash<QString, QByteArray> frames{
        {"sent", QByteArray::fromHex("68 08 08 68 01 00 6C 01 0B 11 00 00 8A 16")},
        {"answer", QByteArray::fromHex("68 14 14 68 00 01 08 41 B0 00 00 09 43 16 00 00 03 E8 41 B0 00 00 00 00 38 16")},
        {"checksum", QByteArray::fromHex("68 14 14 68 00 01 08 41 B0 00 00 09 43 16 00 00 03 E8 41 B0 00 00 00 00 39 16")},
        {"ack", QByteArray::fromHex("10 00 01 00 01 16")},
        {"refused", QByteArray::fromHex("10 00 01 01 02 16")},
        {"timeout", QByteArray()}};
    LineStats stats(QStringLiteral("a"), {1, 2, 7});
    int aimed = -1;
    for (const QString& event : events) {
        const QStringList words = event.split(QLatin1Char(' '));
        if (words[1] == QLatin1String("late")) {
            stats.addLateAnswers(words[0].toInt(), words[2].toInt());
            continue;
        }
        // As the line aims each exchange: once, before its first frame.
        if (words[2] == QLatin1String("sent") && words[1].toInt() != aimed)
            stats.setStation(aimed = words[1].toInt());
        TraceEvent traced;
        traced.atMs = words[0].toLongLong();
        traced.bytes = frames.value(words[2]);
        traced.kind = words[2] == QLatin1String("sent")      ? TraceKind::Sent
                      : words[2] == QLatin1String("timeout") ? TraceKind::NoAnswer
                                                             : TraceKind::Received;
        stats.traced(traced);
    }
    const auto ms = [](const std::optional<qint64>& value) { return value ? QString::number(*value) : QStringLiteral("-"); };
    QStringList got;
    for (const StationStats& station : stats.take(QDateTime()))
        got << QStringLiteral("%1: %2 requests, %3 answers, %4 time-outs, %5 checksum errors, %6 late, median %7 worst %8")
                   .arg(station.da)
                   .arg(station.requests)
                   .arg(station.answers)
                   .arg(station.timeouts)
                   .arg(station.checksumErrors)
                   .arg(station.lateAnswersDropped)
                   .arg(ms(station.medianAnswerMs), ms(station.worstAnswerMs));
    QCOMPARE(got, expected);
    // Taken, the counts start again.
    QCOMPARE(stats.take(QDateTime()).front().requests, 0);
}

QTEST_GUILESS_MAIN(TestStationRoster)
#include "tst_stationroster.moc"
