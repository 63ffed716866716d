#pragma once
// "Čtení parametrů": before the parameter editor opens, puts the editor's controls back to
// their defaults, identifies the firmware and reads every table this firmware has, with a
// progress bar. It closes by itself when done.
#include <QDialog>

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
    // Identification and the tables of the firmware, the bar following each step.
    void ReadAllParameters();

    QTimer* Timer1 = nullptr;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    // A dialog closed before its timer ran reads nothing later.
    void hideEvent(QHideEvent* event) override;

private:
    Ui::ParameterReadoutDialog* ui;
    ParameterEditor& m_editor;
    kv10::TelegramLink& m_link;
    kv10::Prompts& m_prompts;
    kv10::Waiter& m_waiter;
    int m_firmwareVariant = 0;
};
