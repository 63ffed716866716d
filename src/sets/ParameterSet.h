#pragma once
// A whole parameter set in its INI file: the pages ALARM 1 to GO and COMP of the parameter
// editor and the ten setpoint programs. The editor saves its pages as they stand; kv10ctl saves
// what the editor would show after a read-out, and loads and compares sets value by value.
#include "IniFile.h"
#include "PageBindings.h"

#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kv10 {
struct ControllerImage;
}

namespace kv10::sets {

extern const char* const VersionText;        // "KORVIN10 [V.1.0]"
extern const char* const WrongVersionText;   // "INI soubor není typu KORVIN 10 [V.1.0]"

// One key of the pages ALARM 1 to GO: a list is kept as its item position, an edit as its text.
struct PageKey {
    int page;
    const char* section;
    const char* key;
    const char* control;
    const char* fallback;   // what loading takes when the file lacks the key
};
std::span<const PageKey> pageKeys();

// The COMP page's own four keys as its controls hold them.
struct CompPageTexts {
    QString programType;     // PROG, a list position
    QString programNumber;   // C_PR, a list position
    QString setpoint;        // SP, the text of ed_comp
    QString startValue;      // POCATEK, the text of ed_pocatek
};

// The text a page control holds for its key.
using PageText = std::function<QString(const PageKey&)>;

// Writes every key of the set: IDENT, the pages, COMP with the programs of `image`.
void writeParameterSet(IniFile& ini, const PageText& pageText, const CompPageTexts& comp,
                       const ControllerImage& image);
// The set as a fresh editor shows it after a read-out of a firmware of that variant into `image`.
void writeReadOutSet(IniFile& ini, const ControllerImage& image, int variant);

// A file without the identification passes; one that begins with it too.
bool versionAccepted(const IniFile& ini);

QString startKey(int program);
QString segmentKey(const char* name, int program, int segment);

// One value of the set that travels to the controller: a page's list or edit, the single
// setpoint of a firmware without programs, or a program's start value, setpoint or time.
struct SetValue {
    enum Part { Page, Start, Setpoint, Time };
    Part part;
    const char* section;
    QString key;
    const char* fallback;
    const editor::Binding* binding;   // Page
    int program;                      // Start, Setpoint, Time
    int segment;                      // Setpoint, Time

    QString name() const { return QLatin1String(section) + QLatin1Char('.') + key; }
};

constexpr int AnyVariant = -1;
// The values that a load sends and a comparison looks at with that firmware; with AnyVariant
// those of every variant.
std::vector<SetValue> setValues(int variant);

// The value's text in the file, or its default when the file lacks the key.
QString fileText(const IniFile& ini, const SetValue& value);
// The text the file holds for the value in `image`.
QString valueText(const SetValue& value, const ControllerImage& image, int variant);
// The number that `text` gives as the controller stores it (a byte its low eight bits, a
// 16-bit field its low sixteen); nullopt when it does not parse or names no item of a list.
std::optional<double> storedNumber(const SetValue& value, const QString& text, int variant);
void storeNumber(const SetValue& value, double number, ControllerImage& image);

} // namespace kv10::sets
