#pragma once
// A KORVIN 10 on the far side of a pseudo-terminal (POSIX). It serves the bus on the master
// side in its own thread; a program opens the slave (slavePath(), or the symlink at linkPath)
// as its serial port.
#include "SimulatedStation.h"

#include <QString>
#include <atomic>
#include <thread>

namespace kv10::sim {

class SimulatedController : public SimulatedStation {
public:
    explicit SimulatedController(SimulatorOptions options = {});
    ~SimulatedController() override;

    // Opens the pseudo-terminal (once), makes the symlink and starts serving. False with a
    // reason in `error` when the terminal or the link cannot be made.
    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

    QString slavePath() const { return m_slavePath; }

private:
    bool openTerminal(QString* error);
    void closeTerminal();
    bool makeLink(QString* error);
    void removeLink();
    void serve();
    // Sends bytes paced at the line speed, not before `earliest`; false when stopping.
    bool sendAnswer(const QByteArray& bytes, SteadyClock::time_point earliest, int baudRate);
    bool writeAll(const char* bytes, int count);
    // Sleeps until `deadline` unless asked to stop; false when stopping.
    bool waitUntil(SteadyClock::time_point deadline);

    QString m_linkPath;
    int m_master = -1;
    int m_slaveHold = -1;                   // keeps the slave alive while no program has it open
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    QString m_slavePath;
    bool m_linkMade = false;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace kv10::sim
