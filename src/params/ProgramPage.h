#pragma once
// The COMP page with firmwares that have setpoint programs: the program grid, its program
// type and number, the entry of one segment at a time, the block transfers of the chosen
// program and a preview of its course. The controller keeps ten programs of twenty segments;
// grid row r (1-20) is segment r - 1, column 1 the setpoint, column 2 the time. With the SP
// type rows 1-10 are the start values of the ten programs.
#include "Sequence.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>

namespace Ui { class ParameterEditor; }
namespace kv10 {
class Prompts;
struct ControllerImage;
}
class QComboBox;
class QLineEdit;
class QWidget;

// The editor's own commands that the page runs: "Čtení", "Zápis" when the last segment has
// been entered and the user says so, and PROG sent (then read) after the user chose another
// program type or number.
struct ProgramPageCommands {
    std::function<void()> read;
    std::function<void()> write;
    std::function<void()> sendChoice;
};

class ProgramPage : public QObject {
public:
    static constexpr int GridRows = 21;     // a header row and twenty segments
    static constexpr int GridColumns = 3;   // a header column, setpoint, time

    // `image` is the editor's copy of the controller image.
    ProgramPage(ProgramPageCommands commands, Ui::ParameterEditor& ui, kv10::ControllerImage& image,
                kv10::Prompts& prompts);

    // Without programs only the setpoint field and its labels stay on the page.
    void setProgramControlsVisible(bool visible);
    // Headers and fields by the program type held in the image.
    void ApplyProgramLayout();
    void ImageToPage();
    // 0, or -1 with the application's error box when a cell or the start value is not a
    // number; the program then stays in the image as it was.
    int PageToImage();
    // The read of the program chosen on the page now, for the session to run; ok when every
    // block came.
    std::function<kv10::core::SequenceResult(kv10::core::Sequence&)> ReadEditedProgram() const;
    // PROG and the blocks of the program in the image; ok when every write was taken.
    static kv10::core::SequenceResult WriteEditedProgram(kv10::core::Sequence& sequence);

    // The user's actions on the page. The key handlers act on Enter only and say whether
    // they took the key.
    void cb_prog_typChange();
    void cb_prog_cisChange();
    void cb_usekChange();
    bool ed_compKeyPress(int key);
    bool ed_casKeyPress(int key);
    void tl_addClick();

    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setupGrid();
    void keepEntryFieldsInPlace();
    void setSegmentCaption(bool sp);
    int selectedSegment() const;
    // An entry that parsed: out of range the "EDIT" box and the focus stays, in range the
    // focus moves on to the first of `next` that is shown.
    void checkEntry(QLineEdit& edit, int lowest, int highest, int value, std::initializer_list<QWidget*> next);
    // A type or number the user chose goes into PROG and to the controller, then is read.
    void sendChoice(uint8_t& field, const QComboBox& list);
    // The preview follows the grid as it reads now, not the image.
    void refreshPreview();

    ProgramPageCommands m_commands;
    Ui::ParameterEditor& ui;
    kv10::ControllerImage& m_image;
    kv10::Prompts& m_prompts;
};
