#include "Arguments.h"

#include "Telegram.h"

#include <QDir>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace kv10::ctl {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

void fail(const QString& text)
{
    QTextStream(stderr) << "kv10ctl: " << text << Qt::endl;
}

int usageError(const QString& text)
{
    fail(text);
    return ExitUsage;
}

QString formatNumber(double value, FieldType type)
{
    if (type != FieldType::Float)
        return QString::number(static_cast<qint64>(value));
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

std::optional<double> parseNumber(const QString& text, FieldType type)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    // "nan", "inf" and numbers beyond a float would reach the controller as nonsense.
    if (!ok || !std::isfinite(static_cast<float>(value)))
        return std::nullopt;
    if (type == FieldType::Byte && (value < 0 || value > 255 || value != qint64(value)))
        return std::nullopt;
    if (type == FieldType::Int16 && (value < -32768 || value > 65535 || value != qint64(value)))
        return std::nullopt;
    return value;
}

std::optional<int> parseInt(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<std::vector<uint8_t>> parseStations(const QString& text)
{
    std::vector<uint8_t> stations;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        const std::optional<int> first = ends.size() <= 2 ? parseInt(ends.first(), 0, HighestStationAddress) : std::nullopt;
        const std::optional<int> last = ends.size() == 2 ? parseInt(ends.last(), 0, HighestStationAddress) : first;
        if (!first || !last || *first > *last)
            return std::nullopt;
        for (int address = *first; address <= *last; ++address)
            if (std::find(stations.begin(), stations.end(), address) == stations.end())
                stations.push_back(uint8_t(address));
    }
    return stations;
}

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool parseCommandOptions(const QStringList& args, const OptionSetters& setters)
{
    for (int i = 0; i < args.size(); i += 2) {
        const auto setter = setters.find(args[i]);
        if (setter == setters.end() || i + 1 >= args.size() || !setter->second(args[i + 1]))
            return false;
    }
    return true;
}

std::function<bool(const QString&)> intSetter(int& target, int low, int high)
{
    return [&target, low, high](const QString& text) {
        const std::optional<int> value = parseInt(text, low, high);
        if (value)
            target = *value;
        return value.has_value();
    };
}

} // namespace kv10::ctl
