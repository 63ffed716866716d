#include "IdentificationDialog.h"
#include "ui_IdentificationDialog.h"

#include "CodePage.h"
#include "DialogPlacement.h"
#include "Identification.h"
#include "ProgramPicture.h"
#include "Prompts.h"
#include "SequenceJob.h"

#include <QShowEvent>
#include <QTimer>

using namespace kv10;

IdentificationDialog::IdentificationDialog(SessionRunner& runner, ControllerImage& image, Prompts& prompts,
                                           QWidget* parent)
    : QDialog(parent), ui(new Ui::IdentificationDialog), m_runner(runner), m_image(image), m_prompts(prompts)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ui->ProgramIcon->setPixmap(programPicture(113));
    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    const QSize needed = sizeHint();
    setFixedSize(qMax(347, needed.width()), qMax(183, needed.height()));

    // The reads wait until the dialog has been on screen for a second.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &IdentificationDialog::Timer1Timer);
}

IdentificationDialog::~IdentificationDialog()
{
    delete ui;
}

void IdentificationDialog::setVisible(bool visible)
{
    if (visible && !isVisible())
        moveToScreenCentre(*this);
    QDialog::setVisible(visible);
}

void IdentificationDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window restored from minimised is shown again by the window system: no new identification.
    if (!event->spontaneous())
        FormShow();
}

void IdentificationDialog::hideEvent(QHideEvent* event)
{
    Timer1->stop();
    if (m_job)
        m_job->request();
    QDialog::hideEvent(event);
}

void IdentificationDialog::FormShow()
{
    Timer1->start();
}

void IdentificationDialog::Timer1Timer()
{
    Timer1->stop();
    Identify();
}

void IdentificationDialog::Identify()
{
    const StopHandle stop = std::make_shared<StopRequest>();
    m_job = stop;
    // The image goes along: what the identification does not read stays as the windows hold it.
    core::postSequence(
        m_runner, this, m_image, core::ImageUse::Whole,
        [](core::Sequence& sequence) {
            core::IdentifiedResult outcome;
            outcome.result = core::identify(sequence, outcome.found, core::ForeignDevice::Asked);
            return outcome;
        },
        {},
        [this, stop](const core::IdentifiedResult& outcome) {
            showNotice(m_prompts, outcome.result.notice);
            // Closed meanwhile: nobody asks any more, and what came may be a part only.
            if (stop->requested())
                return;
            const core::Identification& found = outcome.found;
            const auto text = [](const std::array<char, 250>& buffer) {
                return fromWindows1250Buffer(buffer.data(), buffer.size());
            };
            // A line whose read failed keeps what it showed.
            if (found.foreign)
                ui->lb_zarizeni->setText(QStringLiteral("jiné zařízení"));
            else if (found.typeRead)
                ui->lb_zarizeni->setText(text(m_image.deviceTypeText));
            if (found.versionRead || found.foreign)
                ui->lb_verze->setText(text(m_image.deviceVersionText));
            if (found.foreign)
                m_prompts.message(core::foreignDeviceMessage(m_image), QStringLiteral("ERROR"), PromptIcon::Warning,
                                  PromptButton::Ok, nullptr);
        },
        stop);
}
