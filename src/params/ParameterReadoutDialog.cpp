#include "ParameterReadoutDialog.h"
#include "ui_ParameterReadoutDialog.h"

#include "CodePage.h"
#include "DialogPlacement.h"
#include "ParameterEditor.h"
#include "Prompts.h"
#include "SetTransfer.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

using namespace kv10;

namespace {

constexpr int TableWaitMs = 10;
constexpr int BlockWaitMs = 100;
constexpr int IdentifiedProgress = 20;
constexpr int VariantOneStep = 8;
constexpr int ProgramVariantStep = 7;

// What the editor shows before anything is read: a combo box by item index, an edit by text.
// The TIME page and the program entry fields keep what they hold.
struct ControlDefault { const char* control; const char* value; };
constexpr ControlDefault EditorDefaults[] = {
    {"cb_rala1", "0"}, {"cb_re1", "0"}, {"ed_splo1", "0"}, {"ed_sphi1", "100"}, {"ed_hyst1", "1"},
    {"cb_rala2", "0"}, {"cb_re2", "0"}, {"ed_splo2", "0"}, {"ed_sphi2", "100"}, {"ed_hyst2", "1"},
    {"ed_pb", "1"}, {"ed_ti", "100"}, {"ed_td", "1"}, {"cb_tune", "0"},
    {"cb_type", "0"}, {"cb_f2", "0"}, {"ed_dser", "60"}, {"ed_dead", "2"}, {"cb_tpid", "5"}, {"ed_ps", "0"},
    {"ed_per", "10"},
    {"ed_phea", "-2"}, {"ed_pcoo", "2"}, {"ed_hhea", "1"}, {"ed_hcoo", "1"}, {"cb_at", "1"},
    {"cb_onof_re1", "0"}, {"cb_onof_re2", "1"},
    {"ed_strs", "0"}, {"ed_ends", "100"}, {"ed_offs", "0"}, {"cb_sens", "4"}, {"cb_dp", "1"}, {"cb_komp", "1"},
    {"cb_ain", "0"}, {"cb_aout", "0"}, {"ed_astr", "0"}, {"ed_aend", "100"},
    {"cb_erro12", "0"}, {"cb_erro3", "0"}, {"cb_erro4", "0"}, {"cb_yout", "0"},
    {"ed_oplo", "0"}, {"ed_ophi", "100"}, {"ed_pass", "0"}, {"cb_filtr", "0"}, {"cb_loc", "0"},
    {"ed_adresa", "0"}, {"ed_zaznam", "60"},
    {"cb_go", "0"}, {"cb_pend", "0"}, {"cb_hold", "0"}, {"cb_puc", "0"}, {"ed_godate", "0"}, {"ed_gohour", "0"},
    {"ed_gomin", "0"},
    {"cb_prog_typ", "0"}, {"cb_prog_cis", "0"},
};

} // namespace

ParameterReadoutDialog::ParameterReadoutDialog(ParameterEditor& editor, TelegramLink& link, Prompts& prompts,
                                               Waiter& waiter, QWidget* parent)
    : QDialog(parent), ui(new Ui::ParameterReadoutDialog), m_editor(editor), m_link(link), m_prompts(prompts),
      m_waiter(waiter)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont large = ui->Label1->font();
    large.setPixelSize(16);
    ui->Label1->setFont(large);
    const QSize needed = sizeHint();
    setFixedSize(qMax(313, needed.width()), qMax(140, needed.height()));

    // Defers the work until the dialog is on screen.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(5);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &ParameterReadoutDialog::Timer1Timer);
}

ParameterReadoutDialog::~ParameterReadoutDialog()
{
    delete ui;
}

int ParameterReadoutDialog::FirmwareVariant() const
{
    return m_firmwareVariant;
}

void ParameterReadoutDialog::setVisible(bool visible)
{
    if (visible && !isVisible())
        moveToScreenCentre(*this);
    QDialog::setVisible(visible);
}

void ParameterReadoutDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void ParameterReadoutDialog::hideEvent(QHideEvent* event)
{
    Timer1->stop();
    QDialog::hideEvent(event);
}

void ParameterReadoutDialog::FormShow()
{
    ui->lb_verze->setText(QStringLiteral("neidentifikováno"));
    ui->bar_load->setValue(0);
    resetEditorControls();
    Timer1->start();
}

void ParameterReadoutDialog::resetEditorControls()
{
    for (const ControlDefault& preset : EditorDefaults) {
        const QString name = QString::fromLatin1(preset.control);
        if (auto* combo = m_editor.findChild<QComboBox*>(name)) {
            // Like a selection made by the program: no change event runs.
            const QSignalBlocker quiet(combo);
            combo->setCurrentIndex(QByteArray(preset.value).toInt());
        } else if (auto* edit = m_editor.findChild<QLineEdit*>(name)) {
            edit->setText(QString::fromLatin1(preset.value));
        }
    }
}

void ParameterReadoutDialog::Timer1Timer()
{
    Timer1->stop();
    ReadAllParameters();
    done(QDialog::Accepted);
}

void ParameterReadoutDialog::ReadAllParameters()
{
    const int pages = m_editor.pageControl().count();
    m_firmwareVariant = IdentifyFirmware();
    switch (m_firmwareVariant) {
    case 0:
        m_prompts.message(QStringLiteral("Chyba při čtení nebo neznámé zařízení"), QStringLiteral("Komunikace"),
                          PromptIcon::Error, PromptButton::Ok, nullptr);
        return;
    case 1:
        // The tables by number: COMP to ADD.
        readEach(pages - 2, [this](int table) {
            AdvanceProgress(VariantOneStep);
            return table;
        });
        return;
    default: {
        ReadCurrentProgram();
        // The pages after COMP, each by its table; TIME only where the firmware has a clock.
        const int lastPage = m_firmwareVariant == 2 ? pages - 2 : pages - 1;
        readEach(lastPage, [this](int step) {
            AdvanceProgress(ProgramVariantStep);
            m_editor.setActivePage(step + 1);
            return m_editor.pageTag(step + 1);
        });
        return;
    }
    }
}

int ParameterReadoutDialog::IdentifyFirmware()
{
    m_link.ReadTable(TableErro);
    m_waiter.waitMs(TableWaitMs);
    const bool typeRead = m_link.ReadDeviceType();
    QElapsedTimer pause;
    pause.start();
    if (typeRead)
        ui->lb_verze->setText(fromWindows1250Buffer(m_link.image().deviceTypeText.data(), m_link.image().deviceTypeText.size()));
    ui->bar_load->setValue(IdentifiedProgress);
    // The event loop does not run during the blocking reads: paint label and bar now, within the pause.
    ui->lb_verze->repaint();
    ui->bar_load->repaint();
    m_waiter.waitRest(TableWaitMs, pause);
    if (!m_link.ReadDeviceVersion())
        return 0;
    return sets::firmwareVariantOf(m_link.image().deviceVersionText.data());
}

bool ParameterReadoutDialog::ReadCurrentProgram()
{
    bool ok = m_link.ReadTable(TableProg);
    const ControllerImage& image = m_link.image();
    const int program = image.prog.c_pr;
    ok = m_link.ReadProgramBlock(0, program, TableComp) && ok;
    if (image.prog.prog == 0)
        return ok;
    m_waiter.waitMs(BlockWaitMs);
    ok = m_link.ReadProgramBlock(1, program, TableSegsp) && ok;
    m_waiter.waitMs(BlockWaitMs);
    ok = m_link.ReadProgramBlock(2, program, TableSegti) && ok;
    return ok;
}

void ParameterReadoutDialog::readEach(int count, const std::function<int(int)>& prepare)
{
    int table = prepare(0);
    for (int step = 0; step < count; ++step) {
        m_link.ReadTable(table);
        // The next step is shown during the pause, not after it.
        QElapsedTimer pause;
        pause.start();
        if (step + 1 < count)
            table = prepare(step + 1);
        m_waiter.waitRest(TableWaitMs, pause);
    }
}

void ParameterReadoutDialog::AdvanceProgress(int step)
{
    ui->bar_load->setValue(qMin(100, ui->bar_load->value() + step));
    ui->bar_load->repaint();
}
