#pragma once
// One controller on one serial line: the link settings (COM number and its device, baud rate,
// the bus addresses DA and SA), the serial port opened with them, the telegram link on that
// port and the controller image the link fills. The program, its port dialog and kv10ctl each
// hold one; nothing here shows anything, errors of the port come out as AppError.
#include "ControllerImage.h"
#include "SerialTransport.h"
#include "Telegram.h"

#include <QString>
#include <array>

namespace kv10 {

class IntegerSettings;
class MonotonicClock;
class Waiter;

class ControllerSession {
public:
    static constexpr int ComCount = 8;   // "COM 1" ... "COM 8"; 0 is "žádný port"
    using Devices = std::array<QString, ComCount + 1>;   // index = COM number
    // The rates a line may run at: the port dialog's list, and what kv10d's configuration takes.
    static constexpr int BaudRates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400,
                                        56000, 57600, 115200, 128000, 256000};

    // What "Storno" in the port dialog goes back to.
    struct Snapshot {
        int com = 0;
        int baudRate = 0;
        int da = 0;
        int sa = 0;
        Devices devices;         // the devices this run opens
        Devices storedDevices;   // the mapping the settings keep
        // The settings this run uses are the same; the stored mapping only follows them.
        bool sameSettings(const Snapshot& other) const;
        // The device COM n opens in this state (see devicePathFor).
        QString devicePathFor(int com) const;
    };

    // The link settings as the store keeps them. The store belongs to the caller's thread:
    // it reads them there and hands them to the session in a job.
    struct StoredSettings {
        int com = 1;
        int baudRate = 9600;
        int da = 0;
        int sa = 0;
        Devices devices;   // the mapping kept; empty where the store has none of its own
    };

    // The waiter takes the link's pauses; the clock times its answers (the steady clock unless given).
    explicit ControllerSession(Waiter& waiter);
    ControllerSession(Waiter& waiter, MonotonicClock& clock);
    ~ControllerSession();
    ControllerSession(const ControllerSession&) = delete;
    ControllerSession& operator=(const ControllerSession&) = delete;

    TelegramLink& link() { return m_link; }
    ControllerImage& image() { return m_image; }
    // The serial port; the link talks to another transport while a transport override is chosen.
    SerialTransport& transport() { return m_transport; }

    // Reads the sections "PORT" and "ADRESA" and sets the addresses on the link; the port is
    // opened by openPort(comNumber()). Addresses outside 0-126 read as 0.
    void loadSettings(IntegerSettings& settings) { useSettings(readSettings(settings)); }
    static StoredSettings readSettings(IntegerSettings& settings);
    void useSettings(const StoredSettings& stored);
    // Writes them back. "žádný port" is not kept: it is stored (and from now on held) as COM 1,
    // without opening anything.
    void storeSettings(IntegerSettings& settings);
    // Writes a state of the session, as storeSettings does, on the thread the store belongs to.
    static void writeSettings(const Snapshot& state, IntegerSettings& settings);
    // "žádný port" becomes COM 1, as a store makes it; nothing is opened.
    void keepNoPortAsCom1();

    int comNumber() const { return m_comNumber; }
    int baudRate() const { return m_baudRate; }
    int da() const { return m_link.DA(); }
    int sa() const { return m_link.SA(); }
    void setDA(int address) { m_link.SetDA(uint8_t(address)); }
    void setSA(int address) { m_link.SetSA(uint8_t(address)); }

    // The device of COM n: on Windows "COMn"; elsewhere the mapped path (default /dev/ttyS<n-1>).
    QString devicePathFor(int com) const;
    // Maps COM n to `path`, for this run and in the stored mapping.
    void setDevicePath(int com, const QString& path);
    // Maps COM n to `path` for this run only; the stored mapping is not changed.
    void setDeviceOverride(int com, const QString& path);
    // COM n reaches `transport` instead of a device in this run (a simulated controller in
    // memory, where there are no pseudo-terminals): the link talks to it while COM n is chosen.
    void setTransportOverride(int com, Transport* transport);

    // Closes the port and opens COM n with the current rate. A failure leaves the port closed,
    // sets the COM number to 0 and throws the AppError naming the port "COMn".
    void openPort(int com);
    // Opens a device by its path under a name of the caller's for the error texts (kv10ctl's
    // --device); the COM number is not involved.
    void openDevice(const QString& devicePath, const QString& portName);
    // The rate goes to the open port at once, without a reopen; on failure as openPort.
    void setBaudRate(int baudRate);
    void applyLineSettings();
    void closePort();
    // What choosing an item of the port list does: 1-8 closes and reopens on that port;
    // 0 ("žádný port") only changes the setting, and the open port stays open (but once its
    // device fails it is not tried again).
    void chooseCom(int com);

    Snapshot snapshot() const;
    // Goes back to `old`, in this order and only where it differs: the devices, COM (reopened
    // when it or its device changed), the rate, DA, SA. A port error stops it there.
    void restore(const Snapshot& old);

private:
    void portFailed();

    ControllerImage m_image;
    SerialTransport m_transport;
    TelegramLink m_link;
    int m_comNumber = 1;
    int m_baudRate = 9600;
    Devices m_devices;
    Devices m_storedDevices;
    int m_overrideCom = 0;
    Transport* m_overrideTransport = nullptr;
};

} // namespace kv10
