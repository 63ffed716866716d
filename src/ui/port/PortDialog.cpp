#include "PortDialog.h"
#include "ui_PortDialog.h"

#include "AppError.h"
#include "ErrorBox.h"
#include "IntegerSettings.h"
#include "Prompts.h"

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

} // namespace

PortDialog::PortDialog(ControllerSession& session, IntegerSettings& settings, Prompts& prompts, QWidget* parent)
    : QDialog(parent), ui(new Ui::PortDialog), m_session(session), m_settings(settings), m_prompts(prompts)
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

    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

PortDialog::~PortDialog()
{
    m_timer.stop();
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

template <typename Change>
void PortDialog::change(Change apply)
{
    try {
        apply();
    } catch (const AppError&) {
        showSettings();
        throw;
    }
    showSettings();
}

void PortDialog::FormCreate()
{
    m_session.loadSettings(m_settings);
    ui->cb_baudrate->clear();
    for (int rate : BaudRates)
        ui->cb_baudrate->addItem(QString::number(rate));
    const int com = m_session.comNumber();
    if (com >= 1 && com <= ComCount)
        m_deviceCom = com;
    showSettings();
    showDevice();

    change([this, com] { m_session.openPort(com); });
    takeSnapshot();
}

void PortDialog::FormShow()
{
    // DA may have changed elsewhere (the editor follows a station to its new address).
    ui->cb_da->setCurrentIndex(m_session.da());
    fillDeviceList();
    showDevice();
    takeSnapshot();
}

void PortDialog::FormClose()
{
    m_session.storeSettings(m_settings);
}

void PortDialog::showSettings()
{
    ui->cb_sa->setCurrentIndex(m_session.sa());
    ui->cb_da->setCurrentIndex(m_session.da());
    selectBaudItem(m_session.baudRate());
    const int com = m_session.comNumber();
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
            guarded([this] { cb_zarizeniApply(); });
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
    change([this, com] { m_session.chooseCom(com); });
}

void PortDialog::cb_baudrateChange()
{
    bool ok = false;
    const int rate = ui->cb_baudrate->currentText().toInt(&ok);
    if (!ok)
        return;
    change([this, rate] { m_session.setBaudRate(rate); });
}

void PortDialog::cb_daChange()
{
    m_session.setDA(ui->cb_da->currentIndex());
}

void PortDialog::cb_saChange()
{
    m_session.setSA(ui->cb_sa->currentIndex());
}

void PortDialog::cb_zarizeniApply()
{
    const int com = m_deviceCom;
    const QString path = ui->cb_zarizeni->currentText().trimmed();
    if (path.isEmpty())
        return;
    m_session.setDevicePath(com, path);
    change([this, com] { m_session.openPort(com); });
}

void PortDialog::showDevice()
{
    ui->Label6->setText(QStringLiteral("Zařízení pro COM %1:").arg(m_deviceCom));
    ui->cb_zarizeni->setEditText(m_session.devicePathFor(m_deviceCom));
}

void PortDialog::fillDeviceList()
{
    QStringList paths;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        paths << info.systemLocation();
    for (int com = 1; com <= ComCount; ++com)
        paths << m_session.devicePathFor(com);
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
    m_snapshot = m_session.snapshot();
}

void PortDialog::tl_cancelClick()
{
    if (m_session.snapshot().sameSettings(m_snapshot))
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
    try {
        change([this] { m_session.restore(m_snapshot); });
    } catch (const AppError&) {
        showDevice();
        throw;
    }
    showDevice();
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
    TelegramLink& link = m_session.link();
    const uint8_t rememberedDa = link.DA();
    const int address = m_probe;
    ui->str_tab->setCurrentCell(address / GridColumns, address % GridColumns);
    // The probe blocks the event loop; show the mark before it.
    ui->str_tab->viewport()->repaint();
    link.SetDA(uint8_t(address));
    if (link.PingStation())
        ui->str_tab->item(address / GridColumns, address % GridColumns)->setText(QString::number(address));
    showNotice(m_prompts, link.takeNotice());
    ++m_probe;
    link.SetDA(rememberedDa);
    if (m_probe >= SearchedAddresses)
        tl_prerusitClick();
}

void PortDialog::tl_prerusitClick()
{
    m_timer.stop();
    setSearchRunning(false);
}
