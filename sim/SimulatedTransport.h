#pragma once
// The simulated station behind the Transport interface, in memory: for a program where there
// are no pseudo-terminals, and for tests. Answers arrive as on a line: not before the station
// gives them, paced at its line speed, and read with the time-outs of the serial port, all on
// the station's clock (a test clock lets a time-out pass without waiting for it).
#include "Frames.h"
#include "SimulatedStation.h"
#include "Transport.h"

#include <deque>

namespace kv10::sim {

class SimulatedTransport : public Transport {
public:
    explicit SimulatedTransport(SimulatedStation& station) : m_station(station), m_clock(station.clock()) {}

    bool isOpen() const override { return true; }
    int baudRate() const override { return m_station.baudRate(); }   // its answers' pace
    bool ReadBytes(uint8_t* dest, int n, int& got) override;
    bool ReadFrame(uint8_t* dest, int max, int& got) override;
    bool WriteBytes(const uint8_t* src, int n, int& written) override;
    int DiscardInput(int n, int timeoutMs) override;
    void PurgeInput() override;        // what has arrived; an answer still on its way comes
    void PurgeOutput() override {}     // a write reaches the station at once

private:
    using Time = MonotonicClock::Time;
    struct Arriving {
        uint8_t value;
        Time at;
    };
    // Takes what has arrived, up to `end(got)` bytes; waits for more as the port would.
    bool receive(uint8_t* dest, int n, int& got, bool untilFrame);

    SimulatedStation& m_station;
    MonotonicClock& m_clock;
    FrameParser m_parser;
    int m_checksumErrors = 0;
    int m_skippedBytes = 0;
    std::deque<Arriving> m_input;
};

} // namespace kv10::sim
