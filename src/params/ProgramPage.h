#pragma once
// The COMP page with firmwares that have setpoint programs: the program grid, its program
// type and number, and the block transfers of the chosen program. The controller keeps ten
// programs of twenty segments; grid row r (1-20) is segment r - 1, column 1 the setpoint,
// column 2 the time. With the SP type rows 1-10 are the start values of the ten programs.
#include <QString>

namespace Ui { class ParameterEditor; }
namespace kv10 {
class TelegramLink;
class Waiter;
struct ControllerImage;
}

class ProgramPage {
public:
    static constexpr int GridRows = 21;     // a header row and twenty segments
    static constexpr int GridColumns = 3;   // a header column, setpoint, time

    ProgramPage(Ui::ParameterEditor& ui, kv10::TelegramLink& link, kv10::Waiter& waiter);

    // Without programs only the setpoint field and its labels stay on the page.
    void setProgramControlsVisible(bool visible);
    // Headers and fields by the program type held in the image.
    void ApplyProgramLayout();
    void ImageToPage();
    // 0, or -1 when a cell or the start value is not a number; the program then stays as
    // the image held it.
    int PageToImage();
    // The program chosen on the page; true when every block came.
    bool ReadEditedProgram();
    // PROG and the blocks of the program in the image; true when every write was taken.
    bool WriteEditedProgram();

    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);

private:
    void setupGrid();
    void waitBetweenBlocks();

    Ui::ParameterEditor& ui;
    kv10::ControllerImage& m_image;
    kv10::TelegramLink& m_link;
    kv10::Waiter& m_waiter;
};
