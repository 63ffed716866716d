#pragma once
// The parameter editor's pages as data: which control shows which field of the controller
// image and how, and what each firmware variant has of them. The editor walks these tables in
// both directions, and kv10ctl reads and writes whole sets by them without any widget.
#include <QString>
#include <QStringList>
#include <optional>
#include <span>

namespace kv10 {
struct ControllerImage;
struct TableField;
}

namespace kv10::editor {

struct PageIndices {
    static constexpr int PageCount = 13;
    enum PageIndex {
        PageComp = 0, PageAlarm1, PageAlarm2, PagePid, PageRego, PageOnof, PageSens, PageDaco,
        PageErro, PageOst, PageAdd, PageGo, PageTime
    };
};

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
    int items = 0;          // a combo box's items (with the most the firmwares offer)
};

// The rows of page 1-12 in the order the page is taken into the image. Page 0 gives the
// single setpoint that the COMP page holds when the firmware has no programs. Empty
// outside 0-12.
std::span<const Binding> pageBindings(int page);
// The row of `page` that shows `control`, or null.
const Binding* findBinding(int page, QLatin1StringView control);
const TableField& fieldOf(const Binding& binding);

// The table number of page 0-12 (its tag), -1 outside.
int pageTable(int page);

// What the firmware variants 1-3 have: programs and the GO page from variant 2, the clock
// (the TIME page and GO's start date) with variant 3. Variant 0 is an unknown firmware.
bool hasPrograms(int variant);
bool hasClock(int variant);
// The rows of `page` that the variant's firmware has: without the clock, GO is its four lists.
std::span<const Binding> variantBindings(int page, int variant);
// The table a page travels in: with the clock, GO goes with its start date as table 19.
int transferTable(int page, int variant);

// The items of cb_puc: five with the newest firmwares, the first three otherwise.
QStringList powerCutItems(bool withContinue);
// The items a list offers with that variant.
int listItemCount(const Binding& binding, int variant);

// What a page shows for the image's field: an edit's text, or a list's item position (-1
// when the list has no such item).
QString editText(const Binding& binding, const ControllerImage& image);
int listPosition(const Binding& binding, const ControllerImage& image, int variant);
// An edit's text as the field's value, as the page takes it; nullopt when it does not parse.
// A byte keeps the low eight bits of a whole number (300 is 44).
std::optional<double> editValue(Kind kind, const QString& text);

// A finite 4-byte float in the user's number format; nullopt for anything else.
std::optional<float> floatFromText(const QString& text);

extern const char* const FloatInputText;     // "Je nutné zadávat pouze čísla nebo desetinnou čárku"
extern const char* const IntegerInputText;   // "Je nutné zadávat pouze čísla"

} // namespace kv10::editor
