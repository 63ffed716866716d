#pragma once
// The parameter editor's pages as data: which control shows which field of the controller
// image and how. The editor walks these tables in both directions; no field has code of its
// own. Also the few helpers that the editor and its program page share.
#include <QString>
#include <QStringList>
#include <optional>
#include <span>

class QComboBox;
class QProgressBar;
namespace kv10 { class Prompts; }

namespace kv10::editor {

enum class Kind {
    Float,          // fixed-number text, ParseFloatField
    Int,            // decimal, ParseIntField
    Byte,           // decimal 0-255, ParseByteField
    SignedByte,     // a byte shown as -128..127, ParseByteField
    Index,          // the combo box's item index is the code
    IndexPlusOne,   // the code is the item index plus one
    Zero,           // no control: the field becomes 0 whenever the page is taken
};

struct Binding {
    const char* control;    // object name in the form; nullptr for Zero
    int table;              // the table whose field list holds the field
    const char* field;      // its mnemonic there
    Kind kind;
};

// The rows of page 1-12 in the order the page is taken into the image. Page 0 gives the
// single setpoint that the COMP page holds when the firmware has no programs. Empty
// outside 0-12.
std::span<const Binding> pageBindings(int page);

// The table number of page 0-12 (its tag), -1 outside.
int pageTable(int page);

// The items of cb_puc: five with the newest firmwares, the first three otherwise.
QStringList powerCutItems(bool withContinue);

// A finite 4-byte float in the user's number format; nullopt for anything else.
std::optional<float> floatFromText(const QString& text);

extern const char* const FloatInputText;     // "Je nutné zadávat pouze čísla nebo desetinnou čárku"
extern const char* const IntegerInputText;   // "Je nutné zadávat pouze čísla"

// The "CHYBA" box of a field that does not parse.
void showInputError(Prompts& prompts, const char* text);

// Selects the item of that index, or none when the list has no such item.
void selectItem(QComboBox& combo, int index);

// The progress bar shows that a command runs; it is painted at once, since the blocking
// exchange that follows keeps the event loop from doing it.
void showProgress(QProgressBar& bar, int position);

} // namespace kv10::editor
