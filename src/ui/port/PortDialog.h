#pragma once
// "Komunikační port": shows and changes the link settings of the controller session (COM
// port, baud rate, the bus addresses DA and SA, the device of each COM port) and runs the
// bus-address search. Every change takes effect at once; "Storno" offers to go back.
//
// The session is reached only through jobs: each change is a job that returns the session's
// state, which the dialog then shows, with a port error as its text. While a change of its
// own is under way the dialog's commands are disabled, so what it shows and stores is always
// the state the last change left.
#include "ControllerSession.h"
#include "Protocol.h"
#include "SessionRunner.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

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

    PortDialog(kv10::SessionRunner& runner, kv10::IntegerSettings& settings, kv10::Prompts& prompts,
               QWidget* parent = nullptr);
    ~PortDialog() override;

    // Loads the settings, fills the baud list and opens the port. A port that cannot be
    // opened is reported in the error box; the dialog is then left on "žádný port".
    void FormCreate();
    void FormShow();
    void FormClose();

    // Handlers of the controls; the change handlers read the control's current item. A port
    // error closes the port, selects "žádný port", sets ComNumber to 0 and shows the error,
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

    // The settings in force when the dialog's last change returned.
    int ComNumber() const { return m_state.com; }
    int BaudRate() const { return m_state.baudRate; }
    int DeviceAddress() const { return m_state.da; }
    int PcAddress() const { return m_state.sa; }
    int probeCounter() const { return m_probe; }
    bool searching() const { return m_timer.isActive(); }
    // A change of the dialog's own is under way on the session.
    bool changing() const { return m_changes > 0; }

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What a change returns: the session's state after it, and the text of a port error.
    struct Outcome {
        kv10::ControllerSession::Snapshot state;
        std::optional<QString> error;
    };
    using Change = std::function<void(kv10::ControllerSession&)>;
    // Hands a change of the session over. When it has run, `show` shows its outcome (by
    // default the controls show the settings in force) and a port error goes to the error box.
    void change(Change apply, std::function<void(const Outcome&)> show = {});
    void takeSnapshot();
    void storeSettings();
    void showSettings();
    void updateControls();
    void selectBaudItem(int baudRate);
    void showDevice();
    void fillDeviceList();
    void setCellText(int address, const QString& text);
    // The probe under way sends nothing more, and what it found is not shown.
    void dropProbe();

    Ui::PortDialog* ui;
    kv10::SessionRunner& m_runner;
    kv10::IntegerSettings& m_settings;
    kv10::Prompts& m_prompts;
    QTimer m_timer;   // Timer1: paces the address search

    kv10::ControllerSession::Snapshot m_state;      // as the last change left the session
    kv10::ControllerSession::Snapshot m_snapshot;   // what "Storno" goes back to
    int m_changes = 0;             // changes handed over and not yet returned
    bool m_storeWhenDone = false;  // closed meanwhile: store once they have returned
    QPointer<QWidget> m_focused;   // where the focus was when the commands were disabled

    int m_probe = 0;
    int m_deviceCom = 1;   // the COM number whose device the dialog shows and changes
    int m_probes = 0;      // probes handed over, ever
    int m_probing = 0;     // the number of the probe under way; 0: none
    kv10::StopHandle m_probeStop;
};
