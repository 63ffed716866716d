#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AppError.h"
#include "DemoData.h"
#include "ErrorBox.h"
#include "IntegerSettings.h"
#include "LiveFormat.h"
#include "MainWindowCommands.h"
#include "SequenceJob.h"
#include "StoredColour.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "TelegramMonitor.h"
#include "TrendChart.h"

#include <QCloseEvent>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <utility>

using namespace kv10;

namespace {

const QString Desktop = QStringLiteral("DESKTOP");
const QString Graf = QStringLiteral("GRAF");
const QString Zaznam = QStringLiteral("ZAZNAM");
const QString ClearDataQuestion = QStringLiteral("Chceš vymazat naměřená data?");
const QString ClearDataCaption = QStringLiteral("Clear");
const QColor LampLit(255, 255, 0);
const QColor FaultRed(255, 0, 0);

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

} // namespace

const QColor MainWindow::StaleColour(160, 160, 160);

MainWindow::MainWindow(const MainWindowParts& parts, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), m_parts(parts), m_cycle(parts.clock), m_log(parts.clock, parts.prompts)
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

    // The cycle reads the boxes' ticks however they change; the window carries out its steps.
    connect(ui->check_demo, &QAbstractButton::toggled, this, [this](bool on) { m_cycle.setDemo(on); });
    connect(ui->check_auto, &QAbstractButton::toggled, this, [this](bool on) { m_cycle.setAutoRead(on); });
    connect(ui->check_zapis, &QAbstractButton::toggled, this, [this](bool on) { m_cycle.setFileWrite(on); });
    m_cycle.setDemo(ui->check_demo->isChecked());
    m_cycle.setAutoRead(ui->check_auto->isChecked());
    m_cycle.setFileWrite(ui->check_zapis->isChecked());
    m_cycle.setSteps({
        [this] { showLinkState(); },   // the age of the values shown
        [this] { DemoStep(); },
        [this](PollCycle::Read purpose) { readLive(purpose); },
        [this] { m_log.writePeriodically(); },
    });
    m_log.setView({
        [this](const QString& path) { ui->pa_path->setText(path); },
        [this](bool chosen) { ui->mn_novy->setChecked(chosen); },
    });

    FormCreate();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(PollCycle::IntervalMs);
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
        showErrorBox(m_parts.prompts, error.text());
    } catch (const std::exception& error) {
        showErrorBox(m_parts.prompts, kv10::exceptionText(error));
    }
}

void MainWindow::FormCreate()
{
    IntegerSettings& settings = m_parts.settings;

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

    PollCycle::Rates rates;
    rates.recordUnit = settings.readInteger(Zaznam, QStringLiteral("JEDNOTKY"), 1);
    rates.recordPeriod = settings.readInteger(Zaznam, QStringLiteral("LIST"), 1);
    rates.filePeriod = settings.readInteger(Zaznam, QStringLiteral("SOUBOR"), 15);
    m_cycle.setRates(rates);
    showRates();

    applyChartLook();
}

void MainWindow::FormClose()
{
    IntegerSettings& settings = m_parts.settings;
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

    const PollCycle::Rates& rates = m_cycle.rates();
    settings.writeInteger(Zaznam, QStringLiteral("LIST"), rates.recordPeriod);
    settings.writeInteger(Zaznam, QStringLiteral("SOUBOR"), rates.filePeriod);
    settings.writeInteger(Zaznam, QStringLiteral("JEDNOTKY"), rates.recordUnit);

    // A store that cannot be written loses this run's settings; say so once, and close anyway.
    if (!settings.sync())
        m_parts.prompts.message(
            QStringLiteral("Nastavení programu nelze uložit:\n%1").arg(m_parts.settingsLocation),
            ErrorBoxCaption, PromptIcon::Warning, PromptButton::Ok, this);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void MainWindow::showRates()
{
    const PollCycle::Rates& rates = m_cycle.rates();
    ui->pa_zaznam->setText(QString::number(rates.recordPeriod));
    ui->pa_soubor->setText(QString::number(rates.filePeriod));
    ui->pa_jednotky->setText(rates.recordUnit == 1 ? QStringLiteral("s") : QStringLiteral("min"));
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

void MainWindow::showLinkState()
{
    const QString text = m_cycle.linkStatusText();
    ui->pa_spojeni->setText(text);
    // The panel's name says what it is; screen readers hear the state as its description.
    ui->pa_spojeni->setAccessibleDescription(text);
}

void MainWindow::tl_precistClick()
{
    m_cycle.readNow();
}

// What a live read brings back besides the image.
struct MainWindow::LiveRead {
    bool answered = false;
    bool portOpen = false;
    std::optional<LinkNotice> notice;
};

void MainWindow::readLive(PollCycle::Read purpose)
{
    std::shared_ptr<std::atomic<bool>> started;
    if (purpose == PollCycle::Read::Display) {
        if (m_waitingRead && !m_waitingRead->load())
            return;   // the read still waiting shows the values of its turn
        started = m_waitingRead = std::make_shared<std::atomic<bool>>(false);
    }
    core::postSequence(
        m_parts.runner, this, m_parts.image, core::ImageUse::LiveOnly,
        [started](core::Sequence& sequence) {
            if (started)
                started->store(true);
            LiveRead read;
            read.answered = sequence.readTable(TableLive);
            const Transport* port = sequence.link().transport();
            read.portOpen = port && port->isOpen();
            read.notice = sequence.finish().notice;
            return read;
        },
        {}, [this, purpose](const LiveRead& read) { showLiveRead(read, purpose); });
}

void MainWindow::showLiveRead(const LiveRead& read, PollCycle::Read purpose)
{
    // A failed read shows no box. The display keeps the last values read, greyed, and
    // their chart point is grey; the link panel says why and how old they are.
    showNotice(m_parts.prompts, read.notice);
    m_cycle.readDone(read.answered, read.portOpen);
    const LiveTable& live = m_parts.image.live;
    showLiveValues(liveDisplay(live), read.answered);
    if (read.answered) {
        AddChartPoint(live.meas);
    } else {
        ui->Chart1->setPenColour(StaleColour);
        AddChartPoint(live.meas);
        ui->Chart1->setPenColour(colourFromStored(PenColour));
    }
    showLinkState();
    if (purpose == PollCycle::Read::Sample)
        m_log.appendSample(ui->pa_measure->text(), ui->pa_sp->text(), ui->lb_yout->text(), ui->pa_porucha->text());
}

void MainWindow::afterJobs(std::function<void()> then)
{
    m_parts.runner.post(this, [](ControllerSession&, const StopRequest&) {}, std::move(then));
}

void MainWindow::Timer1Timer()
{
    // A tick that falls due while a job holds the line is lost, neither counted nor kept for
    // later, as it was while an exchange held the thread: the record period stretches alike.
    if (m_parts.runner.busy())
        return;
    m_cycle.tick();
}

bool MainWindow::askClearData()
{
    return m_parts.prompts.message(ClearDataQuestion, ClearDataCaption, PromptIcon::Warning,
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
        if (m_log.fileChosen())
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
    const DemoValues values = nextDemoValues(m_parts.random);
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

void MainWindow::StartNewLog()
{
    m_log.startNew();
    tl_precistClick();
    // With the default record speed this reads again and appends the first data line.
    m_cycle.sampleStep();
    // The points of these reads go with the old chart.
    afterJobs([this] {
        ui->Chart1->clear();
        m_cycle.restartCounters();
    });
}

void MainWindow::mn_novyClick()
{
    // Triggering the item toggled its check mark; the mark is the log's to set.
    ui->mn_novy->setChecked(m_log.fileChosen());
    StartNewLog();
    mn_ulozitjakoClick();
}

void MainWindow::mn_ulozitClick()
{
    m_log.save(this);
}

void MainWindow::mn_ulozitjakoClick()
{
    m_log.saveAs(this);
}

void MainWindow::mn_exitClick()
{
    mn_ulozitClick();
    m_parts.commands.closePort();
    close();
}

void MainWindow::mn_portClick()
{
    m_parts.commands.showPortDialog();
}

void MainWindow::mn_parametryClick()
{
    m_parts.commands.showParameters();
}

void MainWindow::mn_zaznamClick()
{
    m_parts.commands.showControllerRecord();
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
    if (!m_parts.commands.editChartSettings(fields))
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
    const std::optional<PollCycle::Rates> rates
        = m_parts.commands.editRecordSpeed(ui->pa_zaznam->text(), ui->pa_soubor->text(), m_cycle.rates().recordUnit);
    if (!rates)
        return;
    // The counters go on: a shorter period takes effect at the next handled second.
    m_cycle.setRates(*rates);
    showRates();
}

void MainWindow::mn_monitorClick()
{
    // Not modal: the monitor is there to watch the poll and the other windows' exchanges.
    if (!m_monitor)
        m_monitor = new TelegramMonitor(m_parts.traces, m_parts.clock, m_parts.prompts, this);
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

void MainWindow::mn_aboutClick()
{
    m_parts.commands.showAbout();
}

void MainWindow::mn_identClick()
{
    m_parts.commands.showIdentification();
}

void MainWindow::tl_barva_peraClick()
{
    // Not preset with the current pen; later points take the new colour.
    if (const auto rgb = m_parts.prompts.chooseColour(0x000000, this)) {
        PenColour = storedFromRgb(*rgb);
        showPenColour();
    }
}
