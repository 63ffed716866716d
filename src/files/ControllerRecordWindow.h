#pragma once
// "Záznam": reads out the record that the controller keeps of its last 256 samples, lists it
// newest first, plots it and exports the list as a text file.
#include <QDialog>
#include <vector>

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

    // The whole read-out: it blocks for about nine seconds with only the progress bar painted.
    void tl_cteniClick();
    void tl_ulozitClick();

private:
    void showRecord(const std::vector<float>& newestFirst);

    Ui::ControllerRecordWindow* ui;
    kv10::TelegramLink& m_link;
    kv10::Prompts& m_prompts;
};
