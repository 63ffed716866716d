#pragma once
// "Komunikační port": the link settings (COM port, baud rate, the bus addresses DA and SA)
// and the bus-address search. The one instance owns the serial transport for the whole run
// and sets it on the telegram link; every change takes effect at once.
#include "Protocol.h"
#include "SerialTransport.h"

#include <QDialog>
#include <QString>
#include <QTimer>
#include <array>

namespace Ui { class PortDialog; }

namespace kv10 {
class IntegerSettings;
class Prompts;
class TelegramLink;
}

class PortDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int ComCount = 8;
    static constexpr int SearchedAddresses = kv10::HighestStationAddress + 1;   // all but the broadcast address
    static constexpr int BaudRates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400,
                                        56000, 57600, 115200, 128000, 256000};

    PortDialog(kv10::IntegerSettings& settings, kv10::TelegramLink& link, kv10::Prompts& prompts,
          QWidget* parent = nullptr);
    ~PortDialog() override;

    // Loads the settings, fills the baud list and opens the port. Throws AppError when the
    // port cannot be opened; the dialog is then left on "žádný port".
    void FormCreate();
    void FormShow();
    void FormClose();

    // The device of COM n: on Windows "COMn"; elsewhere the mapped path (default /dev/ttyS<n-1>).
    QString devicePathFor(int com) const;
    // Maps COM n to `path` for this run only; the stored mapping is not changed.
    void setDeviceOverride(int com, const QString& path);
    // COM n reaches `transport` instead of a device in this run (a simulated controller in
    // memory, where there are no pseudo-terminals): the link talks to it while COM n is chosen.
    void setTransportOverride(int com, kv10::Transport* transport);

    // Port operations. Each failure closes the port, selects "žádný port", sets ComNumber to 0
    // and throws the AppError, which names the port as "COMn".
    void OpenPort(int com);
    void ApplyLineSettings();
    void ClosePort();

    // Handlers of the controls; the change handlers read the control's current item.
    // cb_zarizeniApply maps the COM number shown beside the device field (the last one
    // chosen) to the device typed or picked there, selects it and reopens the port.
    void cb_comChange();
    void cb_baudrateChange();
    void cb_daChange();
    void cb_saChange();
    void cb_zarizeniApply();
    void tl_najitClick();
    void Timer1Timer();
    void tl_prerusitClick();
    void tl_cancelClick();

    int ComNumber() const { return m_comNumber; }
    int BaudRate() const { return m_baudRate; }
    int DeviceAddress() const { return m_da; }
    int PcAddress() const { return m_sa; }
    int probeCounter() const { return m_probe; }
    bool searching() const { return m_timer.isActive(); }
    kv10::SerialTransport& transport() { return m_transport; }

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Snapshot {
        int com = 0;
        int baudRate = 0;
        int da = 0;
        int sa = 0;
        std::array<QString, ComCount + 1> devices;   // index = COM number
        bool operator==(const Snapshot&) const = default;
    };

    Snapshot current() const;
    void takeSnapshot();
    void selectNoPort();
    void setSearchRunning(bool running);
    void selectBaudItem(int baudRate);
    void showDevice();
    void fillDeviceList();
    // Runs a handler of a control; its error goes to the error box.
    template <typename Handler> void guarded(Handler handler);

    Ui::PortDialog* ui;
    kv10::IntegerSettings& m_settings;
    kv10::TelegramLink& m_link;
    kv10::Prompts& m_prompts;
    kv10::SerialTransport m_transport;
    QTimer m_timer;   // Timer1: paces the address search

    int m_comNumber = 1;
    int m_baudRate = 9600;
    int m_da = 0;
    int m_sa = 0;
    int m_probe = 0;
    int m_deviceCom = 1;   // the COM number whose device the dialog shows and changes
    // Index = COM number. The stored paths are what the settings keep; the device paths are
    // what this run opens (a stored path or an override).
    std::array<QString, ComCount + 1> m_storedDevices;
    std::array<QString, ComCount + 1> m_devices;
    int m_overrideCom = 0;
    kv10::Transport* m_overrideTransport = nullptr;
    Snapshot m_snapshot;
    std::array<QString, ComCount + 1> m_snapshotStoredDevices;
};
