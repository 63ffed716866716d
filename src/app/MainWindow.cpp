#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AboutBox.h"
#include "IdentificationDialog.h"
#include "AppContext.h"
#include "AppError.h"
#include "DemoData.h"
#include "ErrorBox.h"
#include "IntegerSettings.h"
#include "LiveFormat.h"
#include "ParameterReadoutDialog.h"
#include "ChartSettingsDialog.h"
#include "RecordSpeedDialog.h"
#include "StoredColour.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "TelegramMonitor.h"
#include "Timing.h"
#include "TrendChart.h"
#include "ParameterEditor.h"
#include "PortDialog.h"
#include "ControllerRecordWindow.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <utility>

using namespace kv10;

namespace {

const QString Desktop = QStringLiteral("DESKTOP");
const QString Graf = QStringLiteral("GRAF");
const QString Zaznam = QStringLiteral("ZAZNAM");
const QString InitialLogFileName = QStringLiteral("Záznam KORVIN10");
const QString ClearDataQuestion = QStringLiteral("Chceš vymazat naměřená data?");
const QString ClearDataCaption = QStringLiteral("Clear");
const QColor LampLit(255, 255, 0);
const QColor FaultRed(255, 0, 0);
const QString LogInMemoryText = QStringLiteral("jen v paměti, soubor nezvolen");
constexpr int Timer1Interval = 200;
constexpr qint64 FreshSeconds = 2;   // values younger than this need no age in the link panel

QColor buttonFace()
{
    return colourFromStored(StoredButtonFace);
}

// A lamp or fault colour halfway to the button face: what a value no longer current shows.
QColor faded(const QColor& colour)
{
    const QColor face = buttonFace();
    return QColor((colour.red() + face.red()) / 2, (colour.green() + face.green()) / 2,
                  (colour.blue() + face.blue()) / 2);
}

// A colour from the chart dialog goes back into its stored form; a stored system colour
// (the button face) stays one while the dialog left its colour as it was.
qint32 keptStoredColour(qint32 stored, const QColor& colour)
{
    return colourFromStored(stored) == colour ? stored : storedFromColour(colour);
}

// Stops the poll timer for the life of a question and its save dialog, and starts it again
// however the handler ends (an error box included).
class TimerPause {
public:
    explicit TimerPause(QTimer& timer) : m_timer(timer) { m_timer.stop(); }
    ~TimerPause() { m_timer.start(); }
    TimerPause(const TimerPause&) = delete;
    TimerPause& operator=(const TimerPause&) = delete;

private:
    QTimer& m_timer;
};

// "35 s", "4 min", "3 h": whole units, rounded down.
QString ageText(qint64 seconds)
{
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 120 * 60)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h").arg(seconds / 3600);
}

} // namespace

const QColor MainWindow::StaleColour(160, 160, 160);

MainWindow::MainWindow(AppContext& context, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), m_context(context), m_logFileName(InitialLogFileName)
{
    ui->setupUi(this);
    // The program's title on the task bar (the icon name of the main window).
    setWindowIconText(QStringLiteral("KV-10"));
    ui->tl_precist->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));

    // Menu commands show their errors in the error box right here, so no exception has
    // to travel back through the toolkit's menu code.
    const std::pair<QAction*, void (MainWindow::*)()> commands[] = {
        {ui->mn_novy, &MainWindow::mn_novyClick},
        {ui->mn_ulozit, &MainWindow::mn_ulozitClick},
        {ui->mn_ulozitjako, &MainWindow::mn_ulozitjakoClick},
        {ui->mn_exit, &MainWindow::mn_exitClick},
        {ui->mn_port, &MainWindow::mn_portClick},
        {ui->mn_parametry, &MainWindow::mn_parametryClick},
        {ui->mn_zaznam, &MainWindow::mn_zaznamClick},
        {ui->mn_barva, &MainWindow::mn_barvaClick},
        {ui->mn_rychlost_zaznamu, &MainWindow::mn_rychlost_zaznamuClick},
        {ui->mn_monitor, &MainWindow::mn_monitorClick},
        {ui->mn_about, &MainWindow::mn_aboutClick},
        {ui->mn_ident, &MainWindow::mn_identClick},
    };
    for (const auto& [action, handler] : commands)
        connect(action, &QAction::triggered, this, [this, handler = handler] { guarded(handler); });
    const std::pair<QAbstractButton*, void (MainWindow::*)()> buttons[] = {
        {ui->tl_barva_pera, &MainWindow::tl_barva_peraClick},
        {ui->tl_precist, &MainWindow::tl_precistClick},
        {ui->check_auto, &MainWindow::check_autoClick},
        {ui->check_zapis, &MainWindow::check_zapisClick},
        {ui->check_demo, &MainWindow::check_demoClick},
    };
    for (const auto& [button, handler] : buttons)
        connect(button, &QAbstractButton::clicked, this, [this, handler = handler] { guarded(handler); });

    for (QLabel* lamp : {ui->pa_re1, ui->pa_re2, ui->pa_re3, ui->pa_re4})
        lamp->setAccessibleName(QStringLiteral("Out %1").arg(lamp->objectName().back()));

    FormCreate();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(Timer1Interval);
    connect(Timer1, &QTimer::timeout, this, [this] { guarded(&MainWindow::Timer1Timer); });
    Timer1->start();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::guarded(void (MainWindow::*handler)())
{
    try {
        (this->*handler)();
    } catch (const AppError& error) {
        showErrorBox(m_context.prompts(), error.text());
    } catch (const std::exception& error) {
        showErrorBox(m_context.prompts(), kv10::exceptionText(error));
    }
}

void MainWindow::FormCreate()
{
    IntegerSettings& settings = m_context.settings();

    move(DesignedLeft, DesignedTop);
    resize(DesignedWidth, DesignedHeight);
    // Each value is applied at once, so the next one defaults to the window as it now is.
    move(settings.readInteger(Desktop, QStringLiteral("Left"), x()), y());
    move(x(), settings.readInteger(Desktop, QStringLiteral("Top"), y()));
    resize(width(), settings.readInteger(Desktop, QStringLiteral("Height"), height()));
    resize(settings.readInteger(Desktop, QStringLiteral("Width"), width()), height());

    PenColour = settings.readInteger(Graf, QStringLiteral("PERO"), StoredRed);
    GridBackColour = settings.readInteger(Graf, QStringLiteral("MRIZ"), StoredButtonFace);
    BorderColour = settings.readInteger(Graf, QStringLiteral("POZADI"), StoredButtonFace);
    Chart3D = settings.readInteger(Graf, QStringLiteral("G3D"), 1) != 0;
    // The chart takes only 1 to 100 per cent of depth.
    RotationPercent = std::clamp(settings.readInteger(Graf, QStringLiteral("R3D"), 35), 1, 100);
    ChartLength = settings.readInteger(Graf, QStringLiteral("POCET"), 200);

    RecordUnit = settings.readInteger(Zaznam, QStringLiteral("JEDNOTKY"), 1);
    RecordPeriod = settings.readInteger(Zaznam, QStringLiteral("LIST"), 1);
    FilePeriod = settings.readInteger(Zaznam, QStringLiteral("SOUBOR"), 15);
    showRates();

    applyChartLook();
}

void MainWindow::FormClose()
{
    IntegerSettings& settings = m_context.settings();
    settings.writeInteger(Desktop, QStringLiteral("Top"), y());
    settings.writeInteger(Desktop, QStringLiteral("Left"), x());
    settings.writeInteger(Desktop, QStringLiteral("Height"), height());
    settings.writeInteger(Desktop, QStringLiteral("Width"), width());

    settings.writeInteger(Graf, QStringLiteral("PERO"), PenColour);
    settings.writeInteger(Graf, QStringLiteral("MRIZ"), GridBackColour);
    settings.writeInteger(Graf, QStringLiteral("POZADI"), BorderColour);
    settings.writeInteger(Graf, QStringLiteral("G3D"), Chart3D ? 1 : 0);
    settings.writeInteger(Graf, QStringLiteral("R3D"), RotationPercent);
    settings.writeInteger(Graf, QStringLiteral("POCET"), ChartLength);

    settings.writeInteger(Zaznam, QStringLiteral("LIST"), RecordPeriod);
    settings.writeInteger(Zaznam, QStringLiteral("SOUBOR"), FilePeriod);
    settings.writeInteger(Zaznam, QStringLiteral("JEDNOTKY"), RecordUnit);

    // A store that cannot be written loses this run's settings; say so once, and close anyway.
    if (!settings.sync())
        m_context.prompts().message(
            QStringLiteral("Nastavení programu nelze uložit:\n%1").arg(m_context.settingsLocation()),
            ErrorBoxCaption, PromptIcon::Warning, PromptButton::Ok, this);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void MainWindow::showRates()
{
    ui->pa_zaznam->setText(QString::number(RecordPeriod));
    ui->pa_soubor->setText(QString::number(FilePeriod));
    ui->pa_jednotky->setText(RecordUnit == 1 ? QStringLiteral("s") : QStringLiteral("min"));
}

void MainWindow::showPenColour()
{
    const QColor pen = colourFromStored(PenColour);
    fillPanel(*ui->pa_barva_pera, pen);
    ui->Chart1->setPenColour(pen);
}

void MainWindow::applyChartLook()
{
    showPenColour();
    TrendChart& chart = *ui->Chart1;
    chart.setPanelColour(colourFromStored(BorderColour));
    chart.setBackWallColour(colourFromStored(GridBackColour));
    chart.setDepthPercent(RotationPercent);
    chart.setView3D(Chart3D);
    chart.setChartLength(ChartLength);
}

TrendChart& MainWindow::chart()
{
    return *ui->Chart1;
}

qint64 MainWindow::PointCounter() const
{
    return ui->Chart1->pointCounter();
}

void MainWindow::AddChartPoint(double value)
{
    ui->Chart1->addPoint(value);
}

// --- live display and poll cycle -------------------------------------------------------------

void MainWindow::showRelayLamps(const std::array<bool, 4>& lit, bool current)
{
    QLabel* const lamps[] = {ui->pa_re1, ui->pa_re2, ui->pa_re3, ui->pa_re4};
    for (int i = 0; i < 4; ++i) {
        fillPanel(*lamps[i], !lit[i] ? buttonFace() : current ? LampLit : faded(LampLit));
        lamps[i]->setAccessibleDescription(lit[i] ? QStringLiteral("sepnuto") : QStringLiteral("vypnuto"));
    }
}

void MainWindow::showLiveValues(const LiveDisplay& values, bool current)
{
    ui->pa_measure->setText(values.measure);
    ui->pa_sp->setText(values.setpoint);
    ui->bar_yout->setValue(std::clamp(values.outputBar, ui->bar_yout->minimum(), ui->bar_yout->maximum()));
    ui->lb_yout->setText(values.output);
    ui->lb_ts->setText(values.terminal);
    showRelayLamps(values.relays, current);
    fillPanel(*ui->pa_porucha, !values.fault ? buttonFace() : current ? FaultRed : faded(FaultRed));
    // Greyed texts: the values are those of an earlier read.
    ui->Panel1->setEnabled(current);
    ui->pa_porucha->setText(values.faultCaption);
}

QString MainWindow::linkStatusText(LinkState state, qint64 ageSeconds)
{
    QString text;
    switch (state) {
    case LinkState::NotRead:
        return QStringLiteral("nečteno");
    case LinkState::Answered:
        if (ageSeconds < FreshSeconds)
            return QStringLiteral("spojeno");
        text = QStringLiteral("spojeno");
        break;
    case LinkState::NoAnswer:
        text = QStringLiteral("bez odpovědi");
        break;
    case LinkState::PortMissing:
        text = QStringLiteral("port nedostupný");
        break;
    }
    if (ageSeconds < 0)
        return text + QStringLiteral(", žádné hodnoty");
    return text + QStringLiteral(", hodnoty staré ") + ageText(ageSeconds);
}

void MainWindow::showLinkState()
{
    const qint64 age = m_valuesTime.isValid() ? std::max<qint64>(0, m_valuesTime.secsTo(m_context.clock().now())) : -1;
    const QString text = linkStatusText(m_linkState, age);
    ui->pa_spojeni->setText(text);
    // The panel's name says what it is; screen readers hear the state as its description.
    ui->pa_spojeni->setAccessibleDescription(text);
}

void MainWindow::tl_precistClick()
{
    // A failed read shows no box. The display keeps the last values read, greyed, and
    // their chart point is grey; the link panel says why and how old they are.
    TelegramLink& link = m_context.link();
    const bool answered = link.ReadTable(TableLive);
    showNotice(m_context.prompts(), link.takeNotice());
    if (answered) {
        m_linkState = LinkState::Answered;
        m_valuesTime = m_context.clock().now();
    } else {
        m_linkState = link.transport() && link.transport()->isOpen() ? LinkState::NoAnswer : LinkState::PortMissing;
    }
    const LiveTable& live = m_context.image().live;
    showLiveValues(liveDisplay(live), answered);
    if (answered) {
        AddChartPoint(live.meas);
    } else {
        ui->Chart1->setPenColour(StaleColour);
        AddChartPoint(live.meas);
        ui->Chart1->setPenColour(colourFromStored(PenColour));
    }
    showLinkState();
}

void MainWindow::Timer1Timer()
{
    const qint16 second = qint16(m_context.clock().now().time().second());
    if (second == LastSecond)
        return;
    LastSecond = second;
    showLinkState();   // the age of the values shown

    if (ui->check_demo->isChecked()) {
        DemoStep();
        return;
    }
    if (ui->check_auto->isChecked()) {
        SampleStep();
        if (ui->check_zapis->isChecked())
            FileWriteStep();
    }
}

void MainWindow::SampleStep()
{
    ++SampleCounter;
    // Wide product: stored periods are taken as they are and may be large.
    if (SampleCounter < qint64(RecordPeriod) * RecordUnit)
        return;
    SampleCounter = 0;
    tl_precistClick();
    m_logBuffer.appendDataLine(ui->pa_measure->text(), ui->pa_sp->text(), ui->lb_yout->text(),
                               ui->pa_porucha->text(), m_context.clock().now());
}

void MainWindow::FileWriteStep()
{
    ++FileCounter;
    if (FileCounter < qint64(FilePeriod) * 60)
        return;
    // The counter restarts first: after a failed write the next try is a full period later.
    FileCounter = 0;
    if (m_logOnlyInMemory)
        return;
    try {
        writeLog(m_logFileName);
    } catch (const AppError& error) {
        // Nobody asked for this write: say why it failed and let the poll go on.
        showErrorBox(m_context.prompts(), error.text());
    }
}

bool MainWindow::askClearData()
{
    return m_context.prompts().message(ClearDataQuestion, ClearDataCaption, PromptIcon::Warning,
                                       PromptButton::Yes | PromptButton::No, this)
        == PromptButton::Yes;
}

void MainWindow::check_autoClick()
{
    if (!ui->check_auto->isChecked())
        return;
    TimerPause pause(*Timer1);
    // An empty chart has nothing to clear, so nothing is asked.
    if (ui->Chart1->pointCount() > 0 && askClearData()) {
        StartNewLog();
        if (logFileChosen())
            mn_ulozitjakoClick();
    }
}

void MainWindow::check_zapisClick()
{
    if (!ui->check_zapis->isChecked())
        return;
    TimerPause pause(*Timer1);
    if (askClearData())
        StartNewLog();
    mn_ulozitjakoClick();
}

// --- demo data ------------------------------------------------------------------------------

void MainWindow::showDemoValues(const DemoValues& values)
{
    ui->lb_ts->setText(values.terminal);
    ui->pa_measure->setText(values.measure);
    ui->pa_porucha->setText(values.fault);
    ui->pa_sp->setText(values.setpoint);
    ui->lb_yout->setText(values.output);
    ui->bar_yout->setValue(values.outputBar);
    showRelayLamps(values.relays);
    ui->Panel1->setEnabled(true);
}

void MainWindow::DemoStep()
{
    const DemoValues values = nextDemoValues(m_context.random());
    showDemoValues(values);
    AddChartPoint(values.measured);
}

void MainWindow::check_demoClick()
{
    TimerPause pause(*Timer1);
    const bool demo = ui->check_demo->isChecked();
    // The two boxes keep their ticks; they only stop counting while the demo runs.
    ui->check_zapis->setEnabled(!demo);
    ui->check_auto->setEnabled(!demo);
    if (demo && askClearData())
        ui->Chart1->clear();
}

bool MainWindow::logFileChosen() const
{
    return ui->mn_novy->isChecked();
}

void MainWindow::StartNewLog()
{
    m_logBuffer.startNewLog(m_context.clock().now());
    tl_precistClick();
    // With the default record speed this reads again and appends the first data line.
    SampleStep();
    ui->Chart1->clear();
    SampleCounter = 0;
    FileCounter = 0;
    // The file holds the log just ended: the new one must not replace it before the user
    // has confirmed a name for it.
    m_logOnlyInMemory = m_logFileHasLog;
    if (m_logOnlyInMemory)
        ui->pa_path->setText(LogInMemoryText);
}

void MainWindow::writeLog(const QString& path)
{
    m_logBuffer.writeToFile(path);
    m_logFileHasLog = true;
}

void MainWindow::mn_novyClick()
{
    StartNewLog();
    mn_ulozitjakoClick();
}

void MainWindow::mn_ulozitClick()
{
    if (logFileChosen() && !m_logOnlyInMemory) {
        writeLog(m_logFileName);
        return;
    }
    FileDialogRequest request = FileDialogRequest::saveText(QStringLiteral("Uložit jako"), m_logFileName, this);
    // A name offered while the log is only in memory is that of the previous log's file.
    request.confirmOverwrite = m_confirmOverwrite || m_logOnlyInMemory;
    const QString chosen = m_context.prompts().saveFile(request);
    if (chosen.isEmpty())
        return;
    // The confirmed name is the log file's name from now on, periodic writes included; a
    // failed write throws before the path panel and the check mark change.
    m_logFileName = chosen;
    m_logOnlyInMemory = false;
    m_logFileHasLog = false;
    writeLog(chosen);
    ui->pa_path->setText(QDir::toNativeSeparators(QFileInfo(chosen).absoluteFilePath()));
    ui->mn_novy->setChecked(true);
}

void MainWindow::mn_ulozitjakoClick()
{
    ui->mn_novy->setChecked(false);
    m_confirmOverwrite = true;
    mn_ulozitClick();
}

void MainWindow::mn_exitClick()
{
    mn_ulozitClick();
    m_context.session().closePort();
    close();
}

void MainWindow::mn_portClick()
{
    m_context.portDialog().exec();
}

void MainWindow::mn_parametryClick()
{
    // The editor opens whatever the read-out's result.
    m_context.readoutDialog().exec();
    m_context.parameterEditor().exec();
}

void MainWindow::mn_zaznamClick()
{
    m_context.recordWindow().exec();
}

void MainWindow::mn_barvaClick()
{
    ChartSettings fields;
    fields.view3D = Chart3D;
    fields.depthPercent = RotationPercent;
    fields.backWallColour = colourFromStored(GridBackColour);
    fields.panelColour = colourFromStored(BorderColour);
    fields.chartLength = ChartLength;
    // The dialog changes the chart while it is open and puts it back itself on "Storno".
    if (!m_context.chartSettingsDialog().edit(fields))
        return;
    Chart3D = fields.view3D;
    RotationPercent = fields.depthPercent;
    GridBackColour = keptStoredColour(GridBackColour, fields.backWallColour);
    BorderColour = keptStoredColour(BorderColour, fields.panelColour);
    ChartLength = fields.chartLength;
    ui->Chart1->setChartLength(ChartLength);
}

void MainWindow::mn_rychlost_zaznamuClick()
{
    RecordSpeedDialog& dialog = m_context.recordSpeedDialog();
    dialog.preset(ui->pa_zaznam->text(), ui->pa_soubor->text(), RecordUnit);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The counters go on: a shorter period takes effect at the next handled second.
    FilePeriod = dialog.filePeriod();
    RecordPeriod = dialog.recordPeriod();
    RecordUnit = dialog.recordUnit();
    showRates();
}

void MainWindow::mn_monitorClick()
{
    // Not modal: the monitor is there to watch the poll and the other windows' exchanges.
    if (!m_monitor)
        m_monitor = new TelegramMonitor(m_context.link(), m_context.clock(), m_context.prompts(), this);
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

void MainWindow::mn_aboutClick()
{
    m_context.aboutBox().exec();
}

void MainWindow::mn_identClick()
{
    m_context.identificationDialog().exec();
}

void MainWindow::tl_barva_peraClick()
{
    // Not preset with the current pen; later points take the new colour.
    if (const auto rgb = m_context.prompts().chooseColour(0x000000, this)) {
        PenColour = storedFromRgb(*rgb);
        showPenColour();
    }
}
