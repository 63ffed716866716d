#include "RecordSpeedDialog.h"

#include "ui_RecordSpeedDialog.h"

#include "EditChecks.h"
#include "NumberText.h"

#include <QKeyEvent>

using namespace kv10;

namespace {
const QString NotANumberText = QStringLiteral("Je nutné zadávat pouze číslice");
} // namespace

RecordSpeedDialog::RecordSpeedDialog(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::RecordSpeedDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(sizeHint().expandedTo(QSize(240, 236)));

    connect(ui->tl_ok, &QPushButton::clicked, this, &RecordSpeedDialog::tl_okClick);
    connect(ui->tl_cancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->ed_sample->installEventFilter(this);
    ui->ed_soubor->installEventFilter(this);
}

RecordSpeedDialog::~RecordSpeedDialog() = default;

void RecordSpeedDialog::preset(const QString& recordPeriodText, const QString& filePeriodText, int recordUnit)
{
    ui->ed_soubor->setText(filePeriodText);
    ui->ed_sample->setText(recordPeriodText);
    (recordUnit == 1 ? ui->rb_sec : ui->rb_min)->setChecked(true);
}

QString RecordSpeedDialog::recordPeriodText() const
{
    return ui->ed_sample->text();
}

int RecordSpeedDialog::recordPeriod() const
{
    return parseInteger(ui->ed_sample->text()).value_or(0);
}

QString RecordSpeedDialog::filePeriodText() const
{
    return ui->ed_soubor->text();
}

int RecordSpeedDialog::filePeriod() const
{
    return parseInteger(ui->ed_soubor->text()).value_or(0);
}

bool RecordSpeedDialog::parseNumber(QLineEdit& edit)
{
    return parseIntegerEdit(edit, m_prompts, NotANumberText, QStringLiteral("1"));
}

bool RecordSpeedDialog::checkRange(QLineEdit& edit, int low, int high)
{
    const QString text = QStringLiteral("Je nutné zadávat pouze čísla v rozsahu %1 až %2\n").arg(low).arg(high);
    return checkIntegerEditRange(edit, low, high, m_prompts, text, this);
}

void RecordSpeedDialog::enterPressed(QLineEdit& edit, int low, int high)
{
    if (!parseNumber(edit))
        return;
    if (checkRange(edit, low, high))
        ui->tl_ok->setFocus();
    else
        edit.setFocus();
}

void RecordSpeedDialog::tl_okClick()
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

void RecordSpeedDialog::keyPressEvent(QKeyEvent* event)
{
    if (!pressFocusedButton(*this, event->key()))
        QDialog::keyPressEvent(event);
}

bool RecordSpeedDialog::eventFilter(QObject* watched, QEvent* event)
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
