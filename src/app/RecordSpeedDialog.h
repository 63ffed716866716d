#pragma once
// "Rychlost záznamu": how many seconds or minutes lie between two log samples and how many
// minutes between two writes of the log file. Preset by the caller; read back only after OK.
#include <QDialog>
#include <memory>

namespace Ui { class RecordSpeedDialog; }
class QLineEdit;
namespace kv10 { class Prompts; }

class RecordSpeedDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int MinRecordPeriod = 1;
    static constexpr int MaxRecordPeriod = 1000;
    static constexpr int MinFilePeriod = 1;
    static constexpr int MaxFilePeriod = 60;

    explicit RecordSpeedDialog(QWidget* parent = nullptr);
    ~RecordSpeedDialog() override;

    void setPrompts(kv10::Prompts* prompts) { m_prompts = prompts; }

    // The texts of pa_zaznam and pa_soubor, and RecordUnit (1 = seconds, otherwise minutes).
    void preset(const QString& recordPeriodText, const QString& filePeriodText, int recordUnit);

    // Read back after OK: the texts as typed and their values, and the unit (1 or 60).
    QString recordPeriodText() const;
    int recordPeriod() const;
    QString filePeriodText() const;
    int filePeriod() const;
    int recordUnit() const { return m_recordUnit; }

private slots:
    void tl_okClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool parseNumber(QLineEdit& edit);
    bool checkRange(QLineEdit& edit, int low, int high);
    void enterPressed(QLineEdit& edit, int low, int high);

    std::unique_ptr<Ui::RecordSpeedDialog> ui;
    kv10::Prompts* m_prompts = nullptr;
    int m_recordUnit = 1;
};
