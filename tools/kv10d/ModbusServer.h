#pragma once
// The Modbus TCP side: one thread of its own serves every client from the last sample of each
// station (unit id = the station's bus address) and never touches a line; only an allowed write
// of the setpoint goes to the station's line, and is answered when the line has its outcome.
#include "GatewayConfig.h"
#include "Sample.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace kv10::gw {

// Takes a setpoint write to a unit's line. Called on the Modbus thread; `done` may be called
// from any thread, once.
class SetpointWriter {
public:
    virtual ~SetpointWriter() = default;
    virtual void writeSetpoint(int unit, float value, std::function<void(WriteOutcome)> done) = 0;
};

class ModbusServer {
public:
    // `units`: every configured station's bus address.
    ModbusServer(const ModbusSettings& settings, std::vector<int> units, SetpointWriter& writer);
    ~ModbusServer();   // stops
    ModbusServer(const ModbusServer&) = delete;
    ModbusServer& operator=(const ModbusServer&) = delete;

    // Listens and starts serving; false with the reason ("127.0.0.1:1502: Address already in use").
    bool start(QString* error);
    void stop();
    int port() const;   // the port listened on (a configured 0 picks a free one)

    // From any thread: what the registers show.
    void updateSample(const Sample& sample);
    void updateAvailability(int unit, bool online);
    void updateSetpoint(int unit, float setpoint);   // COMP.SP as last read from the controller

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kv10::gw
