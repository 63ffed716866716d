#pragma once
// An INI file held in memory and treated as the Windows profile functions treat one: read a key
// with a default, write a key in place. Section and key names match without regard to case and
// the first of equal names counts. A key that its section lacks goes after the section's last
// key, a missing section at the end of the file; every other line keeps its bytes. The text is
// Windows-1250, lines written new end in CR LF.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QAnyStringView>
#include <vector>

namespace kv10 {

class IniFile {
public:
    // Longer values are cut here, as the profile functions cut them at the caller's buffer.
    static constexpr qsizetype MaxValueLength = 2047;

    IniFile() { parse({}); }
    explicit IniFile(const QByteArray& content) { parse(content); }

    // A missing file reads as an empty one; false when the file is there but cannot be read.
    bool load(const QString& path);
    // Replaces the whole file at once; false when that failed, and then the file is as it was.
    // A file without any write permission is refused, as Windows refuses a read-only file.
    bool save(const QString& path) const;
    QByteArray content() const;

    // The value without the blanks around it; `fallback` when the key is not there.
    QString readString(QAnyStringView section, QAnyStringView key, const QString& fallback) const;
    // A whole decimal number; `fallback` when the key is missing or holds anything else.
    int readInteger(QAnyStringView section, QAnyStringView key, int fallback) const;
    void writeString(QAnyStringView section, QAnyStringView key, const QString& value);

private:
    struct Line {
        QByteArray text;   // without its line end
        QByteArray end;    // "\r\n", "\n", or empty on a last line that has none
    };
    struct Section {
        std::vector<Line> lines;         // the header line first
        QHash<QByteArray, int> keys;     // lower-case key name -> line of its first entry
        int lastKey = 0;                 // a new key goes after this line
    };

    void parse(const QByteArray& content);
    void addLine(Line line, bool first);
    const Line* findEntry(QAnyStringView section, QAnyStringView key) const;
    int findSection(const QByteArray& name) const;

    std::vector<Section> m_sections;        // [0] holds the lines before the first header
    QHash<QByteArray, int> m_sectionIndex;  // lower-case name -> its first section
};

} // namespace kv10
