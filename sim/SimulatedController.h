#pragma once
// A KORVIN 10 at the far end of a serial line, served in its own thread. On POSIX the line is
// a pseudo-terminal: the station serves the master side and a program opens the slave
// (slavePath(), or the symlink at linkPath). Windows has no pseudo-terminals: there the
// station serves one port of a null-modem pair of COM ports and a program opens the other;
// the pairs come from KV10_NULL_MODEM_PORTS ("COM11:COM12 COM13:COM14", the program's port
// first), and each controller takes the next pair no other controller in the process holds.
#include "SimulatedStation.h"

#include <QString>
#include <atomic>
#include <thread>

namespace kv10::sim {

class SimulatedController : public SimulatedStation {
public:
    explicit SimulatedController(SimulatorOptions options = {});
    ~SimulatedController() override;

    // Opens the line (once), makes the symlink and starts serving. False with a reason in
    // `error` when the line or the link cannot be made.
    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

    // The terminal's slave (POSIX) or the program's COM port of the pair (Windows).
    QString slavePath() const { return m_slavePath; }
    // What a program opens to reach the station: the link where one was made, else slavePath().
    QString devicePath() const { return m_linkPath.isEmpty() ? m_slavePath : m_linkPath; }

private:
    bool openLine(QString* error);
    void closeLine();
    bool makeLink(QString* error);
    void removeLink();
    void wakeServe();
    void clearWake();
    void serve();
    // Waits up to `timeoutMs` (-1: without limit) for bytes from the program: their count,
    // 0 when none came or a stop woke it, -1 when the line has hung up.
    int readInput(char* dest, int max, int timeoutMs);
    // Sends bytes paced at the line speed, not before `earliest`; false when stopping.
    bool sendAnswer(const QByteArray& bytes, SteadyClock::time_point earliest, int baudRate);
    bool writeAll(const char* bytes, int count);
    // Sleeps until `deadline` unless asked to stop; false when stopping.
    bool waitUntil(SteadyClock::time_point deadline);
    // Sleeps for about `ms` unless woken by a stop.
    void sleepWakeable(int ms);

    QString m_linkPath;
    QString m_slavePath;
    bool m_linkMade = false;
#ifdef _WIN32
    void* m_port = nullptr;                 // the station's COM port (a HANDLE)
    int m_pair = -1;                        // the null-modem pair taken
#else
    int m_master = -1;
    int m_slaveHold = -1;                   // keeps the slave alive while no program has it open
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
#endif
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace kv10::sim
