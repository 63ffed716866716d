#pragma once
// Texts and lamp states of the live display, and the date and time texts of the log.
#include "ControllerImage.h"
#include "DateText.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <array>

namespace kv10 {

inline const QString FaultText = QStringLiteral("PORUCHA");
inline const QString NoFaultText = QStringLiteral("není porucha");

struct LiveDisplay {
    QString measure;   // pa_measure
    QString setpoint;  // pa_sp
    QString output;    // lb_yout, per cent with one decimal
    QString terminal;  // lb_ts
    int outputBar = 0; // bar_yout, tenths of a per cent
    std::array<bool, 4> relays{}; // pa_re1 .. pa_re4 lit (yellow)
    bool fault = false;           // pa_porucha red
    QString faultCaption;         // "PORUCHA" or "není porucha"
};

LiveDisplay liveDisplay(const LiveTable& live, const QLocale& locale = QLocale());


} // namespace kv10
