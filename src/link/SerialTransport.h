#pragma once
// The serial port: 8 data bits, even parity, one stop bit; read time-outs of
// readTotalTimeoutMs() in total and 100 ms between bytes; purge before every write, and a write
// that the line does not take within a second plus twice its wire time fails. A byte received
// with a parity or framing error fails the read. A device that fails under the open port
// (an adapter pulled out, a pseudo-terminal closed) is tried again once a second.
#include "Transport.h"

#include <QByteArrayView>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class QSerialPort;

namespace kv10 {

// The device of the user's "COM n": the port COMn on Windows, /dev/ttyS<n-1> elsewhere.
QString comDevicePath(int com);

// What the transport asks of the driver beyond what QSerialPort tells. The system's own driver
// by default; a test puts in a line that behaves as a pseudo-terminal cannot.
class SerialDriver {
public:
    virtual ~SerialDriver() = default;
    // Has the open device check parity and report every byte received with a parity or
    // framing error; false when the device refuses.
    virtual bool watchLineErrors(QSerialPort& port);
    // Whether the driver noted such an error since the last call; the note is cleared.
    virtual bool takeNotedLineErrors(QSerialPort& port);
    // Bytes written but not yet out on the line: 0 also when the device cannot tell, -1 when
    // the device has failed.
    virtual int outputQueued(QSerialPort& port);
    // Throws away what is written but not yet out on the line.
    virtual void discardOutput(QSerialPort& port);
};

class SerialTransport : public Transport {
public:
    static constexpr int ReopenIntervalMs = 1000;

    // Without a driver the system's own is used.
    explicit SerialTransport(std::unique_ptr<SerialDriver> driver = nullptr);
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
    // Closes the port; a failed device is not tried again either.
    void ClosePort();

    // Why the last OpenPort failed: PortBusy when the device is there and ours to open, but
    // another program holds it (the port's lock, or the terminal opened exclusively).
    enum class OpenFailure { None, PortBusy, Other };
    OpenFailure lastOpenFailure() const { return m_openFailure; }

    // Whether a device that failed under the open port is tried again (on by default and
    // with every OpenPort). Off stops a retry under way.
    void setRetryFailedDevice(bool retry);
    // The device failed and is being tried again once a second, quietly, until it opens.
    bool retrying() const { return m_reopenTimer.isActive(); }

    int baudRate() const override { return m_baudRate; }
    QString devicePath() const { return m_devicePath; }
    // The line settings as asked of the device; a pseudo-terminal does not keep them all.
    const QSerialPort& port() const { return *m_port; }

    bool isOpen() const override;
    bool ReadBytes(uint8_t* dest, int n, int& got) override;
    bool ReadFrame(uint8_t* dest, int max, int& got) override;
    bool WriteBytes(const uint8_t* src, int n, int& written) override;
    int DiscardInput(int n, int timeoutMs) override;
    void PurgeInput() override;
    void PurgeOutput() override;

    // Undoes the kernel's marking of input errors: FF FF is the data byte FF, FF 00 x a byte
    // that came with a parity or framing error (FF 00 00 also a break). Decodes at most n
    // data bytes of `raw` into `dest` and sets `used` to the raw bytes taken; a mark not yet
    // complete at the end stays. Returns the number of data bytes, which stop before a marked
    // error, or -1 when `raw` begins with one (then taken).
    static int unmarkInput(QByteArrayView raw, uint8_t* dest, int n, int& used);

private:
    // Opens and configures the device; the error text when it fails (the port is closed).
    std::optional<QString> openDevice();
    // One read of up to n bytes; with `untilFrame` it ends with a whole variable telegram.
    bool receive(uint8_t* dest, int n, int& got, bool untilFrame);
    // Up to n data bytes of what the port has buffered; -1 at a line error.
    int takeBuffered(uint8_t* dest, int n);
    // The device stopped working: the port closes and, if allowed, the device is retried.
    void deviceFailed();
    void tryReopen();

    std::unique_ptr<QSerialPort> m_port;
    std::unique_ptr<SerialDriver> m_driver;
    QString m_devicePath;
    QString m_comName;
    int m_baudRate = 9600;
    OpenFailure m_openFailure = OpenFailure::None;
    bool m_retryFailedDevice = true;
    QTimer m_reopenTimer;
};

// ": port busy, another program holds it" after a failed open that found the port held, for
// the command-line tools and the gateway; empty otherwise.
QString busyPortNote(const SerialTransport& transport);

} // namespace kv10
