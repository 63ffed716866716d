#pragma once
// libmodbus's own TCP client against a local server, for the gateway's tests: registers as hex
// words, a Modbus exception as "exception <code>".
#include <QString>
#include <QStringList>
#include <modbus.h>

#include <cerrno>
#include <cstdint>

namespace kv10::test {

struct ModbusClient {
    ModbusClient(int port, int unit, int timeoutSeconds = 3) : ctx(modbus_new_tcp("127.0.0.1", port))
    {
        modbus_set_slave(ctx, unit);
        modbus_set_response_timeout(ctx, uint32_t(timeoutSeconds), 0);
        modbus_connect(ctx);
    }
    ~ModbusClient()
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
    ModbusClient(const ModbusClient&) = delete;
    ModbusClient& operator=(const ModbusClient&) = delete;
    modbus_t* ctx;
};

inline QString modbusException()
{
    return QStringLiteral("exception %1").arg(errno - MODBUS_ENOBASE);
}

// Function 4 (input) or 3 (holding) registers, as hex words.
inline QString readRegisters(int port, int unit, int function, int address, int count)
{
    ModbusClient client(port, unit);
    uint16_t words[16] = {};
    const int read = function == 4 ? modbus_read_input_registers(client.ctx, address, count, words)
                                   : modbus_read_registers(client.ctx, address, count, words);
    if (read < 0)
        return modbusException();
    QStringList hex;
    for (int i = 0; i < read; ++i)
        hex << QStringLiteral("%1").arg(words[i], 4, 16, QLatin1Char('0'));
    return hex.join(QLatin1Char(' '));
}

// Function 16 of two words to address 0: "written" or the exception.
inline QString writeSetpointWords(int port, int unit, uint16_t high, uint16_t low, int timeoutSeconds = 3)
{
    ModbusClient client(port, unit, timeoutSeconds);
    const uint16_t words[2] = {high, low};
    return modbus_write_registers(client.ctx, 0, 2, words) == 2 ? QStringLiteral("written") : modbusException();
}

} // namespace kv10::test
