#pragma once
// A wall clock that shows the time the test sets.
#include "Timing.h"

#include <QDateTime>
#include <utility>

namespace kv10::test {

class SetClock : public Clock {
public:
    explicit SetClock(QDateTime start = {}) : time(std::move(start)) {}
    QDateTime time;
    QDateTime now() const override { return time; }
};

} // namespace kv10::test
