#pragma once
// "KORVIN 10 DATA": the parameter editor. Each tab page shows one controller table (the
// page's tag is the table number); values move between a page's controls and the controller
// image when the user leaves the page or runs a command, and between the image and the
// controller only on "Čtení", "Zápis" and "EEPROM". Those transfers run as jobs of the
// controller session: while one runs, the pages and the commands are disabled, and closing the
// editor stops it after the exchange in progress.
#include "PageBindings.h"
#include "ParameterSet.h"
#include "Sequence.h"
#include "SessionRunner.h"

#include <QDialog>
#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace Ui { class ParameterEditor; }
namespace kv10 {
class Prompts;
struct ControllerImage;
struct TableField;
}
class ProgramPage;
class QComboBox;
class QLineEdit;
class QTabWidget;

class ParameterEditor : public QDialog, public kv10::editor::PageIndices {
    Q_OBJECT
public:

    ParameterEditor(kv10::SessionRunner& runner, kv10::ControllerImage& image, kv10::Prompts& prompts,
                    QWidget* parent = nullptr);
    ~ParameterEditor() override;

    // Where the editor takes the firmware variant (0-3) each time it is shown: the
    // read-out dialog's result.
    void setFirmwareVariantSource(std::function<int()> source) { m_variantSource = std::move(source); }
    // What "Otevřít..." and "Uložit..." run: loading and saving a parameter file.
    void setFileCommands(std::function<void()> open, std::function<void()> save)
    {
        m_openFile = std::move(open);
        m_saveFile = std::move(save);
    }
    int variant() const { return m_variant; }

    // The page control: its pages keep their indices when tabs are hidden. Setting the
    // active page from the program runs no page change.
    QTabWidget& pageControl();
    int pageTag(int index) const;              // the table number of the page
    int activePageIndex() const;
    void setActivePage(int index);
    int currentPageIndex() const { return m_currentPage; }   // last filled from the image

    void FormShow();
    void PageControlChange(int newIndex);
    void tl_cteniClick();
    void tl_zapisClick();
    void tl_eepromClick();
    void tl_otevritClick();
    void tl_ulozitClick();
    void cb_rala1Change();
    void cb_rala2Change();

    // 0 when every edit field of the page parsed, -1 otherwise; indices outside 0-12 do nothing.
    int PageToImage(int page);
    void ImageToPage(int page);
    void ApplyVariantLayout(int variant);
    // Shows the image again on every page of a parameter set (ALARM 1 to GO) whose controls
    // have not been in step with it since the editor was shown: a set saved right after a
    // read-out then holds the controller's values. Pages the user has edited stay as typed.
    void ShowImageOnPagesOutOfStep();

    // Every control of the pages back to the value it has before anything is read; the TIME
    // page, the program grid and the program entry fields keep what they hold.
    void resetControls();

    // The controls of the pages by their names in the page bindings: a list's item position
    // (-1 when none is selected) or an edit's text. Setting a position the list lacks selects
    // nothing; a name that no page binds reads as -1 or empty and takes nothing.
    bool isPageList(QLatin1StringView control) const;
    int pageListPosition(QLatin1StringView control) const;
    void setPageListPosition(QLatin1StringView control, int position);
    QString pageFieldText(QLatin1StringView control) const;
    void setPageFieldText(QLatin1StringView control, const QString& text);
    // The COMP page's own controls: the program type and number chosen, the setpoint and the
    // start value as typed; the start value field, and the segment entry put back to segment 0
    // and time "0".
    kv10::sets::CompPageTexts compPageTexts() const;
    int programTypeChoice() const;
    int programNumberChoice() const;
    void setStartValueText(const QString& text);
    void resetSegmentEntry();

    // Each parses the edit's text in the user's number format into `value`. On failure:
    // the "CHYBA" box, the value and the text become 0, the edit gets the focus, -1.
    int ParseFloatField(float& value, QLineEdit& edit);
    int ParseByteField(uint8_t& value, QLineEdit& edit);
    int ParseIntField(int32_t& value, QLineEdit& edit);
    // -1 with the "EDIT" box when value lies outside lowest..highest, else 0.
    int CheckRange(int lowest, int highest, int value);

protected:
    void showEvent(QShowEvent* event) override;
    // A closed editor stops its transfer.
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // One row of a page's binding table with its control and image field found.
    struct BoundRow {
        const kv10::editor::Binding* binding;
        QWidget* control;                      // null for a field without a control
        const kv10::TableField* field;
    };
    void bindPages();
    std::span<const BoundRow> rowsOf(int page) const;
    QWidget* boundControl(QLatin1StringView control) const;
    int rowsToImage(std::span<const BoundRow> rows);
    void rowsToPage(std::span<const BoundRow> rows);
    void applySploColour(const QComboBox& rala, QLineEdit& splo);
    void showLinkError(const char* text);
    // The COMP page with programs, whose transfers are the program page's.
    bool holdsPrograms(int page) const;
    int transferTable(int page) const;
    void hideProgress();
    // Hands a transfer to the session with the pages and commands disabled until `done` runs.
    // The editor's image goes along, so that values moved into it and not yet sent stay in it
    // when the transfer brings the image back. A transfer stopped before it ended shows
    // `stoppedText` instead of running `done`.
    void runTransfer(std::function<kv10::core::SequenceResult(kv10::core::Sequence&)> body, const char* stoppedText,
                     std::function<void(const kv10::core::SequenceResult&)> done);
    void transferEnded();
    void enableCommands(bool enabled);
    // PROG as the page chose it goes to the controller, then the chosen program is read.
    void sendProgramChoice();

    Ui::ParameterEditor* ui;
    kv10::SessionRunner& m_runner;
    kv10::ControllerImage& m_image;
    kv10::Prompts& m_prompts;
    kv10::StopHandle m_job;                     // the transfer running, if any
    std::function<int()> m_variantSource;
    std::function<void()> m_openFile;
    std::function<void()> m_saveFile;
    int m_variant = 0;
    int m_currentPage = 0;
    bool m_settingPage = false;                // a page set by the program, not a change
    std::array<std::vector<BoundRow>, PageCount> m_rows;
    std::bitset<PageCount> m_pageInStep;      // controls and image agree since FormShow
    std::unique_ptr<ProgramPage> m_program;
};
