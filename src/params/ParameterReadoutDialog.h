#pragma once
// "Čtení parametrů": before the parameter editor opens, puts the editor's controls back to
// their defaults, identifies the firmware and reads every table this firmware has, with a
// progress bar. It closes by itself when done.
#include <QDialog>
#include <functional>

namespace Ui { class ParameterReadoutDialog; }
namespace kv10 {
class Prompts;
class TelegramLink;
class Waiter;
}
class ParameterEditor;
class QTimer;

class ParameterReadoutDialog : public QDialog {
    Q_OBJECT
public:
    ParameterReadoutDialog(ParameterEditor& editor, kv10::TelegramLink& link, kv10::Prompts& prompts,
                           kv10::Waiter& waiter, QWidget* parent = nullptr);
    ~ParameterReadoutDialog() override;

    // 0 unidentified, 1-3 the firmware "FW-R-09-0n"; kept until the next read-out.
    int FirmwareVariant() const;

    void FormShow();
    void Timer1Timer();
    void ReadAllParameters();
    int IdentifyFirmware();
    bool ReadCurrentProgram();
    void AdvanceProgress(int step);

    QTimer* Timer1 = nullptr;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    // A dialog closed before its timer ran reads nothing later.
    void hideEvent(QHideEvent* event) override;

private:
    // The editor's controls back to the values they have before anything is read.
    void resetEditorControls();
    // Reads `count` tables with the pause after each; prepare(step) shows the step's progress
    // and returns its table, and runs for the next step within the pause after a read.
    void readEach(int count, const std::function<int(int)>& prepare);

    Ui::ParameterReadoutDialog* ui;
    ParameterEditor& m_editor;
    kv10::TelegramLink& m_link;
    kv10::Prompts& m_prompts;
    kv10::Waiter& m_waiter;
    int m_firmwareVariant = 0;
};
