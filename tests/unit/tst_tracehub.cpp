// The traces of a link: who is told an event, in which order, also when traces join and leave
// while an event is being told.
#include "TraceHub.h"

#include <QTest>

#include <functional>
#include <map>
#include <utility>

using namespace kv10;

namespace {

// Writes "A1" when told event 1; may leave, or make another join or leave, when next told.
struct NamedTrace : TelegramTrace {
    QString name;
    QStringList* log = nullptr;
    std::function<void()> onNext;
    void traced(const TraceEvent& event) override
    {
        *log << name + QString::number(event.atMs);
        if (auto act = std::exchange(onNext, nullptr))
            act();
    }
};

} // namespace

class TraceHubTest : public QObject {
    Q_OBJECT

private slots:
    void toldInJoinOrderUntilLeft_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("active");
        QTest::newRow("nobody listens") << "e1" << "" << false;
        QTest::newRow("told in the order of joining") << "+B +A e1" << "B1 A1" << true;
        QTest::newRow("joined twice, told once") << "+A +A e1" << "A1" << true;
        QTest::newRow("left, told nothing more") << "+A +B e1 -A e2" << "A1 B1 B2" << true;
        QTest::newRow("the last one left") << "+A -A e1" << "" << false;
        QTest::newRow("leaving without having joined") << "+A -B e1" << "A1" << true;
        // "A!": A leaves when next told; "B>A": B makes A leave; "A+C": A makes C join.
        QTest::newRow("leaves while told") << "+A +B +C A! e1 e2" << "A1 B1 C1 B2 C2" << true;
        QTest::newRow("makes an earlier one leave") << "+A +B +C B>A e1 e2" << "A1 B1 C1 B2 C2" << true;
        QTest::newRow("makes a later one leave") << "+A +B +C A>B e1" << "A1 C1" << true;
        QTest::newRow("makes another join") << "+A A+C e1 e2" << "A1 C1 A2 C2" << true;
    }

    void toldInJoinOrderUntilLeft()
    {
        QFETCH(QString, script);
        TraceHub hub;
        QStringList told;
        std::map<QChar, NamedTrace> traces;
        for (QChar name : QStringLiteral("ABC")) {
            traces[name].name = name;
            traces[name].log = &told;
        }
        for (const QString& step : script.split(QLatin1Char(' '))) {
            NamedTrace& last = traces[step.back()];
            if (step[0] == QLatin1Char('+')) {
                hub.add(&last);
            } else if (step[0] == QLatin1Char('-')) {
                hub.remove(&last);
            } else if (step[0] == QLatin1Char('e')) {
                hub.traced({TraceKind::Sent, {}, 0, step.mid(1).toInt()});
            } else {
                NamedTrace& actor = traces[step[0]];
                if (step[1] == QLatin1Char('!'))
                    actor.onNext = [&] { hub.remove(&actor); };
                else if (step[1] == QLatin1Char('>'))
                    actor.onNext = [&] { hub.remove(&last); };
                else
                    actor.onNext = [&] { hub.add(&last); };
            }
        }
        QTEST(told.join(QLatin1Char(' ')), "told");
        QTEST(hub.isActive(), "active");
    }
};

QTEST_GUILESS_MAIN(TraceHubTest)
#include "tst_tracehub.moc"
