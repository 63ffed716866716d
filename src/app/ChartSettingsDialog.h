#pragma once
// "GRAF 3D": the chart's 3-D view, its depth, its two colours and the number of points.
// Changes show on the chart at once while the dialog is open; the caller presets the dialog
// from its fields and, when it closes, either puts the chart back (cancel) or reads it back.
#include <QColor>
#include <QDialog>
#include <memory>
#include <optional>

namespace Ui { class ChartSettingsDialog; }
namespace kv10 {
class Prompts;
class TrendChart;

// The main window's chart fields that this dialog edits.
struct ChartSettings {
    bool view3D = true;
    int depthPercent = 35;
    QColor backWallColour;
    QColor panelColour;
    int chartLength = 200;
};
} // namespace kv10

class ChartSettingsDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int MinChartLength = 10;
    static constexpr int MaxChartLength = 100000;

    explicit ChartSettingsDialog(QWidget* parent = nullptr);
    ~ChartSettingsDialog() override;

    void setPrompts(kv10::Prompts* prompts) { m_prompts = prompts; }
    // The chart the controls act on while the dialog is open.
    void setChart(kv10::TrendChart* chart) { m_chart = chart; }

    // Presets the controls from the fields (the chart is expected to show them already).
    void preset(const kv10::ChartSettings& fields);
    // After the dialog closed: on Accepted the fields take the chart's look and the number of
    // points; otherwise the chart is put back from the fields. True on Accepted.
    bool finish(int result, kv10::ChartSettings& fields);
    // preset(), exec() and finish() in one.
    bool edit(kv10::ChartSettings& fields);

    // The integer in ed_poc_mer (valid after the dialog closed with OK).
    int chartLength() const;

private slots:
    void check_3DClick(bool checked);
    void bar_3DChange(int position);
    void tl_barva_mrizClick();
    void tl_barva_okrajClick();
    void tl_okClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ed_poc_merKeyPress();
    bool parseNumber();
    bool checkRange();
    // Asks for a colour starting from the swatch's and paints the swatch with the choice;
    // nullopt when cancelled (or with no prompts).
    std::optional<QColor> chooseSwatchColour(QWidget* swatch);

    std::unique_ptr<Ui::ChartSettingsDialog> ui;
    kv10::Prompts* m_prompts = nullptr;
    kv10::TrendChart* m_chart = nullptr;
};
