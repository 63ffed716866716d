#pragma once
// The few widget helpers that the editor and its program page share, beside the pages as data.
#include "PageBindings.h"

#include <cstdint>

class QComboBox;
class QLineEdit;
class QProgressBar;
namespace kv10 { class Prompts; }

namespace kv10::editor {

// The "CHYBA" box of a field that does not parse.
void showInputError(Prompts& prompts, const char* text);

// Each parses the edit's text in the user's number format into `value`. On failure: the
// "CHYBA" box, the value and the text become 0, the edit gets the focus, -1.
int parseFloatField(Prompts& prompts, float& value, QLineEdit& edit);
int parseByteField(Prompts& prompts, uint8_t& value, QLineEdit& edit);
int parseIntField(Prompts& prompts, int32_t& value, QLineEdit& edit);
// -1 with the "EDIT" box when value lies outside lowest..highest, else 0.
int checkRange(Prompts& prompts, int lowest, int highest, int value);

// Selects the item of that index, or none when the list has no such item.
void selectItem(QComboBox& combo, int index);

// The progress bar shows that a command runs.
void showProgress(QProgressBar& bar, int position);

} // namespace kv10::editor
