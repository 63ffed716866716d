#include "ProgramPage.h"
#include "ui_ParameterEditor.h"

#include "EditorPages.h"
#include "NumberText.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidgetItem>
#include <array>
#include <cmath>
#include <optional>

using namespace kv10;
using namespace kv10::editor;

namespace {

enum ProgramType { TypeSp = 0, TypeRamp = 1 };   // anything else runs as JUMP
enum BlockKind { StartValues = 0, SegmentSetpoints = 1, SegmentTimes = 2 };
constexpr int BlockPauseMs = 100;
constexpr int SetpointColumn = 1;
constexpr int TimeColumn = 2;
constexpr int RowHeight = 16;
constexpr int ColumnWidths[ProgramPage::GridColumns] = {64, 90, 70};

// A time cell: a number truncated toward zero, as long as it fits the held integer.
std::optional<int32_t> timeFromText(const QString& text)
{
    const std::optional<float> value = floatFromText(text);
    if (!value || std::fabs(*value) >= 2147483648.0f)
        return std::nullopt;
    return static_cast<int32_t>(std::trunc(*value));
}

} // namespace

ProgramPage::ProgramPage(Ui::ParameterEditor& ui, TelegramLink& link, Waiter& waiter)
    : ui(ui), m_image(link.image()), m_link(link), m_waiter(waiter)
{
    setupGrid();
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
        ui.lb_usek, ui.tl_add, ui.lb_prog, ui.cb_prog_typ, ui.lb_c_prog, ui.cb_prog_cis,
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
    ui.lb_usek->setText(sp ? QStringLiteral("program") : QStringLiteral("úsek"));
}

void ProgramPage::ImageToPage()
{
    {
        // Set from the image, not chosen by the user: their change events stay quiet.
        const QSignalBlocker typeBlocker(ui.cb_prog_typ);
        const QSignalBlocker numberBlocker(ui.cb_prog_cis);
        selectItem(*ui.cb_prog_typ, m_image.prog.prog);
        selectItem(*ui.cb_prog_cis, m_image.prog.c_pr);
    }
    const int program = ui.cb_prog_cis->currentIndex();
    const int type = m_image.prog.prog;
    if (type == TypeSp) {
        for (int row = 1; row <= ProgramCount; ++row) {
            setCellText(row, SetpointColumn, fixedNumberText(m_image.startValue[row - 1]));
            setCellText(row, TimeColumn, QString());
        }
        return;
    }
    // A program number that is none of the ten shows an empty program.
    const bool known = program >= 0;
    if (type == TypeRamp)
        ui.ed_pocatek->setText(known ? fixedNumberText(m_image.startValue[program]) : QString());
    for (int row = 1; row < GridRows; ++row) {
        setCellText(row, SetpointColumn, known ? fixedNumberText(m_image.segmentSetpoint[program][row - 1]) : QString());
        setCellText(row, TimeColumn, known ? QString::number(m_image.segmentTime[program][row - 1]) : QString());
    }
}

int ProgramPage::PageToImage()
{
    const int program = ui.cb_prog_cis->currentIndex();
    m_image.prog.prog = static_cast<uint8_t>(ui.cb_prog_typ->currentIndex());
    m_image.prog.c_pr = static_cast<uint8_t>(program);
    const int type = m_image.prog.prog;

    // Everything is converted before anything is stored, so a bad cell leaves the program
    // in the image as it was.
    bool parsed = true;
    auto number = [&parsed](const std::optional<float>& value) {
        parsed = parsed && value.has_value();
        return value.value_or(0.0f);
    };
    if (type == TypeSp) {
        std::array<float, ProgramCount> starts{};
        for (int row = 1; row <= ProgramCount; ++row)
            starts[row - 1] = number(floatFromText(cellText(row, SetpointColumn)));
        if (parsed)
            m_image.startValue = starts;
    } else if (program >= 0) {
        const float start = type == TypeRamp ? number(floatFromText(ui.ed_pocatek->text())) : 0.0f;
        std::array<float, SegmentCount> setpoints{};
        std::array<int32_t, SegmentCount> times{};
        for (int row = 1; row < GridRows; ++row) {
            setpoints[row - 1] = number(floatFromText(cellText(row, SetpointColumn)));
            const std::optional<int32_t> time = timeFromText(cellText(row, TimeColumn));
            parsed = parsed && time.has_value();
            times[row - 1] = time.value_or(0);
        }
        if (parsed) {
            if (type == TypeRamp)
                m_image.startValue[program] = start;
            m_image.segmentSetpoint[program] = setpoints;
            m_image.segmentTime[program] = times;
        }
    }
    return parsed ? 0 : -1;
}

void ProgramPage::waitBetweenBlocks()
{
    m_waiter.waitMs(BlockPauseMs);
}

bool ProgramPage::ReadEditedProgram()
{
    const int program = ui.cb_prog_cis->currentIndex();
    if (ui.cb_prog_typ->currentIndex() == TypeSp)
        return m_link.ReadProgramBlock(StartValues, program, TableComp);
    bool ok = m_link.ReadProgramBlock(StartValues, program, TableComp);
    waitBetweenBlocks();
    ok = m_link.ReadProgramBlock(SegmentSetpoints, program, TableSegsp) && ok;
    waitBetweenBlocks();
    ok = m_link.ReadProgramBlock(SegmentTimes, program, TableSegti) && ok;
    return ok;
}

bool ProgramPage::WriteEditedProgram()
{
    const int program = m_image.prog.c_pr;
    const int type = m_image.prog.prog;
    // A program number that is none of the ten is not sent: the controller would take it.
    if (program >= ProgramCount)
        return false;
    bool ok = m_link.WriteTable(TableProg);
    showProgress(*ui.bar_load, 100);
    waitBetweenBlocks();
    if (type == TypeSp)
        return m_link.WriteProgramBlock(StartValues, program, TableComp) && ok;
    if (type == TypeRamp) {
        ok = m_link.WriteProgramBlock(StartValues, program, TableComp) && ok;
        waitBetweenBlocks();
    }
    ok = m_link.WriteProgramBlock(SegmentSetpoints, program, TableSegsp) && ok;
    showProgress(*ui.bar_load, 100);
    waitBetweenBlocks();
    ok = m_link.WriteProgramBlock(SegmentTimes, program, TableSegti) && ok;
    return ok;
}
