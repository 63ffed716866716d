#include "ChartSettingsDialog.h"

#include "ui_ChartSettingsDialog.h"

#include "EditChecks.h"
#include "NumberText.h"
#include "StoredColour.h"
#include "TrendChart.h"

#include <QKeyEvent>
#include <QSignalBlocker>

using namespace kv10;

namespace {
const QString NotANumberText = QStringLiteral("Chyba při zadání číselného textu");
const QString RangeText = QStringLiteral("Je nutné zadávat pouze čísla v rozsahu 10 až 100000");
} // namespace

ChartSettingsDialog::ChartSettingsDialog(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::ChartSettingsDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(sizeHint().expandedTo(QSize(192, 230)));

    connect(ui->check_3D, &QCheckBox::clicked, this, &ChartSettingsDialog::check_3DClick);
    connect(ui->bar_3D, &QScrollBar::valueChanged, this, &ChartSettingsDialog::bar_3DChange);
    connect(ui->tl_barva_mriz, &QPushButton::clicked, this, &ChartSettingsDialog::tl_barva_mrizClick);
    connect(ui->tl_barva_okraj, &QPushButton::clicked, this, &ChartSettingsDialog::tl_barva_okrajClick);
    connect(ui->tl_ok, &QPushButton::clicked, this, &ChartSettingsDialog::tl_okClick);
    connect(ui->tl_cancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->ed_poc_mer->installEventFilter(this);
}

ChartSettingsDialog::~ChartSettingsDialog() = default;

void ChartSettingsDialog::preset(const kv10::ChartSettings& fields)
{
    const QSignalBlocker blockBar(ui->bar_3D);
    ui->check_3D->setChecked(fields.view3D);
    fillPanel(*ui->pa_barva_mriz, fields.backWallColour);
    fillPanel(*ui->pa_barva_okraj, fields.panelColour);
    ui->bar_3D->setValue(fields.depthPercent);
    ui->ed_poc_mer->setText(QString::number(fields.chartLength));
}

bool ChartSettingsDialog::finish(int result, ChartSettings& fields)
{
    if (!m_chart)
        return result == QDialog::Accepted;
    if (result != QDialog::Accepted) {
        m_chart->setDepthPercent(fields.depthPercent);
        m_chart->setView3D(fields.view3D);
        m_chart->setBackWallColour(fields.backWallColour);
        m_chart->setPanelColour(fields.panelColour);
        return false;
    }
    fields.panelColour = m_chart->panelColour();
    fields.backWallColour = m_chart->backWallColour();
    fields.depthPercent = m_chart->depthPercent();
    fields.view3D = m_chart->view3D();
    fields.chartLength = chartLength();
    return true;
}

bool ChartSettingsDialog::edit(ChartSettings& fields)
{
    preset(fields);
    return finish(exec(), fields);
}

int ChartSettingsDialog::chartLength() const
{
    return parseInteger(ui->ed_poc_mer->text()).value_or(0);
}

void ChartSettingsDialog::check_3DClick(bool checked)
{
    if (m_chart)
        m_chart->setView3D(checked);
}

void ChartSettingsDialog::bar_3DChange(int position)
{
    if (m_chart)
        m_chart->setDepthPercent(position);
}

std::optional<QColor> ChartSettingsDialog::chooseSwatchColour(QWidget* swatch)
{
    if (!m_prompts)
        return std::nullopt;
    const QColor current = swatch->palette().color(QPalette::Window);
    const auto rgb = m_prompts->chooseColour(current.rgb() & 0xFFFFFF, this);
    if (!rgb)
        return std::nullopt;
    const QColor colour = QColor::fromRgb(*rgb);
    fillPanel(*swatch, colour);
    return colour;
}

void ChartSettingsDialog::tl_barva_mrizClick()
{
    const auto colour = chooseSwatchColour(ui->pa_barva_mriz);
    if (colour && m_chart)
        m_chart->setBackWallColour(*colour);
}

void ChartSettingsDialog::tl_barva_okrajClick()
{
    const auto colour = chooseSwatchColour(ui->pa_barva_okraj);
    if (colour && m_chart)
        m_chart->setPanelColour(*colour);
}

bool ChartSettingsDialog::parseNumber()
{
    return parseIntegerEdit(*ui->ed_poc_mer, m_prompts, NotANumberText, QStringLiteral("0"));
}

bool ChartSettingsDialog::checkRange()
{
    return checkIntegerEditRange(*ui->ed_poc_mer, MinChartLength, MaxChartLength, m_prompts, RangeText, this);
}

void ChartSettingsDialog::ed_poc_merKeyPress()
{
    if (!parseNumber())
        return;
    if (checkRange())
        ui->tl_ok->setFocus();
    else
        ui->ed_poc_mer->setFocus();
}

void ChartSettingsDialog::tl_okClick()
{
    if (!parseNumber())
        return;
    if (!checkRange()) {
        ui->ed_poc_mer->setFocus();
        return;
    }
    accept();
}

void ChartSettingsDialog::keyPressEvent(QKeyEvent* event)
{
    if (!pressFocusedButton(*this, event->key()))
        QDialog::keyPressEvent(event);
}

bool ChartSettingsDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->ed_poc_mer && event->type() == QEvent::KeyPress
        && isEnterKey(static_cast<QKeyEvent*>(event)->key())) {
        ed_poc_merKeyPress();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
