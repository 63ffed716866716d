#pragma once
// The two checks of an integer edit field in the settings dialogs: "is it a number" and
// "is it in range", each reporting through Prompts with the dialog's own texts.
#include "Prompts.h"

class QLineEdit;
class QWidget;

namespace kv10 {

inline const QString InputErrorCaption = QStringLiteral("CHYBA");
inline const QString RangeErrorCaption = QStringLiteral("EDIT");

// Not an integer: an owner-less box (`errorText`, "CHYBA", exclamation), the field becomes
// `resetText` and gets the focus; false.
bool parseIntegerEdit(QLineEdit& edit, Prompts* prompts, const QString& errorText, const QString& resetText);

// The field's integer outside low..high: a box (`rangeText`, "EDIT", error icon); false.
bool checkIntegerEditRange(QLineEdit& edit, int low, int high, Prompts* prompts, const QString& rangeText,
                           QObject* owner);

// True for the Enter keys, which the dialogs' edit fields handle themselves.
bool isEnterKey(int key);

// Enter on a focused push button of `dialog` presses that button, as Windows does (the
// dialogs have no default button); true when it did.
bool pressFocusedButton(QWidget& dialog, int key);

} // namespace kv10
