#pragma once
// Everything the program holds for its whole run: the settings, the controller session (port,
// telegram link and controller image), the prompts and the nine windows, created at start-up
// in their fixed order and kept until the end.
#include "ControllerSession.h"
#include "SessionRunner.h"

#include <QString>
#include <memory>

namespace kv10 {
class Clock;
class IntegerSettings;
class MonotonicClock;
class RandomSource;
class Prompts;
class TraceHub;
class Transport;
class Waiter;
}

class SettingsStore;
class MainWindow;
class MainWindowCommands;
class PortDialog;
class AboutBox;
class IdentificationDialog;
class ParameterEditor;
class ControllerRecordWindow;
class ChartSettingsDialog;
class RecordSpeedDialog;
class ParameterReadoutDialog;

struct AppOptions {
    QString settingsFolder;                    // empty: the platform's own settings place
    kv10::IntegerSettings* settings = nullptr; // instead of a SettingsStore (tests)
    kv10::Prompts* prompts = nullptr;          // instead of message boxes and dialogs (tests)
    kv10::Waiter* waiter = nullptr;            // instead of real pauses (tests)
    kv10::Clock* clock = nullptr;              // instead of the local clock (tests)
    kv10::MonotonicClock* monotonicClock = nullptr; // the link's time-outs, instead of the steady clock (tests)
    kv10::RandomSource* random = nullptr;      // instead of the unseeded demo source (tests)
    QString com1Device;                        // device for COM 1 in this run only
    kv10::Transport* com1Transport = nullptr;  // instead of any device for COM 1 in this run
    // Inline: jobs run on the GUI thread, for tests in test time.
    kv10::SessionRunner::Mode sessionMode = kv10::SessionRunner::Mode::OwnThread;
};

class AppContext {
public:
    explicit AppContext(const AppOptions& options = {});
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    // Creates the nine windows in order. A port that cannot be opened is reported in the
    // error box and start-up goes on.
    void createWindows();

    kv10::IntegerSettings& settings() { return *m_settings; }
    QString settingsLocation() const;
    kv10::SessionRunner& runner() { return *m_runner; }
    // The session itself: only while jobs run inline, or after the runner has shut down.
    kv10::ControllerSession& session() { return m_runner->session(); }
    // The windows' copy of the controller image; the session keeps its own (see SequenceJob).
    kv10::ControllerImage& image() { return m_image; }
    kv10::TelegramLink& link() { return session().link(); }
    kv10::Prompts& prompts() { return *m_prompts; }
    kv10::Clock& clock() { return *m_clock; }
    kv10::Waiter& waiter() { return *m_waiter; }
    kv10::RandomSource& random() { return *m_random; }

    MainWindow& mainWindow() { return *m_mainWindow; }
    PortDialog& portDialog() { return *m_portDialog; }
    AboutBox& aboutBox() { return *m_aboutBox; }
    IdentificationDialog& identificationDialog() { return *m_identificationDialog; }
    ParameterEditor& parameterEditor() { return *m_parameterEditor; }
    ControllerRecordWindow& recordWindow() { return *m_recordWindow; }
    ChartSettingsDialog& chartSettingsDialog() { return *m_chartSettingsDialog; }
    RecordSpeedDialog& recordSpeedDialog() { return *m_recordSpeedDialog; }
    ParameterReadoutDialog& readoutDialog() { return *m_readoutDialog; }

private:
    std::unique_ptr<SettingsStore> m_ownSettings;
    kv10::IntegerSettings* m_settings = nullptr;
    std::unique_ptr<kv10::Prompts> m_ownPrompts;
    kv10::Prompts* m_prompts = nullptr;
    kv10::Waiter* m_waiter = nullptr;
    kv10::ControllerImage m_image;
    std::unique_ptr<kv10::SessionRunner> m_runner;
    kv10::TraceHub* m_traces = nullptr;   // the link's, for the telegram monitor
    kv10::Clock* m_clock = nullptr;
    std::unique_ptr<kv10::RandomSource> m_ownRandom;
    kv10::RandomSource* m_random = nullptr;

    // Destroyed in reverse order: the dialogs before the main window that parents them, and
    // the main window before the commands it opens them by.
    std::unique_ptr<MainWindowCommands> m_mainWindowCommands;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<PortDialog> m_portDialog;
    std::unique_ptr<AboutBox> m_aboutBox;
    std::unique_ptr<IdentificationDialog> m_identificationDialog;
    std::unique_ptr<ParameterEditor> m_parameterEditor;
    std::unique_ptr<ControllerRecordWindow> m_recordWindow;
    std::unique_ptr<ChartSettingsDialog> m_chartSettingsDialog;
    std::unique_ptr<RecordSpeedDialog> m_recordSpeedDialog;
    std::unique_ptr<ParameterReadoutDialog> m_readoutDialog;
};
