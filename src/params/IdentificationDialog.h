#pragma once
// "About" (Identifikace): asks the connected device for its type and version one second
// after showing; a device of the other family is named as such. The reads run as one job of
// the controller session; closing the dialog stops it, and a stopped identification shows
// nothing of what it read.
#include "SessionRunner.h"

#include <QDialog>

namespace Ui { class IdentificationDialog; }
namespace kv10 {
class Prompts;
struct ControllerImage;
}
class QTimer;

class IdentificationDialog : public QDialog {
    Q_OBJECT
public:
    IdentificationDialog(kv10::SessionRunner& runner, kv10::ControllerImage& image, kv10::Prompts& prompts,
                         QWidget* parent = nullptr);
    ~IdentificationDialog() override;

    void FormShow();
    void Timer1Timer();
    // The three reads and, when none answered, the foreign-device message, handed to the
    // session; the lines change once they have ended.
    void Identify();

    QTimer* Timer1 = nullptr;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    // A dialog closed before its timer ran reads nothing later; one closed while it reads
    // stops after the exchange in progress.
    void hideEvent(QHideEvent* event) override;

private:
    Ui::IdentificationDialog* ui;
    kv10::SessionRunner& m_runner;
    kv10::ControllerImage& m_image;
    kv10::Prompts& m_prompts;
    kv10::StopHandle m_job;   // the identification running, if any
};
