#pragma once
// "Záznam": The record window: reads out the controller's record and exports it.
#include <QDialog>

namespace Ui { class ControllerRecordWindow; }
namespace kv10 {
class Prompts;
class TelegramLink;
}

class ControllerRecordWindow : public QDialog {
    Q_OBJECT
public:
    ControllerRecordWindow(kv10::TelegramLink& link, kv10::Prompts& prompts, QWidget* parent = nullptr);
    ~ControllerRecordWindow() override;

private:
    Ui::ControllerRecordWindow* ui;
    kv10::TelegramLink& m_link;
    kv10::Prompts& m_prompts;
};
