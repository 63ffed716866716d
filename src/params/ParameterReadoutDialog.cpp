#include "ParameterReadoutDialog.h"
#include "ui_ParameterReadoutDialog.h"

#include "DialogPlacement.h"
#include "ParameterEditor.h"
#include "ParameterReadout.h"
#include "Prompts.h"
#include "SequenceJob.h"

#include <QTimer>

using namespace kv10;

ParameterReadoutDialog::ParameterReadoutDialog(ParameterEditor& editor, SessionRunner& runner, ControllerImage& image,
                                               Prompts& prompts, QWidget* parent)
    : QDialog(parent), ui(new Ui::ParameterReadoutDialog), m_editor(editor), m_runner(runner), m_image(image),
      m_prompts(prompts)
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
    if (m_job)
        m_job->request();
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
    readAll(true);
}

void ParameterReadoutDialog::ReadAllParameters()
{
    readAll(false);
}

void ParameterReadoutDialog::readAll(bool thenClose)
{
    const StopHandle stop = std::make_shared<StopRequest>();
    m_job = stop;
    // The image goes along: what the read-out does not read stays as the windows hold it.
    core::postSequence(
        m_runner, this, m_image, core::ImageUse::Whole,
        [](core::Sequence& sequence) {
            core::IdentifiedResult outcome;
            outcome.result = core::readParameters(sequence, outcome.found);
            return outcome;
        },
        [this](const core::Progress& step) {
            if (step.text)
                ui->lb_verze->setText(*step.text);
            ui->bar_load->setValue(step.position);
        },
        [this, stop, thenClose](const core::IdentifiedResult& outcome) {
            showNotice(m_prompts, outcome.result.notice);
            // Closed while it read: the image holds a part of the set only, and the editor
            // must not open on it as if it were whole.
            if (stop->requested()) {
                m_prompts.message(QStringLiteral("Čtení parametrů přerušeno."), QStringLiteral("Komunikace"),
                                  PromptIcon::Information, PromptButton::Ok, nullptr);
                return;
            }
            m_firmwareVariant = outcome.found.variant;
            if (m_firmwareVariant == 0)
                m_prompts.message(QStringLiteral("Chyba při čtení nebo neznámé zařízení"), QStringLiteral("Komunikace"),
                                  PromptIcon::Error, PromptButton::Ok, nullptr);
            if (thenClose)
                done(QDialog::Accepted);
        },
        stop);
}
