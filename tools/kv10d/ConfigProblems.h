#pragma once
// The problems found in one configuration file, each as the technician reads it:
// "kv10d.conf:12: [line:hala] baud: what is wrong". Problems with a line come out in line order,
// the ones about the file as a whole after them.
#include <QString>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace kv10::gw {

class ConfigProblems {
public:
    static constexpr int NoLine = 0;

    // Without a file name the line reads "line 12: ...".
    explicit ConfigProblems(const QString& fileName) : m_fileName(fileName) {}

    // The section and the key may be empty where the problem has none.
    void add(int line, const QString& section, const QString& key, const QString& what)
    {
        QString where;
        if (!section.isEmpty())
            where = QLatin1Char('[') + section + QLatin1Char(']');
        if (!key.isEmpty())
            where += (where.isEmpty() ? QString() : QStringLiteral(" ")) + key;
        QString text = where.isEmpty() ? what : where + QStringLiteral(": ") + what;
        if (m_fileName.isEmpty()) {
            if (line != NoLine)
                text = QStringLiteral("line %1: ").arg(line) + text;
        } else {
            text = m_fileName + (line != NoLine ? QStringLiteral(":%1: ").arg(line) : QStringLiteral(": ")) + text;
        }
        m_found.push_back({line == NoLine ? Unnumbered : line, text});
    }

    bool empty() const { return m_found.empty(); }

    QStringList list() const
    {
        std::vector<Found> sorted = m_found;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Found& a, const Found& b) { return a.order < b.order; });
        QStringList texts;
        for (const Found& found : sorted)
            texts << found.text;
        return texts;
    }

private:
    static constexpr int Unnumbered = 1 << 30;
    struct Found {
        int order;
        QString text;
    };
    QString m_fileName;
    std::vector<Found> m_found;
};

} // namespace kv10::gw
