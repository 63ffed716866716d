#include "EditorPages.h"

#include "NumberText.h"
#include "Prompts.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>

namespace kv10::editor {

void showInputError(Prompts& prompts, const char* text)
{
    prompts.message(QString::fromUtf8(text), QStringLiteral("CHYBA"), PromptIcon::Warning, PromptButton::Ok,
                    nullptr);
}

namespace {

// The "CHYBA" box of a field that did not parse; the field shows 0 and takes the focus.
int rejectField(Prompts& prompts, QLineEdit& edit, const char* text)
{
    showInputError(prompts, text);
    edit.setText(QStringLiteral("0"));
    edit.setFocus();
    return -1;
}

} // namespace

int parseFloatField(Prompts& prompts, float& value, QLineEdit& edit)
{
    const std::optional<float> parsed = floatFromText(edit.text());
    value = parsed.value_or(0.0f);
    return parsed ? 0 : rejectField(prompts, edit, FloatInputText);
}

int parseByteField(Prompts& prompts, uint8_t& value, QLineEdit& edit)
{
    int32_t whole = 0;
    const int result = parseIntField(prompts, whole, edit);
    // No range check: the low eight bits are kept (300 is 44, -1 is 255).
    value = static_cast<uint8_t>(whole);
    return result;
}

int parseIntField(Prompts& prompts, int32_t& value, QLineEdit& edit)
{
    const std::optional<int> parsed = parseInteger(edit.text());
    value = parsed.value_or(0);
    return parsed ? 0 : rejectField(prompts, edit, IntegerInputText);
}

int checkRange(Prompts& prompts, int lowest, int highest, int value)
{
    if (value >= lowest && value <= highest)
        return 0;
    prompts.message(QStringLiteral("Je nutné zadávat pouze čísla v rozsahu %1 až %2\n").arg(lowest).arg(highest),
                    QStringLiteral("EDIT"), PromptIcon::Error, PromptButton::Ok, nullptr);
    return -1;
}

void selectItem(QComboBox& combo, int index)
{
    combo.setCurrentIndex(index >= 0 && index < combo.count() ? index : -1);
}

void showProgress(QProgressBar& bar, int position)
{
    bar.setValue(position);
    bar.setVisible(true);
}

} // namespace kv10::editor
