#include "IdentificationDialog.h"
#include "ui_IdentificationDialog.h"

#include "CodePage.h"
#include "DialogPlacement.h"
#include "ProgramPicture.h"
#include "Prompts.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cstring>

using namespace kv10;

namespace {

constexpr int ReadWaitMs = 10;
constexpr int ForeignFieldBytes = 32;
constexpr int MessageBufferBytes = 255;

// The sentence and the three 32-byte fields of the foreign identification, each behind a line
// break, at fixed places in a zeroed buffer: the text ends at the first zero, so a field
// shorter than 32 characters ends the message there.
QString foreignDeviceMessage(const std::array<char, 255>& fields)
{
    const QByteArray sentence = toWindows1250(u"Identifikováno zařízení pro které je nutné použít jiný software");
    std::array<char, MessageBufferBytes> buffer{};
    size_t at = std::min<size_t>(size_t(sentence.size()), 63);
    std::memcpy(buffer.data(), sentence.constData(), at);
    for (int field = 0; field < 3; ++field) {
        buffer[at++] = '\r';
        std::memcpy(buffer.data() + at, fields.data() + field * ForeignFieldBytes, ForeignFieldBytes);
        at += ForeignFieldBytes;
    }
    // A lone carriage return breaks no line in a Qt label.
    return fromWindows1250Buffer(buffer.data(), buffer.size()).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

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
    ControllerImage& image = m_link.image();
    m_link.ReadTable(TableErro);
    m_waiter.waitMs(ReadWaitMs);
    int answered = 0;
    if (m_link.ReadDeviceType()) {
        ui->lb_zarizeni->setText(fromWindows1250Buffer(image.deviceTypeText.data(), image.deviceTypeText.size()));
        ++answered;
    }
    m_waiter.waitMs(ReadWaitMs);
    if (m_link.ReadDeviceVersion()) {
        ui->lb_verze->setText(fromWindows1250Buffer(image.deviceVersionText.data(), image.deviceVersionText.size()));
        ++answered;
    }
    m_waiter.waitMs(ReadWaitMs);
    if (answered != 0 || !m_link.ReadForeignIdent())
        return;

    const QString message = foreignDeviceMessage(image.foreignIdentText);
    ui->lb_zarizeni->setText(QStringLiteral("jiné zařízení"));
    image.deviceVersionText.fill(0);
    std::memcpy(image.deviceVersionText.data(), image.foreignIdentText.data() + 2 * ForeignFieldBytes,
                ForeignFieldBytes);
    ui->lb_verze->setText(fromWindows1250Buffer(image.deviceVersionText.data(), image.deviceVersionText.size()));
    m_prompts.message(message, QStringLiteral("ERROR"), PromptIcon::Warning, PromptButton::Ok, nullptr);
}
