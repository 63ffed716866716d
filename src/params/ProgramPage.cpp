#include "ProgramPage.h"
#include "ui_ParameterEditor.h"

#include "EditorPages.h"
#include "ErrorBox.h"
#include "NumberText.h"
#include "ProgramProfile.h"
#include "Programs.h"
#include "Prompts.h"
#include "TableCodec.h"
#include "TrendChart.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTableWidgetItem>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <vector>

using namespace kv10;
using namespace kv10::editor;

namespace {

constexpr int TypeSp = core::ProgramSp;
constexpr int TypeRamp = core::ProgramRamp;   // anything else runs as JUMP
constexpr int SetpointColumn = 1;
constexpr int TimeColumn = 2;
constexpr int RowHeight = 16;
constexpr int ColumnWidths[ProgramPage::GridColumns] = {64, 90, 70};
// Where the segment caption starts: "program" at 15, the shorter "úsek" at 24.
constexpr int ProgramCaptionLeft = 15;
constexpr int SegmentCaptionLeft = 24;
constexpr int SetpointLowest = -999;
constexpr int SetpointHighest = 9999;
constexpr int TimeLowest = 0;
constexpr int TimeHighest = 1000;
// More samples than the preview has pixel columns, so that a JUMP step stays upright.
constexpr int PreviewSamples = 401;

// A time cell: a number truncated toward zero, as long as it fits the held integer.
std::optional<int32_t> timeFromText(const QString& text)
{
    const std::optional<float> value = floatFromText(text);
    if (!value || std::fabs(*value) >= 2147483648.0f)
        return std::nullopt;
    return static_cast<int32_t>(std::trunc(*value));
}

// Toward zero, and held within the integers, so that a huge entry fails the range check.
int truncatedSetpoint(float value)
{
    return static_cast<int>(std::clamp<double>(std::trunc(value), INT_MIN, INT_MAX));
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The first of the controls that is not hidden takes the focus.
void focusFirstShown(std::initializer_list<QWidget*> controls)
{
    for (QWidget* control : controls) {
        if (!control->isHidden()) {
            control->setFocus();
            return;
        }
    }
}

QString timeAxisText(double time)
{
    return generalText(time, 6);
}

} // namespace

ProgramPage::ProgramPage(ProgramPageCommands commands, Ui::ParameterEditor& ui, ControllerImage& image,
                         Prompts& prompts)
    : m_commands(std::move(commands)), ui(ui), m_image(image), m_prompts(prompts)
{
    setupGrid();
    keepEntryFieldsInPlace();
    TrendChart& preview = *ui.ch_prubeh;
    preview.setLegendVisible(false);
    preview.setView3D(false);
    preview.setBackWallColour(Qt::white);

    // Only the user's choice is a change: setting the lists from the image runs no event.
    connect(ui.cb_prog_typ, &QComboBox::activated, this, [this] { cb_prog_typChange(); });
    connect(ui.cb_prog_cis, &QComboBox::activated, this, [this] { cb_prog_cisChange(); });
    connect(ui.cb_usek, &QComboBox::activated, this, [this] { cb_usekChange(); });
    connect(ui.tl_add, &QPushButton::clicked, this, [this] { tl_addClick(); });
    connect(ui.ed_pocatek, &QLineEdit::textChanged, this, [this] { refreshPreview(); });
    // Enter must not reach the dialog, which would press the button that now has the focus.
    ui.ed_comp->installEventFilter(this);
    ui.ed_cas->installEventFilter(this);
}

void ProgramPage::setupGrid()
{
    QTableWidget& grid = *ui.tab_comp;
    grid.setRowCount(GridRows);
    grid.setColumnCount(GridColumns);
    grid.verticalHeader()->setMinimumSectionSize(RowHeight);
    grid.verticalHeader()->setDefaultSectionSize(RowHeight);
    // The first row and column are the grid's fixed headers: drawn as such, never selected.
    const QBrush headerBrush = grid.palette().brush(QPalette::Button);
    for (int row = 0; row < GridRows; ++row) {
        for (int column = 0; column < GridColumns; ++column) {
            auto* cell = new QTableWidgetItem();
            if (row == 0 || column == 0) {
                cell->setFlags(Qt::ItemIsEnabled);
                cell->setBackground(headerBrush);
            } else {
                cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            grid.setItem(row, column, cell);
        }
    }
    int width = 2 * grid.frameWidth();
    for (int column = 0; column < GridColumns; ++column) {
        grid.setColumnWidth(column, ColumnWidths[column]);
        width += ColumnWidths[column];
    }
    grid.setFixedWidth(width);
    for (int row = 1; row < GridRows; ++row)
        setCellText(row, 0, QString::number(row - 1));
}

void ProgramPage::keepEntryFieldsInPlace()
{
    // Hidden fields leave their place empty and the segment caption's column fits both
    // captions, so that no field moves when the program type changes.
    for (QWidget* control : ui.GroupBox1->findChildren<QWidget*>()) {
        QSizePolicy policy = control->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        control->setSizePolicy(policy);
    }
    int width = 0;
    for (const bool sp : {true, false}) {
        setSegmentCaption(sp);
        width = std::max(width, ui.lb_usek->sizeHint().width());
    }
    ui.lb_usek->setMinimumWidth(width);
}

void ProgramPage::setSegmentCaption(bool sp)
{
    ui.lb_usek->setText(sp ? QStringLiteral("program") : QStringLiteral("úsek"));
    ui.lb_usek->setIndent((sp ? ProgramCaptionLeft : SegmentCaptionLeft) - ProgramCaptionLeft);
}

QString ProgramPage::cellText(int row, int column) const
{
    const QTableWidgetItem* cell = ui.tab_comp->item(row, column);
    return cell ? cell->text() : QString();
}

void ProgramPage::setCellText(int row, int column, const QString& text)
{
    if (QTableWidgetItem* cell = ui.tab_comp->item(row, column))
        cell->setText(text);
}

void ProgramPage::setProgramControlsVisible(bool visible)
{
    QWidget* const controls[] = {
        ui.ed_pocatek, ui.lb_pocatek, ui.ed_cas, ui.lb_ti_popis, ui.lb_ti_ramp, ui.tab_comp, ui.cb_usek,
        ui.lb_usek, ui.tl_add, ui.lb_prog, ui.cb_prog_typ, ui.lb_c_prog, ui.cb_prog_cis, ui.ch_prubeh,
    };
    for (QWidget* control : controls)
        control->setVisible(visible);
}

void ProgramPage::ApplyProgramLayout()
{
    const int type = m_image.prog.prog;
    const bool sp = type == TypeSp;
    setCellText(0, 0, sp ? QStringLiteral("program") : QStringLiteral("úsek"));
    setCellText(0, SetpointColumn, QStringLiteral("teplota"));
    setCellText(0, TimeColumn, sp ? QStringLiteral("--") : QStringLiteral("čas"));
    if (!sp) {
        for (int row = 1; row < GridRows; ++row) {
            setCellText(row, 0, QString::number(row - 1));
            setCellText(row, SetpointColumn, QString());
            setCellText(row, TimeColumn, QString());
        }
    }
    ui.ed_pocatek->setVisible(type == TypeRamp);
    ui.lb_pocatek->setVisible(type == TypeRamp);
    for (QWidget* time : {static_cast<QWidget*>(ui.ed_cas), static_cast<QWidget*>(ui.lb_ti_popis),
                          static_cast<QWidget*>(ui.lb_ti_ramp)})
        time->setVisible(!sp);
    setSegmentCaption(sp);
    refreshPreview();
}

void ProgramPage::ImageToPage()
{
    // Their change events follow the user's choice only, not this.
    selectItem(*ui.cb_prog_typ, m_image.prog.prog);
    selectItem(*ui.cb_prog_cis, m_image.prog.c_pr);
    const int program = ui.cb_prog_cis->currentIndex();
    const int type = m_image.prog.prog;
    if (type == TypeSp) {
        for (int row = 1; row <= ProgramCount; ++row) {
            setCellText(row, SetpointColumn, fixedNumberText(m_image.startValue[row - 1]));
            setCellText(row, TimeColumn, QString());
        }
    } else {
        // A program number that is none of the ten shows an empty program.
        const bool known = program >= 0;
        if (type == TypeRamp)
            ui.ed_pocatek->setText(known ? fixedNumberText(m_image.startValue[program]) : QString());
        for (int row = 1; row < GridRows; ++row) {
            setCellText(row, SetpointColumn, known ? fixedNumberText(m_image.segmentSetpoint[program][row - 1]) : QString());
            setCellText(row, TimeColumn, known ? QString::number(m_image.segmentTime[program][row - 1]) : QString());
        }
    }
    refreshPreview();
}

int ProgramPage::PageToImage()
{
    // A list without a chosen item (a type or number from the controller that it does not
    // hold) leaves the image's value as it is.
    if (ui.cb_prog_typ->currentIndex() >= 0)
        m_image.prog.prog = static_cast<uint8_t>(ui.cb_prog_typ->currentIndex());
    const int program = ui.cb_prog_cis->currentIndex();
    if (program >= 0)
        m_image.prog.c_pr = static_cast<uint8_t>(program);
    const int type = m_image.prog.prog;

    // Everything is converted before anything is stored, so a bad cell leaves the program
    // in the image as it was and no half-converted program can be written.
    std::optional<QString> bad;
    auto number = [&bad](const QString& text) {
        const std::optional<float> value = floatFromText(text);
        if (!value && !bad)
            bad = text;
        return value.value_or(0.0f);
    };
    auto time = [&bad](const QString& text) {
        const std::optional<int32_t> value = timeFromText(text);
        if (!value && !bad)
            bad = text;
        return value.value_or(0);
    };
    std::array<float, ProgramCount> starts{};
    float start = 0;
    std::array<float, SegmentCount> setpoints{};
    std::array<int32_t, SegmentCount> times{};
    if (type == TypeSp) {
        for (int row = 1; row <= ProgramCount; ++row)
            starts[row - 1] = number(cellText(row, SetpointColumn));
    } else if (program >= 0) {
        if (type == TypeRamp)
            start = number(ui.ed_pocatek->text());
        for (int row = 1; row < GridRows; ++row) {
            setpoints[row - 1] = number(cellText(row, SetpointColumn));
            times[row - 1] = time(cellText(row, TimeColumn));
        }
    }
    if (bad) {
        showErrorBox(m_prompts, QStringLiteral("'%1' is not a valid floating point value").arg(*bad));
        return -1;
    }
    if (type == TypeSp) {
        m_image.startValue = starts;
    } else if (program >= 0) {
        if (type == TypeRamp)
            m_image.startValue[program] = start;
        m_image.segmentSetpoint[program] = setpoints;
        m_image.segmentTime[program] = times;
    }
    return 0;
}

std::function<core::SequenceResult(core::Sequence&)> ProgramPage::ReadEditedProgram() const
{
    return [type = ui.cb_prog_typ->currentIndex(), program = ui.cb_prog_cis->currentIndex()](core::Sequence& sequence) {
        return core::readProgram(sequence, type, program);
    };
}

core::SequenceResult ProgramPage::WriteEditedProgram(core::Sequence& sequence)
{
    return core::writeProgram(sequence);
}

void ProgramPage::cb_prog_typChange()
{
    sendChoice(m_image.prog.prog, *ui.cb_prog_typ);
}

void ProgramPage::cb_prog_cisChange()
{
    sendChoice(m_image.prog.c_pr, *ui.cb_prog_cis);
}

void ProgramPage::sendChoice(uint8_t& field, const QComboBox& list)
{
    if (list.currentIndex() < 0)
        return;
    field = static_cast<uint8_t>(list.currentIndex());
    m_commands.sendChoice();
}

int ProgramPage::selectedSegment() const
{
    return std::clamp(ui.cb_usek->currentIndex(), 0, SegmentCount - 1);
}

void ProgramPage::cb_usekChange()
{
    ui.tab_comp->setCurrentCell(selectedSegment() + 1, SetpointColumn);
}

bool ProgramPage::ed_compKeyPress(int key)
{
    if (!isEnter(key))
        return false;
    float value = 0;
    // Without the time field (SP) the next step is the button; without that too (no
    // programs) there is none.
    if (parseFloatField(m_prompts, value, *ui.ed_comp) == 0)
        checkEntry(*ui.ed_comp, SetpointLowest, SetpointHighest, truncatedSetpoint(value), {ui.ed_cas, ui.tl_add, ui.ed_comp});
    return true;
}

bool ProgramPage::ed_casKeyPress(int key)
{
    if (!isEnter(key))
        return false;
    int32_t value = 0;
    if (parseIntField(m_prompts, value, *ui.ed_cas) == 0)
        checkEntry(*ui.ed_cas, TimeLowest, TimeHighest, value, {ui.tl_add});
    return true;
}

void ProgramPage::checkEntry(QLineEdit& edit, int lowest, int highest, int value, std::initializer_list<QWidget*> next)
{
    if (checkRange(m_prompts, lowest, highest, value) != 0)
        edit.setFocus();
    else
        focusFirstShown(next);
}

void ProgramPage::tl_addClick()
{
    const int segment = selectedSegment();
    // Copied as typed: the range checks belong to Enter in the fields.
    setCellText(segment + 1, SetpointColumn, ui.ed_comp->text());
    setCellText(segment + 1, TimeColumn, ui.cb_prog_typ->currentIndex() != TypeSp ? ui.ed_cas->text() : QStringLiteral("--"));
    if (segment < SegmentCount - 1) {
        ui.cb_usek->setCurrentIndex(segment + 1);
    } else {
        if (m_prompts.message(QStringLiteral("Chceš zapsat data do regulátoru?"), QStringLiteral("Zápis"),
                              PromptIcon::Warning, PromptButton::Yes | PromptButton::No, nullptr)
            == PromptButton::Yes)
            m_commands.write();
        // The rows just entered stay as the start of the next program, which is not read.
        ui.cb_usek->setCurrentIndex(0);
        const int program = ui.cb_prog_cis->currentIndex();
        if (program < ProgramCount - 1)
            ui.cb_prog_cis->setCurrentIndex(program + 1);
    }
    cb_usekChange();
    ui.ed_comp->setFocus();
    refreshPreview();
}

bool ProgramPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == ui.ed_comp)
        return ed_compKeyPress(key);
    if (watched == ui.ed_cas)
        return ed_casKeyPress(key);
    return false;
}

void ProgramPage::refreshPreview()
{
    // Up to the first cell that is no number: such a program cannot go to the controller.
    const int type = m_image.prog.prog;
    std::vector<float> setpoints;
    std::vector<int32_t> times;
    for (int row = 1; row <= (type == TypeSp ? ProgramCount : SegmentCount); ++row) {
        const std::optional<float> setpoint = floatFromText(cellText(row, SetpointColumn));
        const std::optional<int32_t> time = type == TypeSp ? 0 : timeFromText(cellText(row, TimeColumn));
        if (!setpoint || !time)
            break;
        setpoints.push_back(*setpoint);
        times.push_back(*time);
    }
    const std::optional<float> start = type == TypeRamp ? floatFromText(ui.ed_pocatek->text()) : 0.0f;
    const std::vector<ProfilePoint> points = start ? programProfile(type, *start, setpoints, times)
                                                   : std::vector<ProfilePoint>();

    TrendChart& preview = *ui.ch_prubeh;
    preview.setMarkersOnly(type == TypeSp);
    if (type == TypeSp) {
        std::vector<float> values;
        for (const ProfilePoint& point : points)
            values.push_back(float(point.value));
        preview.setSeries(values);
        preview.setXAxis(0, 1);
        preview.setAccessibleDescription(QStringLiteral("Počáteční hodnoty programů 0 až 9"));
        return;
    }
    const std::vector<float> samples = sampleProfile(points, PreviewSamples);
    const double duration = points.empty() ? 0 : points.back().time;
    preview.setSeries(samples);
    preview.setXAxis(0, samples.size() > 1 ? duration / double(samples.size() - 1) : 1, &timeAxisText);
    preview.setAccessibleDescription(
        QStringLiteral("Žádaná hodnota programu v čase, celkem %1").arg(timeAxisText(duration)));
}
