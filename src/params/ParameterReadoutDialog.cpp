#include "ParameterReadoutDialog.h"
#include "ui_ParameterReadoutDialog.h"

#include "DialogPlacement.h"
#include "ParameterEditor.h"
#include "ParameterReadout.h"
#include "Prompts.h"
#include "Telegram.h"

#include <QTimer>

using namespace kv10;

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
    m_editor.resetControls();
    Timer1->start();
}

void ParameterReadoutDialog::Timer1Timer()
{
    Timer1->stop();
    ReadAllParameters();
    done(QDialog::Accepted);
}

void ParameterReadoutDialog::ReadAllParameters()
{
    core::Steering steering;
    steering.progress = [this](const core::Progress& step) {
        if (step.text)
            ui->lb_verze->setText(*step.text);
        ui->bar_load->setValue(step.position);
        // The event loop does not run during the blocking reads: paint label and bar now.
        ui->lb_verze->repaint();
        ui->bar_load->repaint();
    };
    core::Sequence sequence(m_link, m_waiter, std::move(steering));
    core::Identification found;
    const core::SequenceResult result = core::readParameters(sequence, found);
    m_firmwareVariant = found.variant;
    showNotice(m_prompts, result.notice);
    if (m_firmwareVariant == 0)
        m_prompts.message(QStringLiteral("Chyba při čtení nebo neznámé zařízení"), QStringLiteral("Komunikace"),
                          PromptIcon::Error, PromptButton::Ok, nullptr);
}
