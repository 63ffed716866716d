#pragma once
// The main window's live side for its tests: the application on a scripted transport that
// answers LIVE reads from a queue, a settable clock, scripted random numbers and prompts.

#include "AppContext.h"
#include "DemoData.h"
#include "FakeTransport.h"
#include "MemorySettings.h"
#include "Protocol.h"
#include "ScriptedPrompts.h"
#include "SetClock.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

Q_DECLARE_METATYPE(kv10::LiveTable)

namespace kv10::test::mainlive {

class ScriptedRandom : public RandomSource {
public:
    QList<std::uint32_t> values;
    std::uint32_t next() override { return values.isEmpty() ? 0 : values.takeFirst(); }
};

inline const QColor Yellow(255, 255, 0);
inline const QColor Red(255, 0, 0);

inline QColor faceColour()
{
    return QApplication::palette().color(QPalette::Button);
}

// The answer of station 0 to a LIVE read: 68 L L 68 DA SA 08, the table's 17 bytes, FCS, 16.
inline QByteArray liveAnswer(const LiveTable& live)
{
    ControllerImage image;
    image.live = live;
    uint8_t data[64];
    const int n = encodeFields(tableInfo(TableLive), image, data);
    return dataFrame(0, 0, FcAnswerData, QByteArray(reinterpret_cast<const char*>(data), n));
}

inline LiveTable liveValues(float meas, uint8_t outs = 0, int32_t yout = 0, uint8_t fault = 0, float sp = 150, float ts = 21.5f)
{
    LiveTable live;
    live.meas = meas;
    live.outs = outs;
    live.sp = sp;
    live.yout = yout;
    live.ts = ts;
    live.fault = fault;
    return live;
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The window's tests derive from this: each starts its own application with start().
class MainLiveTest : public QObject {
protected:
    struct Rig {
        MemorySettings settings;
        ScriptedPrompts prompts;
        FakeTransport transport;
        CountingWaiter waiter;
        test::SetClock clock{QDateTime(QDate(2026, 12, 7), QTime(14, 3, 0))};
        ScriptedRandom random;
        std::unique_ptr<AppContext> context;

        MainWindow& w() { return context->mainWindow(); }
        template <typename T> T* find(const char* name)
        {
            T* widget = w().findChild<T*>(QString::fromLatin1(name));
            if (!widget)
                qFatal("no control %s", name);
            return widget;
        }
        QString text(const char* name) { return find<QLabel>(name)->text(); }
        QColor colour(const char* name) { return find<QLabel>(name)->palette().color(QPalette::Window); }
        QAction* action(const char* name) { return find<QAction>(name); }
        QCheckBox* box(const char* name) { return find<QCheckBox>(name); }
        // One handled tick a clock second later.
        void tick(int times = 1)
        {
            for (int i = 0; i < times; ++i) {
                clock.time = clock.time.addSecs(1);
                w().Timer1Timer();
            }
        }
        // `ms` later on the clock, handled once a clock second as the timer would: the part of
        // a second first, so that the last tick falls on the full time.
        void advanceMs(qint64 ms)
        {
            for (qint64 step = ms % 1000; ms > 0; ms -= step, step = 1000) {
                clock.time = clock.time.addMSecs(step);
                w().Timer1Timer();
            }
        }
        // Requests sent: one per answered read, three per unanswered one.
        int reads() const { return int(transport.writes.size()); }
        void answerReads(int count, const LiveTable& live = liveValues(20))
        {
            for (int i = 0; i < count; ++i)
                transport.answers << liveAnswer(live);
        }
    };
    std::unique_ptr<Rig> start(const QMap<QString, QString>& stored = {});
    // Runs `act` on the next modal dialog.
    void onModal(std::function<void(QDialog&)> act);

    QTemporaryDir m_workDir;
    QTimer m_modalWatch;
};

inline std::unique_ptr<MainLiveTest::Rig> MainLiveTest::start(const QMap<QString, QString>& stored)
{
    auto rig = std::make_unique<Rig>();
    rig->settings.values = stored;
    rig->settings.values["PORT/COM"] = "0";
    AppOptions options;
    options.sessionMode = SessionRunner::Mode::Inline;
    options.settings = &rig->settings;
    options.prompts = &rig->prompts;
    options.waiter = &rig->waiter;
    options.clock = &rig->clock;
    options.random = &rig->random;
    rig->context = std::make_unique<AppContext>(options);
    rig->context->createWindows();
    rig->context->link().setTransport(&rig->transport);
    rig->prompts.records.clear();
    return rig;
}

inline void MainLiveTest::onModal(std::function<void(QDialog&)> act)
{
    m_modalWatch.disconnect();
    m_modalWatch.setInterval(5);
    connect(&m_modalWatch, &QTimer::timeout, this, [this, act] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            m_modalWatch.stop();
            act(*modal);
        }
    });
    m_modalWatch.start();
}

} // namespace kv10::test::mainlive
