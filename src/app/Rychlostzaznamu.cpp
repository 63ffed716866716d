#include "Rychlostzaznamu.h"

#include "ui_Rychlostzaznamu.h"

#include "EditChecks.h"
#include "NumberText.h"

#include <QKeyEvent>

using namespace kv10;

namespace {
const QString NotANumberText = QStringLiteral("Je nutné zadávat pouze číslice");
} // namespace

Tform_zaznam::Tform_zaznam(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tform_zaznam>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(sizeHint().expandedTo(QSize(240, 236)));

    connect(ui->tl_ok, &QPushButton::clicked, this, &Tform_zaznam::tl_okClick);
    connect(ui->tl_cancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->ed_sample->installEventFilter(this);
    ui->ed_soubor->installEventFilter(this);
}

Tform_zaznam::~Tform_zaznam() = default;

void Tform_zaznam::preset(const QString& recordPeriodText, const QString& filePeriodText, int recordUnit)
{
    ui->ed_soubor->setText(filePeriodText);
    ui->ed_sample->setText(recordPeriodText);
    (recordUnit == 1 ? ui->rb_sec : ui->rb_min)->setChecked(true);
}

QString Tform_zaznam::recordPeriodText() const
{
    return ui->ed_sample->text();
}

int Tform_zaznam::recordPeriod() const
{
    return parseInteger(ui->ed_sample->text()).value_or(0);
}

QString Tform_zaznam::filePeriodText() const
{
    return ui->ed_soubor->text();
}

int Tform_zaznam::filePeriod() const
{
    return parseInteger(ui->ed_soubor->text()).value_or(0);
}

bool Tform_zaznam::parseNumber(QLineEdit& edit)
{
    return parseIntegerEdit(edit, m_prompts, NotANumberText, QStringLiteral("1"));
}

bool Tform_zaznam::checkRange(QLineEdit& edit, int low, int high)
{
    const QString text = QStringLiteral("Je nutné zadávat pouze čísla v rozsahu %1 až %2\n").arg(low).arg(high);
    return checkIntegerEditRange(edit, low, high, m_prompts, text, this);
}

void Tform_zaznam::enterPressed(QLineEdit& edit, int low, int high)
{
    if (!parseNumber(edit))
        return;
    if (checkRange(edit, low, high))
        ui->tl_ok->setFocus();
    else
        edit.setFocus();
}

void Tform_zaznam::tl_okClick()
{
    // Both checks run for each field: after a failed parse the field holds "1", which passes.
    bool recordValid = parseNumber(*ui->ed_sample);
    recordValid = checkRange(*ui->ed_sample, MinRecordPeriod, MaxRecordPeriod) && recordValid;
    if (!recordValid) {
        ui->PageControl1->setCurrentWidget(ui->TabSheet1);
        ui->ed_sample->setFocus();
    }
    bool fileValid = parseNumber(*ui->ed_soubor);
    fileValid = checkRange(*ui->ed_soubor, MinFilePeriod, MaxFilePeriod) && fileValid;
    if (!fileValid) {
        ui->PageControl1->setCurrentWidget(ui->TabSheet2);
        ui->ed_soubor->setFocus();
    }
    if (!recordValid || !fileValid)
        return;
    m_recordUnit = ui->rb_sec->isChecked() ? 1 : 60;
    accept();
}

void Tform_zaznam::keyPressEvent(QKeyEvent* event)
{
    if (!pressFocusedButton(*this, event->key()))
        QDialog::keyPressEvent(event);
}

bool Tform_zaznam::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && isEnterKey(static_cast<QKeyEvent*>(event)->key())) {
        if (watched == ui->ed_sample) {
            enterPressed(*ui->ed_sample, MinRecordPeriod, MaxRecordPeriod);
            return true;
        }
        if (watched == ui->ed_soubor) {
            enterPressed(*ui->ed_soubor, MinFilePeriod, MaxFilePeriod);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
