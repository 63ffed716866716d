#pragma once
// The main window "KORVIN 10": live display, control and chart panels, the trend chart and
// the status panels; its settings are read at creation and written at close. Its 200 ms timer
// drives the poll cycle (PollCycle), whose steps the window carries out: a live read shown and
// drawn, a demo step, a line of the text log and the log file's periodic write (LogSession).
// A live read is a job of the session runner: the window shows its values when it comes back,
// and a tick that falls due while any job holds the line is lost, as a blocked thread lost it.
#include "LogSession.h"
#include "PollCycle.h"

#include <QColor>
#include <QMainWindow>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>

namespace Ui { class MainWindow; }
namespace kv10 {
class Clock;
class IntegerSettings;
class Prompts;
class RandomSource;
class SessionRunner;
class TraceHub;
class TrendChart;
struct ControllerImage;
struct DemoValues;
struct LiveDisplay;
}
class MainWindowCommands;
class QTimer;
class TelegramMonitor;

// What the main window works with, handed in by whoever assembles the program.
struct MainWindowParts {
    kv10::IntegerSettings& settings;
    QString settingsLocation;   // named in the box when the settings cannot be written
    kv10::Prompts& prompts;
    kv10::Clock& clock;
    kv10::SessionRunner& runner;    // the live reads go to it as jobs
    kv10::ControllerImage& image;   // the window's copy, which the jobs bring back
    kv10::TraceHub& traces;         // the telegram monitor joins it
    kv10::RandomSource& random;
    MainWindowCommands& commands;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int DesignedLeft = 192;
    static constexpr int DesignedTop = 107;
    static constexpr int DesignedWidth = 718;
    static constexpr int DesignedHeight = 523;

    explicit MainWindow(const MainWindowParts& parts, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Settings of the window (sections DESKTOP, GRAF; ZAZNAM are the poll cycle's rates).
    int ChartLength = 200;
    bool Chart3D = true;
    int RotationPercent = 35;
    qint32 PenColour = 0;
    qint32 GridBackColour = 0;
    qint32 BorderColour = 0;

    // The running X of the chart, kept by the chart itself: 0 at start-up and after each clear.
    qint64 PointCounter() const;

    // The poll cycle: its timer Timer1 (200 ms, running from creation) and its counters and rates.
    QTimer* Timer1 = nullptr;
    void Timer1Timer();
    void DemoStep();
    kv10::PollCycle& pollCycle() { return m_cycle; }

    // Controls of the live and control panels.
    void tl_precistClick();
    void check_autoClick();
    void check_zapisClick();
    void check_demoClick();

    // Appends one point in the pen colour.
    void AddChartPoint(double value);
    // Colour of the chart points made from values a failed read left standing.
    static const QColor StaleColour;
    kv10::TrendChart& chart();
    // The telegram monitor, made when first opened (null before).
    TelegramMonitor* telegramMonitor() const { return m_monitor; }

    // Clears the log buffer, writes its header, takes a sample and empties the chart.
    void StartNewLog();

    // Menu commands.
    void mn_novyClick();
    void mn_ulozitClick();
    void mn_ulozitjakoClick();
    void mn_exitClick();
    void mn_portClick();
    void mn_parametryClick();
    void mn_zaznamClick();
    void mn_barvaClick();
    void mn_rychlost_zaznamuClick();
    void mn_monitorClick();
    void mn_aboutClick();
    void mn_identClick();
    void tl_barva_peraClick();

    // The log file: the name last confirmed in the save dialog (or the initial name), and
    // whether one was confirmed (the check mark of "Nový soubor").
    QString logFileName() const { return m_log.fileName(); }
    bool logFileChosen() const { return m_log.fileChosen(); }
    // A new log started while the log file holds an earlier one: it stays in memory, and
    // the periodic write leaves the file alone, until a name is confirmed for it.
    bool logOnlyInMemory() const { return m_log.onlyInMemory(); }
    kv10::LogBuffer& logBuffer() { return m_log.buffer(); }
    kv10::LogSession& logSession() { return m_log; }

    // Shows the status panels from the poll cycle's rates.
    void showRates();
    // Colours the pen swatch and the chart area from the colour settings.
    void applyChartLook();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    // Runs a command; its error goes to the error box.
    void guarded(void (MainWindow::*handler)());
    // `current` false: the values of an earlier read, shown greyed and with faded lamps.
    void showLiveValues(const kv10::LiveDisplay& values, bool current);
    void showDemoValues(const kv10::DemoValues& values);
    void showRelayLamps(const std::array<bool, 4>& lit, bool current = true);
    // Reads the live values, shows them and draws their point; a sample also logs them.
    void readLive(kv10::PollCycle::Read purpose);
    struct LiveRead;
    void showLiveRead(const LiveRead& read, kv10::PollCycle::Read purpose);
    // Runs `then` once the jobs handed over before it have come back (at once, inline).
    void afterJobs(std::function<void()> then);
    // The link panel: the state, and the age of the values shown unless they are fresh.
    void showLinkState();
    // The pen swatch and the chart's pen from PenColour.
    void showPenColour();
    bool askClearData();

    Ui::MainWindow* ui;
    MainWindowParts m_parts;
    kv10::PollCycle m_cycle;
    kv10::LogSession m_log;            // the log lines (the invisible ListBox) and their file
    TelegramMonitor* m_monitor = nullptr;   // a child window, so it goes with this one
    // Set once the read "Přečíst" handed over has started; while it waits, another press adds
    // nothing.
    std::shared_ptr<std::atomic<bool>> m_waitingRead;
};
