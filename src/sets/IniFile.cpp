#include "IniFile.h"

#include "AppError.h"
#include "AtomicFile.h"
#include "CodePage.h"
#include "NumberText.h"

#include <QFile>
#include <algorithm>

namespace kv10 {

namespace {

const QByteArray CrLf = QByteArrayLiteral("\r\n");
const QByteArray Utf8Mark = QByteArrayLiteral("\xEF\xBB\xBF");

// Names are ASCII in practice; any other byte is compared as it is.
QByteArray byteName(QByteArrayView name)
{
    return name.trimmed().toByteArray().toLower();
}

QByteArray windows1250(QAnyStringView text)
{
    return toWindows1250(text.toString());
}

QByteArray nameKey(QAnyStringView name)
{
    return byteName(windows1250(name));
}

// The value of an entry line: what follows the first '=', without blanks; none without '='.
QByteArrayView valueOf(QByteArrayView line)
{
    const qsizetype equals = line.indexOf('=');
    return equals < 0 ? QByteArrayView() : line.sliced(equals + 1).trimmed();
}

} // namespace

bool IniFile::load(const QString& path)
{
    QFile file(path);
    if (!file.exists()) {
        parse({});
        return true;
    }
    if (!file.open(QIODevice::ReadOnly))
        return false;
    parse(file.readAll());
    return true;
}

bool IniFile::save(const QString& path) const
{
    try {
        writeFileAtomically(path, content());
    } catch (const AppError&) {
        return false;
    }
    return true;
}

QByteArray IniFile::content() const
{
    QByteArray out;
    for (const Section& section : m_sections)
        for (const Line& line : section.lines)
            out.append(line.text).append(line.end);
    return out;
}

void IniFile::parse(const QByteArray& content)
{
    m_sections.assign(1, Section{});
    m_sectionIndex.clear();
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype newline = content.indexOf('\n', start);
        const qsizetype stop = newline < 0 ? content.size() : newline;
        const bool cr = newline > start && content[newline - 1] == '\r';
        addLine({content.mid(start, stop - start - (cr ? 1 : 0)), newline < 0 ? QByteArray() : cr ? CrLf : "\n"},
                start == 0);
        start = stop + 1;
    }
}

void IniFile::addLine(Line line, bool first)
{
    QByteArrayView text = QByteArrayView(line.text).trimmed();
    if (first && text.startsWith(Utf8Mark))
        text = text.sliced(Utf8Mark.size()).trimmed();
    const qsizetype close = text.lastIndexOf(']');
    if (text.startsWith('[') && close > 0) {
        const QByteArray name = byteName(text.sliced(1, close - 1));
        if (!m_sectionIndex.contains(name))
            m_sectionIndex.insert(name, int(m_sections.size()));
        m_sections.emplace_back().lines.push_back(std::move(line));
        return;
    }
    Section& section = m_sections.back();
    // Blank lines and comments are kept but never read; a line without '=' is a key without value.
    if (!text.isEmpty() && !text.startsWith(';')) {
        const qsizetype equals = text.indexOf('=');
        const QByteArray name = byteName(equals < 0 ? text : text.first(equals));
        if (!name.isEmpty()) {
            section.lastKey = int(section.lines.size());
            if (!section.keys.contains(name))
                section.keys.insert(name, section.lastKey);
        }
    }
    section.lines.push_back(std::move(line));
}

int IniFile::findSection(const QByteArray& name) const
{
    return m_sectionIndex.value(name, -1);
}

const IniFile::Line* IniFile::findEntry(QAnyStringView section, QAnyStringView key) const
{
    const int index = findSection(nameKey(section));
    if (index < 0)
        return nullptr;
    const Section& found = m_sections[index];
    const int line = found.keys.value(nameKey(key), -1);
    return line < 0 ? nullptr : &found.lines[line];
}

QString IniFile::readString(QAnyStringView section, QAnyStringView key, const QString& fallback) const
{
    const Line* entry = findEntry(section, key);
    if (!entry)
        return fallback;
    const QByteArrayView value = valueOf(entry->text);
    return fromWindows1250(value.first(std::min(value.size(), MaxValueLength)));
}

int IniFile::readInteger(QAnyStringView section, QAnyStringView key, int fallback) const
{
    const Line* entry = findEntry(section, key);
    return entry ? parseInteger(fromWindows1250(valueOf(entry->text))).value_or(fallback) : fallback;
}

void IniFile::writeString(QAnyStringView section, QAnyStringView key, const QString& value)
{
    // A line break in a value would make lines of its own.
    const QByteArray bytes = toWindows1250(value).replace('\r', ' ').replace('\n', ' ');
    const QByteArray entry = windows1250(key) + '=' + bytes;
    const QByteArray sectionName = nameKey(section);
    const int index = findSection(sectionName);
    if (index < 0) {
        for (auto it = m_sections.rbegin(); it != m_sections.rend(); ++it) {
            if (!it->lines.empty()) {
                if (it->lines.back().end.isEmpty())
                    it->lines.back().end = CrLf;
                break;
            }
        }
        m_sectionIndex.insert(sectionName, int(m_sections.size()));
        Section& added = m_sections.emplace_back();
        added.lines = {{'[' + windows1250(section) + ']', CrLf}, {entry, CrLf}};
        added.keys.insert(nameKey(key), 1);
        added.lastKey = 1;
        return;
    }
    Section& found = m_sections[index];
    const QByteArray keyName = nameKey(key);
    const int line = found.keys.value(keyName, -1);
    if (line >= 0) {
        // Only the value changes; an equal value leaves the line as it was.
        QByteArray& text = found.lines[line].text;
        if (valueOf(text) == bytes && text.contains('='))
            return;
        const qsizetype equals = text.indexOf('=');
        text = (equals < 0 ? text + '=' : text.first(equals + 1)) + bytes;
        return;
    }
    // Every line after the last key is a blank or a comment: no key index moves.
    Line& before = found.lines[found.lastKey];
    if (before.end.isEmpty())
        before.end = CrLf;
    ++found.lastKey;
    found.lines.insert(found.lines.begin() + found.lastKey, {entry, CrLf});
    found.keys.insert(keyName, found.lastKey);
}

} // namespace kv10
