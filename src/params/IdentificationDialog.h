#pragma once
// "About" (Identifikace): asks the connected device for its type and version one second
// after showing; a device of the other family is named as such.
#include <QDialog>

namespace Ui { class IdentificationDialog; }
namespace kv10 {
class Prompts;
class TelegramLink;
class Waiter;
}
class QTimer;

class IdentificationDialog : public QDialog {
    Q_OBJECT
public:
    IdentificationDialog(kv10::TelegramLink& link, kv10::Prompts& prompts, kv10::Waiter& waiter,
                         QWidget* parent = nullptr);
    ~IdentificationDialog() override;

    void FormShow();
    void Timer1Timer();
    // The three reads and, when none answered, the foreign-device message.
    void Identify();

    QTimer* Timer1 = nullptr;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    // A dialog closed before its timer ran reads nothing later.
    void hideEvent(QHideEvent* event) override;

private:
    Ui::IdentificationDialog* ui;
    kv10::TelegramLink& m_link;
    kv10::Prompts& m_prompts;
    kv10::Waiter& m_waiter;
};
