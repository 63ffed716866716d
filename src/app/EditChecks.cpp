#include "EditChecks.h"

#include "NumberText.h"

#include <QLineEdit>
#include <QPushButton>

namespace kv10 {

bool parseIntegerEdit(QLineEdit& edit, Prompts* prompts, const QString& errorText, const QString& resetText)
{
    if (parseInteger(edit.text()))
        return true;
    if (prompts)
        prompts->message(errorText, InputErrorCaption, PromptIcon::Warning, PromptButton::Ok, nullptr);
    edit.setText(resetText);
    edit.setFocus();
    return false;
}

bool checkIntegerEditRange(QLineEdit& edit, int low, int high, Prompts* prompts, const QString& rangeText,
                           QObject* owner)
{
    const auto value = parseInteger(edit.text());
    if (value && *value >= low && *value <= high)
        return true;
    if (prompts)
        prompts->message(rangeText, RangeErrorCaption, PromptIcon::Error, PromptButton::Ok, owner);
    return false;
}

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool pressFocusedButton(QWidget& dialog, int key)
{
    auto* button = qobject_cast<QPushButton*>(dialog.focusWidget());
    if (!isEnterKey(key) || !button || !button->isEnabled())
        return false;
    button->click();
    return true;
}

} // namespace kv10
