#pragma once
// "Čtení parametrů": before the parameter editor opens, puts the editor's controls back to
// their defaults, identifies the firmware and reads every table this firmware has, with a
// progress bar. It closes by itself when done, with OK. The reads run as one job of the
// controller session; closing the dialog stops them after the exchange in progress, and the
// dialog then ends without OK and says that the read-out was stopped.
#include "SessionRunner.h"

#include <QDialog>

namespace Ui { class ParameterReadoutDialog; }
namespace kv10 {
class Prompts;
struct ControllerImage;
}
class ParameterEditor;
class QTimer;

class ParameterReadoutDialog : public QDialog {
    Q_OBJECT
public:
    ParameterReadoutDialog(ParameterEditor& editor, kv10::SessionRunner& runner, kv10::ControllerImage& image,
                           kv10::Prompts& prompts, QWidget* parent = nullptr);
    ~ParameterReadoutDialog() override;

    // 0 unidentified, 1-3 the firmware "FW-R-09-0n"; kept until the next read-out.
    int FirmwareVariant() const;

    void FormShow();
    void Timer1Timer();
    // Identification and the tables of the firmware, the bar following each step; the dialog
    // stays open when they have ended.
    void ReadAllParameters();

    QTimer* Timer1 = nullptr;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    // A dialog closed before its timer ran reads nothing later; one closed while it reads
    // stops the read-out.
    void hideEvent(QHideEvent* event) override;

private:
    void readAll(bool thenClose);

    Ui::ParameterReadoutDialog* ui;
    ParameterEditor& m_editor;
    kv10::SessionRunner& m_runner;
    kv10::ControllerImage& m_image;
    kv10::Prompts& m_prompts;
    kv10::StopHandle m_job;   // the read-out running, if any
    int m_firmwareVariant = 0;
};
