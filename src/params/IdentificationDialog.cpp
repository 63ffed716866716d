#include "IdentificationDialog.h"
#include "ui_IdentificationDialog.h"

#include "CodePage.h"
#include "DialogPlacement.h"
#include "Identification.h"
#include "ProgramPicture.h"
#include "Prompts.h"
#include "Telegram.h"

#include <QShowEvent>
#include <QTimer>

using namespace kv10;

IdentificationDialog::IdentificationDialog(TelegramLink& link, Prompts& prompts, Waiter& waiter, QWidget* parent)
    : QDialog(parent), ui(new Ui::IdentificationDialog), m_link(link), m_prompts(prompts), m_waiter(waiter)
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
    core::Sequence sequence(m_link, m_waiter);
    core::Identification found;
    const core::SequenceResult result = core::identify(sequence, found, core::ForeignDevice::Asked);
    const ControllerImage& image = m_link.image();
    const auto text = [](const std::array<char, 250>& buffer) { return fromWindows1250Buffer(buffer.data(), buffer.size()); };
    // A line whose read failed keeps what it showed.
    if (found.foreign)
        ui->lb_zarizeni->setText(QStringLiteral("jiné zařízení"));
    else if (found.typeRead)
        ui->lb_zarizeni->setText(text(image.deviceTypeText));
    if (found.versionRead || found.foreign)
        ui->lb_verze->setText(text(image.deviceVersionText));
    showNotice(m_prompts, result.notice);
    if (found.foreign)
        m_prompts.message(core::foreignDeviceMessage(image), QStringLiteral("ERROR"), PromptIcon::Warning,
                          PromptButton::Ok, nullptr);
}
