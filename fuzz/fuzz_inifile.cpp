// The parameter-file INI service: parse, read every key of the sections found with defaults,
// write one key back and parse the result again.
#include "IniFile.h"

#include <QList>

using namespace kv10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    IniFile file(content);

    // Section and key names come from the input itself, as a loader would look them up.
    QByteArray section;
    QList<QPair<QByteArray, QByteArray>> entries;
    for (const QByteArray& raw : content.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[') && line.indexOf(']') > 0)
            section = line.mid(1, line.indexOf(']') - 1);
        else if (line.contains('='))
            entries.append({section, line.left(line.indexOf('='))});
    }
    for (const auto& [sectionName, key] : entries) {
        file.readString(QLatin1StringView(sectionName), QLatin1StringView(key), QStringLiteral("-"));
        file.readInteger(QLatin1StringView(sectionName), QLatin1StringView(key), -1);
    }
    file.readInteger("Parametry", "Missing", 7);

    const QString written = QStringLiteral("12345");
    const QByteArray firstSection = entries.isEmpty() ? QByteArray("Fuzz") : entries.front().first;
    file.writeString(QLatin1StringView(firstSection), "FuzzKey", written);
    IniFile reread(file.content());
    reread.readString(QLatin1StringView(firstSection), "FuzzKey", {});
    return 0;
}
