#pragma once
// The serial port: 8 data bits, even parity, one stop bit; read time-outs of
// 500 + 2*n ms in total and 100 ms between bytes; purge before every write.
#include "Transport.h"

#include <QString>
#include <memory>

class QSerialPort;

namespace kv10 {

class SerialTransport : public Transport {
public:
    SerialTransport();
    ~SerialTransport() override;

    // Opens the device at `devicePath` exclusively and configures it. `comName` ("COM3") is
    // the name the user chose; it appears in the error texts. Throws AppError on failure and
    // leaves the port closed.
    void OpenPort(const QString& devicePath, const QString& comName, int baudRate);
    // Writes the line settings (with the current baud rate) to the open device; on failure
    // closes the port and throws AppError "Nepodařila se reinicializace portu COMn".
    void ApplyLineSettings();
    // Stores a new rate and applies it to the open device (no reopen).
    void SetBaudRate(int baudRate);
    void ClosePort();

    int baudRate() const { return m_baudRate; }
    QString devicePath() const { return m_devicePath; }

    bool isOpen() const override;
    bool ReadBytes(uint8_t* dest, int n, int& got) override;
    bool ReadFrame(uint8_t* dest, int max, int& got) override;
    bool WriteBytes(const uint8_t* src, int n, int& written) override;
    void PurgeInput() override;
    void PurgeOutput() override;

private:
    // One read of up to n bytes; with `untilFrame` it ends with a whole variable telegram.
    bool receive(uint8_t* dest, int n, int& got, bool untilFrame);

    std::unique_ptr<QSerialPort> m_port;
    QString m_devicePath;
    QString m_comName;
    int m_baudRate = 9600;
};

} // namespace kv10
