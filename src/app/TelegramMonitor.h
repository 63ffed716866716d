#pragma once
// "Monitor telegramů": every frame the link sends and receives, with a time stamp, its
// direction, its meaning and its bytes, for a technician checking wiring, addresses and line
// speed. The window is one of the link's traces only while it is shown and not paused, so a
// closed monitor costs the link nothing; it keeps the newest LineLimit lines. The link tells
// it on the session's thread; each event comes over to the window's thread in turn.
#include "TelegramTrace.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTimer>

namespace Ui { class TelegramMonitor; }
namespace kv10 {
class Clock;
class Prompts;
class TraceHub;
}

class TelegramMonitor : public QDialog, public kv10::TelegramTrace {
    Q_OBJECT
public:
    static constexpr int LineLimit = 5000;

    TelegramMonitor(kv10::TraceHub& traces, kv10::Clock& clock, kv10::Prompts& prompts,
                    QWidget* parent = nullptr);
    ~TelegramMonitor() override;

    // One line per event; the time stamp is the clock's time at the first event since the
    // trace was installed, advanced by the event's monotonic time. From any thread.
    void traced(const kv10::TraceEvent& event) override;
    // The lines kept, the oldest first, with those still waiting for the view.
    QStringList lines();

    void tl_pauzaClick();
    void tl_smazatClick();
    void tl_exportClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateTrace();
    void keep(const kv10::TraceEvent& event);   // on the window's thread
    void flush();   // the waiting lines into the view
    void showLineCount();

    Ui::TelegramMonitor* ui;
    kv10::TraceHub& m_traces;
    kv10::Clock& m_clock;
    kv10::Prompts& m_prompts;
    QByteArray m_lastRequest;     // what an answer answers
    struct Pending {
        kv10::TraceEvent event;
        QByteArray request;       // sent before it
        qint64 stampMs;           // local time, ms since the epoch
    };
    QList<Pending> m_pending;     // traced since the view last took them
    QTimer m_flushTimer;
    bool m_anchored = false;
    qint64 m_anchorEpochMs = 0;   // the clock at the first event, and that event's time
    qint64 m_anchorMs = 0;
};
