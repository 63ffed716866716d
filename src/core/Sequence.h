#pragma once
// What every exchange sequence shares: the link and the waiter it runs on, a progress report
// for the caller's window, a way to stop between exchanges, and one result that says what
// failed, whether it was stopped and what the link has to tell the user.
#include "LinkNotice.h"

#include <QString>
#include <functional>
#include <optional>

namespace kv10 {
class TelegramLink;
class Waiter;
struct ControllerImage;
}

namespace kv10::core {

// A step for the caller to show: a progress bar's position and a text that has just been
// read (the device type), if any.
struct Progress {
    int position = 0;
    std::optional<QString> text;
};

struct Steering {
    std::function<void(const Progress&)> progress;
    // Asked before every exchange (and pause and report); true stops the sequence, which then
    // sends nothing more.
    std::function<bool()> stop;
};

struct SequenceResult {
    bool ok = true;                      // every exchange went
    QString failed;                      // the first one that did not ("ALARM1", "program 3 setpoints")
    bool stopped = false;                // stopped on request before an exchange
    std::optional<LinkNotice> notice;    // for the caller to show now that the sequence has ended
};

class Sequence {
public:
    Sequence(TelegramLink& link, Waiter& waiter, Steering steering = {});

    TelegramLink& link() { return m_link; }
    ControllerImage& image();

    // A whole set goes no further than its first failure; the other sequences go on.
    void endAtFirstFailure() { m_endAtFailure = true; }
    // Runs one exchange unless the sequence has ended; a failure is kept under `what`.
    bool exchange(const QString& what, const std::function<bool()>& run);
    // One table read or written, a failure kept under the table's name.
    bool readTable(int table);
    bool writeTable(int table);
    // A failure that sent nothing (a program number outside the ten).
    void fail(const QString& what);
    // A pause; a step reported with it is shown within the pause, which still lasts `ms`.
    void pause(int ms);
    void pause(int ms, const Progress& shown);
    void report(const Progress& step);
    // Stopped, or ended by a failure.
    bool ended() const { return m_result.stopped || (m_endAtFailure && !m_result.ok); }
    bool ok() const { return m_result.ok; }

    // The result, with the link's notice taken.
    SequenceResult finish();

private:
    // False once stopped (asked here, before every exchange, pause and report) or ended.
    bool goesOn();

    TelegramLink& m_link;
    Waiter& m_waiter;
    Steering m_steering;
    bool m_endAtFailure = false;
    SequenceResult m_result;
};

} // namespace kv10::core
