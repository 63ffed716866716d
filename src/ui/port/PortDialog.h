#pragma once
// "Komunikační port": shows and changes the link settings of the controller session (COM
// port, baud rate, the bus addresses DA and SA, the device of each COM port) and runs the
// bus-address search. Every change takes effect at once; "Storno" offers to go back.
#include "ControllerSession.h"
#include "Protocol.h"

#include <QDialog>
#include <QString>
#include <QTimer>

namespace Ui { class PortDialog; }

namespace kv10 {
class IntegerSettings;
class Prompts;
}

class PortDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int ComCount = kv10::ControllerSession::ComCount;
    static constexpr int SearchedAddresses = kv10::HighestStationAddress + 1;   // all but the broadcast address
    static constexpr int BaudRates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400,
                                        56000, 57600, 115200, 128000, 256000};

    PortDialog(kv10::ControllerSession& session, kv10::IntegerSettings& settings, kv10::Prompts& prompts,
               QWidget* parent = nullptr);
    ~PortDialog() override;

    // Loads the settings, fills the baud list and opens the port. Throws AppError when the
    // port cannot be opened; the dialog is then left on "žádný port".
    void FormCreate();
    void FormShow();
    void FormClose();

    // Handlers of the controls; the change handlers read the control's current item. A port
    // error closes the port, selects "žádný port", sets ComNumber to 0 and throws the AppError,
    // which names the port as "COMn".
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

    int ComNumber() const { return m_session.comNumber(); }
    int BaudRate() const { return m_session.baudRate(); }
    int DeviceAddress() const { return m_session.da(); }
    int PcAddress() const { return m_session.sa(); }
    int probeCounter() const { return m_probe; }
    bool searching() const { return m_timer.isActive(); }

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void takeSnapshot();
    // Runs a change of the session; the controls then show the settings in force, also
    // after a port error, which goes on to the caller.
    template <typename Change> void change(Change apply);
    void showSettings();
    void setSearchRunning(bool running);
    void selectBaudItem(int baudRate);
    void showDevice();
    void fillDeviceList();
    // Runs a handler of a control; its error goes to the error box.
    template <typename Handler> void guarded(Handler handler);

    Ui::PortDialog* ui;
    kv10::ControllerSession& m_session;
    kv10::IntegerSettings& m_settings;
    kv10::Prompts& m_prompts;
    QTimer m_timer;   // Timer1: paces the address search

    int m_probe = 0;
    int m_deviceCom = 1;   // the COM number whose device the dialog shows and changes
    kv10::ControllerSession::Snapshot m_snapshot;
};
