#include "PortDialog.h"
#include "ui_PortDialog.h"

#include "AppError.h"
#include "ErrorBox.h"
#include "IntegerSettings.h"
#include "LinkNotice.h"
#include "Prompts.h"
#include "Telegram.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QShowEvent>
#include <QTableWidgetItem>
#include <initializer_list>

using namespace kv10;

namespace {

constexpr int GridColumns = 16;
constexpr int GridRows = 8;
constexpr int CellWidth = 26;
constexpr int CellHeight = 16;
constexpr int SearchIntervalMs = 100;

// What one probe of the address search found.
struct Probe {
    bool answered = false;
    std::optional<LinkNotice> notice;
};

} // namespace

PortDialog::PortDialog(SessionRunner& runner, IntegerSettings& settings, Prompts& prompts, QWidget* parent)
    : QDialog(parent), ui(new Ui::PortDialog), m_runner(runner), m_settings(settings), m_prompts(prompts)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    for (int address = 0; address <= HighestStationAddress; ++address) {
        ui->cb_da->addItem(QString::number(address));
        ui->cb_sa->addItem(QString::number(address));
    }
    ui->cb_da->setMaxVisibleItems(16);
    ui->cb_sa->setMaxVisibleItems(16);

    QTableWidget* grid = ui->str_tab;
    // The grid only shows the search; it takes no input.
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setAttribute(Qt::WA_TransparentForMouseEvents);
    // "126" has to fit a 26 x 16 cell.
    QFont cellFont = grid->font();
    cellFont.setPixelSize(11);
    grid->setFont(cellFont);
    grid->setTextElideMode(Qt::ElideNone);
    for (int row = 0; row < GridRows; ++row)
        for (int column = 0; column < GridColumns; ++column) {
            auto* cell = new QTableWidgetItem();
            cell->setTextAlignment(Qt::AlignCenter);
            grid->setItem(row, column, cell);
        }
    for (int column = 0; column < GridColumns; ++column)
        grid->setColumnWidth(column, CellWidth);
    for (int row = 0; row < GridRows; ++row)
        grid->setRowHeight(row, CellHeight);
    const int frame = 2 * grid->frameWidth();
    grid->setFixedSize(GridColumns * CellWidth + frame, GridRows * CellHeight + frame);

#ifdef Q_OS_WIN
    // Windows names the device after the COM number itself.
    ui->Label6->hide();
    ui->cb_zarizeni->hide();
    ui->tl_pouzit->hide();
#endif

    m_timer.setInterval(SearchIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &PortDialog::Timer1Timer);
    connect(ui->cb_com, &QComboBox::activated, this, &PortDialog::cb_comChange);
    connect(ui->cb_baudrate, &QComboBox::activated, this, &PortDialog::cb_baudrateChange);
    connect(ui->cb_da, &QComboBox::activated, this, &PortDialog::cb_daChange);
    connect(ui->cb_sa, &QComboBox::activated, this, &PortDialog::cb_saChange);
    connect(ui->cb_zarizeni, &QComboBox::activated, this, &PortDialog::cb_zarizeniApply);
    connect(ui->tl_pouzit, &QPushButton::clicked, this, &PortDialog::cb_zarizeniApply);
    // Enter in the device field applies the path instead of pressing "OK".
    ui->cb_zarizeni->lineEdit()->installEventFilter(this);
    connect(ui->tl_najit, &QPushButton::clicked, this, &PortDialog::tl_najitClick);
    connect(ui->tl_prerusit, &QPushButton::clicked, this, &PortDialog::tl_prerusitClick);
    connect(ui->tl_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->tl_cancel, &QPushButton::clicked, this, [this] {
        // The dialog closes with Cancel at once; going back goes on without it, and the
        // settings are stored when it has returned.
        tl_cancelClick();
        reject();
    });

    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

PortDialog::~PortDialog()
{
    m_timer.stop();
    dropProbe();
    delete ui;
}

void PortDialog::change(Change apply, std::function<void(const Outcome&)> show)
{
    if (m_changes++ == 0)
        m_focused = QApplication::focusWidget();
    updateControls();
    m_runner.post(
        this,
        [apply = std::move(apply)](ControllerSession& session, const StopRequest&) {
            Outcome outcome;
            try {
                apply(session);
            } catch (const AppError& error) {
                outcome.error = error.text();
            }
            outcome.state = session.snapshot();
            return outcome;
        },
        [this, show = std::move(show)](const Outcome& outcome) {
            m_state = outcome.state;
            --m_changes;
            updateControls();
            if (show)
                show(outcome);
            else
                showSettings();
            if (outcome.error)
                showErrorBox(m_prompts, *outcome.error);
            if (m_changes == 0 && m_storeWhenDone) {
                m_storeWhenDone = false;
                storeSettings();
            }
        });
}

void PortDialog::FormCreate()
{
    // The store is read here, on its own thread; the session takes what it holds.
    const ControllerSession::StoredSettings stored = ControllerSession::readSettings(m_settings);
    ui->cb_baudrate->clear();
    for (int rate : ControllerSession::BaudRates)
        ui->cb_baudrate->addItem(QString::number(rate));
    if (stored.com >= 1 && stored.com <= ComCount)
        m_deviceCom = stored.com;
    change(
        [stored](ControllerSession& session) {
            session.useSettings(stored);
            session.openPort(stored.com);
        },
        [this](const Outcome& outcome) {
            showSettings();
            showDevice();
            if (!outcome.error)
                takeSnapshot();
        });
}

void PortDialog::FormShow()
{
    // DA may have changed elsewhere (the editor follows a station to its new address).
    change([](ControllerSession&) {},
           [this](const Outcome&) {
               ui->cb_da->setCurrentIndex(m_state.da);
               fillDeviceList();
               showDevice();
               takeSnapshot();
           });
}

void PortDialog::FormClose()
{
    if (m_changes > 0)
        m_storeWhenDone = true;
    else
        storeSettings();
}

void PortDialog::storeSettings()
{
    ControllerSession::writeSettings(m_state, m_settings);
    if (m_state.com == 0) {
        // Stored as COM 1, and held so from now on; the open port stays as it is.
        m_state.com = 1;
        m_runner.post(this, [](ControllerSession& session, const StopRequest&) { session.keepNoPortAsCom1(); },
                      [] {});
    }
}

void PortDialog::showSettings()
{
    ui->cb_sa->setCurrentIndex(m_state.sa);
    ui->cb_da->setCurrentIndex(m_state.da);
    selectBaudItem(m_state.baudRate);
    const int com = m_state.com;
    ui->cb_com->setCurrentIndex(com >= 0 && com <= ComCount ? com : -1);
}

void PortDialog::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void PortDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void PortDialog::keyPressEvent(QKeyEvent* event)
{
    // Esc presses "Storno", which offers to undo the changes; while it is disabled, nothing.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (ui->tl_cancel->isEnabled())
            ui->tl_cancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool PortDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->cb_zarizeni->lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cb_zarizeniApply();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void PortDialog::cb_comChange()
{
    const int com = ui->cb_com->currentIndex();
    if (com != 0) {
        m_deviceCom = com;
        showDevice();
    }
    change([com](ControllerSession& session) { session.chooseCom(com); });
}

void PortDialog::cb_baudrateChange()
{
    bool ok = false;
    const int rate = ui->cb_baudrate->currentText().toInt(&ok);
    if (!ok)
        return;
    change([rate](ControllerSession& session) { session.setBaudRate(rate); });
}

void PortDialog::cb_daChange()
{
    const int da = ui->cb_da->currentIndex();
    change([da](ControllerSession& session) { session.setDA(da); });
}

void PortDialog::cb_saChange()
{
    const int sa = ui->cb_sa->currentIndex();
    change([sa](ControllerSession& session) { session.setSA(sa); });
}

void PortDialog::cb_zarizeniApply()
{
    const int com = m_deviceCom;
    const QString path = ui->cb_zarizeni->currentText().trimmed();
    if (path.isEmpty())
        return;
    change([com, path](ControllerSession& session) {
        session.setDevicePath(com, path);
        session.openPort(com);
    });
}

void PortDialog::showDevice()
{
    ui->Label6->setText(QStringLiteral("Zařízení pro COM %1:").arg(m_deviceCom));
    ui->cb_zarizeni->setEditText(m_state.devicePathFor(m_deviceCom));
}

void PortDialog::fillDeviceList()
{
    QStringList paths;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        paths << info.systemLocation();
    for (int com = 1; com <= ComCount; ++com)
        paths << m_state.devicePathFor(com);
    paths.removeDuplicates();
    paths.sort();
    const QString shown = ui->cb_zarizeni->currentText();
    ui->cb_zarizeni->clear();
    ui->cb_zarizeni->addItems(paths);
    ui->cb_zarizeni->setEditText(shown);
}

void PortDialog::selectBaudItem(int baudRate)
{
    ui->cb_baudrate->setCurrentIndex(ui->cb_baudrate->findText(QString::number(baudRate)));
}

void PortDialog::takeSnapshot()
{
    m_snapshot = m_state;
}

void PortDialog::tl_cancelClick()
{
    if (m_state.sameSettings(m_snapshot))
        return;
    const PromptButton answer = m_prompts.message(
        QStringLiteral("Byly provedeny změny v nastavení.\nOpravdu se chceš vrátit k původnímu nastavení?"),
        QStringLiteral("Dotaz"), PromptIcon::Question, PromptButton::Yes | PromptButton::No, this);
    if (answer != PromptButton::Yes) {
        takeSnapshot();
        return;
    }
    // The device field follows the port chosen again (it already shows it when that is the same).
    if (m_snapshot.com >= 1 && m_snapshot.com <= ComCount)
        m_deviceCom = m_snapshot.com;
    change([old = m_snapshot](ControllerSession& session) { session.restore(old); },
           [this](const Outcome&) {
               showSettings();
               showDevice();
           });
}

void PortDialog::updateControls()
{
    const bool searching = m_timer.isActive();
    const bool free = !searching && m_changes == 0;
    ui->tl_prerusit->setEnabled(searching);
    ui->tl_najit->setEnabled(m_changes == 0);
    const std::initializer_list<QWidget*> controls = {ui->tl_ok, ui->tl_cancel, ui->cb_sa, ui->cb_da,
                                                      ui->cb_com, ui->cb_baudrate, ui->cb_zarizeni, ui->tl_pouzit};
    for (QWidget* control : controls)
        control->setEnabled(free);
    // A control disabled under the focus gave it away: it takes it back.
    if (m_changes == 0 && m_focused && m_focused->isEnabled() && QApplication::focusWidget() != m_focused
        && isActiveWindow())
        m_focused->setFocus();
    if (m_changes == 0)
        m_focused.clear();
}

void PortDialog::setCellText(int address, const QString& text)
{
    ui->str_tab->item(address / GridColumns, address % GridColumns)->setText(text);
}

void PortDialog::tl_najitClick()
{
    dropProbe();
    for (int address = 0; address < SearchedAddresses; ++address)
        setCellText(address, QStringLiteral(" "));
    m_probe = 0;
    m_timer.start();
    updateControls();
}

void PortDialog::Timer1Timer()
{
    // Ticks that fall due while a probe is under way merge into one.
    if (m_probing != 0)
        return;
    if (m_probe >= SearchedAddresses) {
        tl_prerusitClick();
        return;
    }
    const int address = m_probe;
    ui->str_tab->setCurrentCell(address / GridColumns, address % GridColumns);
    const int number = ++m_probes;
    m_probing = number;
    const StopHandle stop = m_runner.post(
        this,
        [address](ControllerSession& session, const StopRequest& request) {
            Probe probe;
            if (request.requested())
                return probe;
            // The probe leaves DA as it found it.
            TelegramLink& link = session.link();
            const uint8_t rememberedDa = link.DA();
            link.SetDA(uint8_t(address));
            probe.answered = link.PingStation();
            probe.notice = link.takeNotice();
            link.SetDA(rememberedDa);
            return probe;
        },
        [this, number, address](const Probe& probe) {
            if (number != m_probing)
                return;   // the search was stopped or started again meanwhile
            m_probing = 0;
            m_probeStop.reset();
            if (probe.answered)
                setCellText(address, QString::number(address));
            showNotice(m_prompts, probe.notice);
            ++m_probe;
            if (m_probe >= SearchedAddresses)
                tl_prerusitClick();
        });
    if (m_probing == number)
        m_probeStop = stop;
}

void PortDialog::dropProbe()
{
    if (m_probeStop)
        m_probeStop->request();
    m_probeStop.reset();
    m_probing = 0;
}

void PortDialog::tl_prerusitClick()
{
    m_timer.stop();
    dropProbe();
    updateControls();
}
