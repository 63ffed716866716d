#include "PortDialog.h"
#include "ui_PortDialog.h"

#include "AppError.h"
#include "ErrorBox.h"
#include "IntegerSettings.h"
#include "Prompts.h"
#include "Telegram.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QShowEvent>
#include <QTableWidgetItem>
#include <initializer_list>

using namespace kv10;

namespace {

const QString Port = QStringLiteral("PORT");
const QString Adresa = QStringLiteral("ADRESA");
constexpr int GridColumns = 16;
constexpr int GridRows = 8;
constexpr int CellWidth = 26;
constexpr int CellHeight = 16;
constexpr int SearchIntervalMs = 100;

QString comName(int com)
{
    return QStringLiteral("COM%1").arg(com);
}

QString defaultDevicePath(int com)
{
    return comDevicePath(com);
}

QString deviceKey(int com)
{
    return QStringLiteral("DEVICE%1").arg(com);
}

// Stored bus addresses outside 0-126 are not usable; they take the default 0.
int busAddress(int stored)
{
    return stored >= 0 && stored <= HighestStationAddress ? stored : 0;
}

} // namespace

PortDialog::PortDialog(IntegerSettings& settings, TelegramLink& link, Prompts& prompts, QWidget* parent)
    : QDialog(parent), ui(new Ui::PortDialog), m_settings(settings), m_link(link), m_prompts(prompts)
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
    connect(&m_timer, &QTimer::timeout, this, [this] { guarded([this] { Timer1Timer(); }); });
    connect(ui->cb_com, &QComboBox::activated, this, [this] { guarded([this] { cb_comChange(); }); });
    connect(ui->cb_baudrate, &QComboBox::activated, this, [this] { guarded([this] { cb_baudrateChange(); }); });
    connect(ui->cb_da, &QComboBox::activated, this, [this] { guarded([this] { cb_daChange(); }); });
    connect(ui->cb_sa, &QComboBox::activated, this, [this] { guarded([this] { cb_saChange(); }); });
    connect(ui->cb_zarizeni, &QComboBox::activated, this, [this] { guarded([this] { cb_zarizeniApply(); }); });
    connect(ui->tl_pouzit, &QPushButton::clicked, this, [this] { guarded([this] { cb_zarizeniApply(); }); });
    // Enter in the device field applies the path instead of pressing "OK".
    ui->cb_zarizeni->lineEdit()->installEventFilter(this);
    connect(ui->tl_najit, &QPushButton::clicked, this, &PortDialog::tl_najitClick);
    connect(ui->tl_prerusit, &QPushButton::clicked, this, &PortDialog::tl_prerusitClick);
    connect(ui->tl_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->tl_cancel, &QPushButton::clicked, this, [this] {
        // The dialog closes with Cancel even when restoring the old port fails.
        guarded([this] { tl_cancelClick(); });
        reject();
    });

    m_link.setTransport(&m_transport);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

PortDialog::~PortDialog()
{
    m_timer.stop();
    if (m_link.transport() == &m_transport || m_link.transport() == m_overrideTransport)
        m_link.setTransport(nullptr);
    delete ui;
}

template <typename Handler>
void PortDialog::guarded(Handler handler)
{
    try {
        handler();
    } catch (const AppError& error) {
        showErrorBox(m_prompts, error.text());
    }
}

void PortDialog::FormCreate()
{
    m_sa = busAddress(m_settings.readInteger(Adresa, QStringLiteral("SA"), 0));
    m_da = busAddress(m_settings.readInteger(Adresa, QStringLiteral("DA"), 0));
    m_comNumber = m_settings.readInteger(Port, QStringLiteral("COM"), 1);
    m_baudRate = m_settings.readInteger(Port, QStringLiteral("BAUDRATE"), 9600);
#ifndef Q_OS_WIN
    for (int com = 1; com <= ComCount; ++com) {
        m_storedDevices[com] = m_settings.readText(Port, deviceKey(com), defaultDevicePath(com));
        if (m_devices[com].isEmpty())
            m_devices[com] = m_storedDevices[com];
    }
#endif

    ui->cb_sa->setCurrentIndex(m_sa);
    m_link.SetSA(uint8_t(m_sa));
    ui->cb_da->setCurrentIndex(m_da);
    m_link.SetDA(uint8_t(m_da));

    ui->cb_baudrate->clear();
    for (int rate : BaudRates)
        ui->cb_baudrate->addItem(QString::number(rate));
    selectBaudItem(m_baudRate);

    ui->cb_com->setCurrentIndex(m_comNumber >= 0 && m_comNumber <= ComCount ? m_comNumber : -1);
    if (m_comNumber >= 1 && m_comNumber <= ComCount)
        m_deviceCom = m_comNumber;
    showDevice();

    OpenPort(m_comNumber);
    takeSnapshot();
}

void PortDialog::FormShow()
{
    m_da = m_link.DA();
    ui->cb_da->setCurrentIndex(m_da);
    fillDeviceList();
    showDevice();
    takeSnapshot();
}

void PortDialog::FormClose()
{
    m_settings.writeInteger(Adresa, QStringLiteral("SA"), m_sa);
    m_settings.writeInteger(Adresa, QStringLiteral("DA"), m_da);
    m_settings.writeInteger(Port, QStringLiteral("BAUDRATE"), m_baudRate);
    // "žádný port" is not kept: the next start tries COM 1. The open port stays as it is.
    if (m_comNumber == 0)
        m_comNumber = 1;
    m_settings.writeInteger(Port, QStringLiteral("COM"), m_comNumber);
#ifndef Q_OS_WIN
    for (int com = 1; com <= ComCount; ++com)
        m_settings.writeText(Port, deviceKey(com), m_storedDevices[com]);
#endif
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
            guarded([this] { cb_zarizeniApply(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString PortDialog::devicePathFor(int com) const
{
    if (com >= 1 && com <= ComCount && !m_devices[com].isEmpty())
        return m_devices[com];
    return com >= 1 ? defaultDevicePath(com) : QString();
}

void PortDialog::setDeviceOverride(int com, const QString& path)
{
    if (com >= 1 && com <= ComCount)
        m_devices[com] = path;
}

void PortDialog::setTransportOverride(int com, kv10::Transport* transport)
{
    m_overrideCom = com;
    m_overrideTransport = transport;
}

void PortDialog::OpenPort(int com)
{
    if (m_overrideTransport && com == m_overrideCom) {
        m_transport.ClosePort();
        m_link.setTransport(m_overrideTransport);
        return;
    }
    m_link.setTransport(&m_transport);
    try {
        m_transport.OpenPort(devicePathFor(com), comName(com), m_baudRate);
    } catch (const AppError&) {
        selectNoPort();
        throw;
    }
}

void PortDialog::ApplyLineSettings()
{
    try {
        m_transport.SetBaudRate(m_baudRate);
    } catch (const AppError&) {
        selectNoPort();
        throw;
    }
}

void PortDialog::ClosePort()
{
    m_transport.ClosePort();
}

void PortDialog::selectNoPort()
{
    ui->cb_com->setCurrentIndex(0);
    m_comNumber = 0;
}

void PortDialog::cb_comChange()
{
    m_comNumber = ui->cb_com->currentIndex();
    // "žádný port" only changes the setting; the open port stays open, but once its device
    // fails it is no longer the user's choice and is not tried again.
    if (m_comNumber == 0)
        m_transport.setRetryFailedDevice(false);
    if (m_comNumber != 0) {
        m_deviceCom = m_comNumber;
        showDevice();
        ClosePort();
        OpenPort(m_comNumber);
    }
}

void PortDialog::cb_baudrateChange()
{
    bool ok = false;
    const int rate = ui->cb_baudrate->currentText().toInt(&ok);
    if (!ok)
        return;
    m_baudRate = rate;
    ApplyLineSettings();
}

void PortDialog::cb_daChange()
{
    m_da = ui->cb_da->currentIndex();
    m_link.SetDA(uint8_t(m_da));
}

void PortDialog::cb_saChange()
{
    m_sa = ui->cb_sa->currentIndex();
    m_link.SetSA(uint8_t(m_sa));
}

void PortDialog::cb_zarizeniApply()
{
    const int com = m_deviceCom;
    const QString path = ui->cb_zarizeni->currentText().trimmed();
    if (path.isEmpty())
        return;
    m_devices[com] = path;
    m_storedDevices[com] = path;
    ui->cb_com->setCurrentIndex(com);
    m_comNumber = com;
    ClosePort();
    OpenPort(com);
}

void PortDialog::showDevice()
{
    ui->Label6->setText(QStringLiteral("Zařízení pro COM %1:").arg(m_deviceCom));
    ui->cb_zarizeni->setEditText(devicePathFor(m_deviceCom));
}

void PortDialog::fillDeviceList()
{
    QStringList paths;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        paths << info.systemLocation();
    for (int com = 1; com <= ComCount; ++com)
        if (!m_devices[com].isEmpty())
            paths << m_devices[com];
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

PortDialog::Snapshot PortDialog::current() const
{
    return Snapshot{m_comNumber, m_baudRate, m_da, m_sa, m_devices};
}

void PortDialog::takeSnapshot()
{
    m_snapshot = current();
    m_snapshotStoredDevices = m_storedDevices;
}

void PortDialog::tl_cancelClick()
{
    const Snapshot now = current();
    if (now == m_snapshot)
        return;
    const PromptButton answer = m_prompts.message(
        QStringLiteral("Byly provedeny změny v nastavení.\nOpravdu se chceš vrátit k původnímu nastavení?"),
        QStringLiteral("Dotaz"), PromptIcon::Question, PromptButton::Yes | PromptButton::No, this);
    if (answer != PromptButton::Yes) {
        takeSnapshot();
        return;
    }
    const Snapshot old = m_snapshot;
    const bool devicesChanged = now.devices != old.devices;
    m_devices = old.devices;
    m_storedDevices = m_snapshotStoredDevices;
    showDevice();
    if (now.com != old.com || (devicesChanged && old.com != 0)) {
        ui->cb_com->setCurrentIndex(old.com);
        cb_comChange();
    }
    if (now.baudRate != old.baudRate) {
        selectBaudItem(old.baudRate);
        // A rate that is not in the list is restored all the same.
        m_baudRate = old.baudRate;
        ApplyLineSettings();
    }
    if (now.da != old.da) {
        ui->cb_da->setCurrentIndex(old.da);
        cb_daChange();
    }
    if (now.sa != old.sa) {
        ui->cb_sa->setCurrentIndex(old.sa);
        cb_saChange();
    }
}

void PortDialog::setSearchRunning(bool running)
{
    ui->tl_prerusit->setEnabled(running);
    const std::initializer_list<QWidget*> controls = {ui->tl_ok, ui->tl_cancel, ui->cb_sa, ui->cb_da,
                                                      ui->cb_com, ui->cb_baudrate, ui->cb_zarizeni, ui->tl_pouzit};
    for (QWidget* control : controls)
        control->setEnabled(!running);
}

void PortDialog::tl_najitClick()
{
    setSearchRunning(true);
    for (int address = 0; address < SearchedAddresses; ++address)
        ui->str_tab->item(address / GridColumns, address % GridColumns)->setText(QStringLiteral(" "));
    m_probe = 0;
    m_timer.start();
}

void PortDialog::Timer1Timer()
{
    if (m_probe >= SearchedAddresses) {
        tl_prerusitClick();
        return;
    }
    const uint8_t rememberedDa = m_link.DA();
    const int address = m_probe;
    ui->str_tab->setCurrentCell(address / GridColumns, address % GridColumns);
    // The probe blocks the event loop; show the mark before it.
    ui->str_tab->viewport()->repaint();
    m_link.SetDA(uint8_t(address));
    if (m_link.PingStation())
        ui->str_tab->item(address / GridColumns, address % GridColumns)->setText(QString::number(address));
    showNotice(m_prompts, m_link.takeNotice());
    ++m_probe;
    m_link.SetDA(rememberedDa);
    if (m_probe >= SearchedAddresses)
        tl_prerusitClick();
}

void PortDialog::tl_prerusitClick()
{
    m_timer.stop();
    setSearchRunning(false);
}
