#pragma once
// The INI layer of kv10d's configuration: [section] headers, key=value lines, full-line comments
// (# or ;) and blank lines, UTF-8. What is not one of these, a key outside any section, a key
// given twice in a section and a section given twice are reported; the values are left to the
// caller.
#include <QByteArray>
#include <QString>
#include <vector>

namespace kv10::gw {

class ConfigProblems;

struct IniEntry {
    QString key;
    QString value;
    int line = 0;
};

struct IniSection {
    QString name;      // between the brackets, blanks trimmed
    int line = 0;
    std::vector<IniEntry> entries;
};

// A section given twice is reported and its second copy left out.
std::vector<IniSection> readIni(const QByteArray& text, ConfigProblems& problems);

} // namespace kv10::gw
