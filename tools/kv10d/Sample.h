#pragma once
// What a line hands the publishers: one sample per answer, a station's availability, its
// answer statistics and the outcome of a setpoint write.
#include "ControllerImage.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <optional>

namespace kv10::gw {

struct Sample {
    QString line;
    int da = 0;
    QDateTime time;            // when the answer came, local time with its offset
    qint64 monotonicMs = 0;    // the same moment on the steady clock (a sample's age)
    LiveTable live;
};

struct StationStats {
    QString line;
    int da = 0;
    QDateTime time;            // end of the span counted
    int requests = 0;          // frames sent to the station, repeats included
    int answers = 0;           // whole frames read back
    int timeouts = 0;          // reads that ended short
    int checksumErrors = 0;
    int lateAnswersDropped = 0;
    std::optional<qint64> medianAnswerMs;   // request to the answer's last byte; none without answers
    std::optional<qint64> worstAnswerMs;
};

enum class WriteOutcome {
    Written,     // the controller acknowledged it
    Refused,     // the controller refused it
    NoAnswer,    // the station did not answer
    Offline,     // not tried: the station is offline or unknown
};

} // namespace kv10::gw

Q_DECLARE_METATYPE(kv10::gw::Sample)
Q_DECLARE_METATYPE(kv10::gw::StationStats)
