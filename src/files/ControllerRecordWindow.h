#pragma once
// "Záznam": reads out the record that the controller keeps of its last 256 samples, lists it
// newest first, plots it and exports the list as a text file.
#include <QDialog>
#include <memory>
#include <vector>

namespace Ui { class ControllerRecordWindow; }
namespace kv10 {
class Prompts;
class SessionRunner;
class StopRequest;
struct ControllerImage;
}

class ControllerRecordWindow : public QDialog {
    Q_OBJECT
public:
    // `image` is the window's copy of the controller image, brought up to date by each read-out.
    ControllerRecordWindow(kv10::SessionRunner& runner, kv10::ControllerImage& image, kv10::Prompts& prompts,
                           QWidget* parent = nullptr);
    ~ControllerRecordWindow() override;

    // Hands the whole read-out (about nine seconds of the line) to the session; the progress
    // bar follows its blocks, and the list and plot show it once it has ended. Closing the
    // window stops it after the exchange under way; the list then says so and keeps nothing.
    void tl_cteniClick();
    void tl_ulozitClick();
    bool reading() const { return m_reading; }

public slots:
    void done(int result) override;

private:
    void showRecord(const std::vector<float>& newestFirst);
    void showStopped();
    void clearRecord();

    Ui::ControllerRecordWindow* ui;
    kv10::SessionRunner& m_runner;
    kv10::ControllerImage& m_image;
    kv10::Prompts& m_prompts;
    bool m_reading = false;
    std::shared_ptr<kv10::StopRequest> m_stop;   // of the read-out under way
};
