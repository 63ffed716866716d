#pragma once
// The main window "KORVIN 10": live display, control and chart panels, the trend chart and
// the status panels; its settings are read at creation and written at close. A 200 ms timer
// drives the poll cycle: once per clock second it takes a live sample (or a demo step) and
// writes the log file at the file period.
#include "LogBuffer.h"

#include <QColor>
#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <array>

namespace Ui { class MainWindow; }
namespace kv10 {
class TrendChart;
struct DemoValues;
struct LiveDisplay;
}
class AppContext;
class QTimer;
class TelegramMonitor;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int DesignedLeft = 192;
    static constexpr int DesignedTop = 107;
    static constexpr int DesignedWidth = 718;
    static constexpr int DesignedHeight = 523;

    explicit MainWindow(AppContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Settings of the window (sections DESKTOP, GRAF, ZAZNAM).
    int ChartLength = 200;
    bool Chart3D = true;
    int RotationPercent = 35;
    qint32 PenColour = 0;
    qint32 GridBackColour = 0;
    qint32 BorderColour = 0;
    int RecordPeriod = 1;
    int RecordUnit = 1;
    int FilePeriod = 15;

    // The running X of the chart, kept by the chart itself: 0 at start-up and after each clear.
    qint64 PointCounter() const;
    // Seconds counted towards the next sample and the next file write; the last clock second
    // handled.
    int SampleCounter = 0;
    int FileCounter = 0;
    qint16 LastSecond = 0;

    // The poll cycle (Timer1, 200 ms, running from creation).
    QTimer* Timer1 = nullptr;
    void Timer1Timer();
    void SampleStep();
    void FileWriteStep();
    void DemoStep();

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
    QString logFileName() const { return m_logFileName; }
    bool logFileChosen() const;
    // A new log started while the log file holds an earlier one: it stays in memory, and
    // the periodic write leaves the file alone, until a name is confirmed for it.
    bool logOnlyInMemory() const { return m_logOnlyInMemory; }
    kv10::LogBuffer& logBuffer() { return m_logBuffer; }

    // Shows the status panels from RecordPeriod, FilePeriod and RecordUnit.
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
    // Whether the last live read was answered, and if not, why.
    enum class LinkState { NotRead, Answered, NoAnswer, PortMissing };
    // The link panel: the state, and the age of the values shown unless they are fresh
    // (`ageSeconds` below 0: no values were ever read).
    static QString linkStatusText(LinkState state, qint64 ageSeconds);
    void showLinkState();
    // Writes the log buffer to `path`; throws AppError.
    void writeLog(const QString& path);
    // The pen swatch and the chart's pen from PenColour.
    void showPenColour();
    bool askClearData();

    Ui::MainWindow* ui;
    AppContext& m_context;
    kv10::LogBuffer m_logBuffer;       // the log lines (the invisible ListBox)
    QString m_logFileName;
    bool m_confirmOverwrite = false;   // on from the first save-as
    bool m_logFileHasLog = false;      // a log was written to m_logFileName in this run
    bool m_logOnlyInMemory = false;
    LinkState m_linkState = LinkState::NotRead;
    QDateTime m_valuesTime;            // of the last answered live read; invalid before one
    TelegramMonitor* m_monitor = nullptr;   // a child window, so it goes with this one
};
