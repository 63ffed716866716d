#pragma once
// The few widget helpers that the editor and its program page share, beside the pages as data.
#include "PageBindings.h"

class QComboBox;
class QProgressBar;
namespace kv10 { class Prompts; }

namespace kv10::editor {

// The "CHYBA" box of a field that does not parse.
void showInputError(Prompts& prompts, const char* text);

// Selects the item of that index, or none when the list has no such item.
void selectItem(QComboBox& combo, int index);

// The progress bar shows that a command runs; it is painted at once, since the blocking
// exchange that follows keeps the event loop from doing it.
void showProgress(QProgressBar& bar, int position);

} // namespace kv10::editor
