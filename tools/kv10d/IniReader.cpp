#include "IniReader.h"

#include "ConfigProblems.h"
#include "ConfigValues.h"

#include <QStringDecoder>

namespace kv10::gw {

namespace {

const IniEntry* findEntry(const IniSection& section, const QString& key)
{
    for (const IniEntry& entry : section.entries)
        if (entry.key == key)
            return &entry;
    return nullptr;
}

const IniSection* findSection(const std::vector<IniSection>& sections, const QString& name)
{
    for (const IniSection& section : sections)
        if (section.name == name)
            return &section;
    return nullptr;
}

} // namespace

std::vector<IniSection> readIni(const QByteArray& text, ConfigProblems& problems)
{
    std::vector<IniSection> sections;
    IniSection* current = nullptr;
    bool skippingSection = false;   // inside the second copy of a section
    // The decoder drops a byte order mark.
    const QList<QByteArray> rawLines = text.split('\n');
    for (qsizetype index = 0; index < rawLines.size(); ++index) {
        const int lineNumber = int(index) + 1;
        QByteArray raw = rawLines[index];
        if (raw.endsWith('\r'))
            raw.chop(1);
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = QString(decoder(raw)).trimmed();
        if (decoder.hasError()) {
            problems.add(lineNumber, {}, {}, QStringLiteral("the line is not UTF-8 text"));
            continue;
        }
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2).trimmed();
            if (const IniSection* first = findSection(sections, name)) {
                problems.add(lineNumber, name, {},
                             QStringLiteral("the section is given twice (first on line %1)").arg(first->line));
                skippingSection = true;
                continue;
            }
            sections.push_back({name, lineNumber, {}});
            current = &sections.back();
            skippingSection = false;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString key = equals > 0 ? line.left(equals).trimmed() : QString();
        if (key.isEmpty()) {
            problems.add(lineNumber, {}, {},
                         quoted(line) + QStringLiteral(" is neither a [section], a key=value line nor a comment"));
            continue;
        }
        if (skippingSection)
            continue;
        if (!current) {
            problems.add(lineNumber, {}, key, QStringLiteral("comes before any [section]"));
            continue;
        }
        if (const IniEntry* first = findEntry(*current, key)) {
            problems.add(lineNumber, current->name, key,
                         QStringLiteral("is given twice in the section (first on line %1)").arg(first->line));
            continue;
        }
        current->entries.push_back({key, line.mid(equals + 1).trimmed(), lineNumber});
    }
    return sections;
}

} // namespace kv10::gw
