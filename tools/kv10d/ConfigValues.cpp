#include "ConfigValues.h"

#include "ControllerSession.h"
#include "Protocol.h"

#include <QHostAddress>
#include <QLocale>
#include <algorithm>
#include <set>

namespace kv10::gw {

namespace {

constexpr int HighestPort = 65535;

bool allAsciiDigits(QStringView text)
{
    return !text.isEmpty()
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Digits only and short enough not to overflow; the caller checks the range.
std::optional<int> plainNumber(QStringView text)
{
    constexpr int LongestAccepted = 9;
    if (!allAsciiDigits(text) || text.size() > LongestAccepted)
        return std::nullopt;
    return text.toInt();
}

template <typename T>
Checked<T> refused(const QString& problem)
{
    return {std::nullopt, problem};
}

// Labels of letters, digits and "-", split by dots: what a resolver takes as a host name.
bool isHostName(const QString& host)
{
    constexpr int LongestName = 253;
    constexpr int LongestLabel = 63;
    if (host.isEmpty() || host.size() > LongestName)
        return false;
    const QStringList labels = host.split(QLatin1Char('.'));
    for (const QString& label : labels) {
        if (label.isEmpty() || label.size() > LongestLabel || label.startsWith(QLatin1Char('-'))
            || label.endsWith(QLatin1Char('-')))
            return false;
        for (QChar c : label)
            if (!(c.isDigit() && c.unicode() < 128) && !(c.isLetter() && c.unicode() < 128) && c != u'-')
                return false;
    }
    // Digits and dots only is meant as an IPv4 address: four parts, each 0-255.
    if (std::all_of(labels.begin(), labels.end(), [](const QString& label) { return allAsciiDigits(label); })) {
        QHostAddress address;
        return labels.size() == 4 && address.setAddress(host)
               && address.protocol() == QAbstractSocket::IPv4Protocol;
    }
    return true;
}

} // namespace

QString quoted(const QString& text)
{
    constexpr int Shown = 60;
    return QLatin1Char('"') + (text.size() > Shown ? text.left(Shown) + QStringLiteral("...") : text)
           + QLatin1Char('"');
}

Checked<int> wholeNumber(const QString& text, int lowest, int highest, const QString& unit)
{
    const std::optional<int> number = plainNumber(text);
    if (number && *number >= lowest && *number <= highest)
        return {number, {}};
    const QString what = unit.isEmpty() ? QStringLiteral("a whole number") : QStringLiteral("a whole number of ") + unit;
    return refused<int>(quoted(text) + QStringLiteral(" is not %1 from %2 to %3").arg(what).arg(lowest).arg(highest));
}

Checked<double> decimalSeconds(const QString& text, double lowest, double highest)
{
    // Digits and at most one point: no sign, exponent, blank or the locale's comma.
    const bool plain = text.count(QLatin1Char('.')) <= 1
                       && std::all_of(text.begin(), text.end(), [](QChar c) { return c == u'.' || (c >= u'0' && c <= u'9'); })
                       && std::any_of(text.begin(), text.end(), [](QChar c) { return c != u'.'; });
    bool converted = false;
    const double seconds = plain ? QLocale::c().toDouble(text, &converted) : 0.0;
    if (converted && seconds >= lowest && seconds <= highest)
        return {seconds, {}};
    const QLocale c = QLocale::c();
    return refused<double>(quoted(text)
                           + QStringLiteral(" is not a number of seconds from %1 to %2 (with a decimal point, e.g. 2.5)")
                                 .arg(c.toString(lowest, 'g', 6), c.toString(highest, 'g', 6)));
}

Checked<bool> yesNo(const QString& text)
{
    const QString word = text.toLower();
    if (word == u"yes" || word == u"true" || word == u"1" || word == u"on")
        return {true, {}};
    if (word == u"no" || word == u"false" || word == u"0" || word == u"off")
        return {false, {}};
    return refused<bool>(quoted(text) + QStringLiteral(" is neither yes nor no (yes, no, true, false, 1, 0, on, off)"));
}

Checked<int> baudRate(const QString& text)
{
    const std::optional<int> number = plainNumber(text);
    QStringList offered;
    for (int rate : ControllerSession::BaudRates) {
        if (number == rate)
            return {rate, {}};
        offered << QString::number(rate);
    }
    return refused<int>(quoted(text) + QStringLiteral(" is not a rate the line offers (%1)").arg(offered.join(u", ")));
}

Checked<std::vector<int>> stationList(const QString& text)
{
    if (text.isEmpty())
        return refused<std::vector<int>>(QStringLiteral("is empty; name the bus addresses to read, e.g. 1-4,7"));
    QStringList problems;
    std::set<int> addresses;
    std::set<int> repeated;
    for (const QString& rawItem : text.split(QLatin1Char(','))) {
        const QString item = rawItem.trimmed();
        const qsizetype dash = item.indexOf(QLatin1Char('-'));
        const std::optional<int> first = plainNumber(QStringView(item).left(dash < 0 ? item.size() : dash).trimmed());
        const std::optional<int> last = dash < 0 ? first : plainNumber(QStringView(item).mid(dash + 1).trimmed());
        if (!first || !last) {
            problems << quoted(item) + QStringLiteral(" is neither an address nor a range a-b");
            continue;
        }
        if (*first > HighestStationAddress || *last > HighestStationAddress) {
            problems << quoted(item) + QStringLiteral(" is outside the bus addresses 0-%1").arg(HighestStationAddress);
            continue;
        }
        if (*first > *last) {
            problems << quoted(item) + QStringLiteral(" runs backwards");
            continue;
        }
        for (int address = *first; address <= *last; ++address)
            if (!addresses.insert(address).second)
                repeated.insert(address);
    }
    if (!repeated.empty())
        problems << addressRanges({repeated.begin(), repeated.end()})
                        + (repeated.size() == 1 ? QStringLiteral(" is named twice") : QStringLiteral(" are named twice"));
    if (!problems.isEmpty())
        return refused<std::vector<int>>(problems.join(u"; "));
    return {std::vector<int>(addresses.begin(), addresses.end()), {}};
}

QString addressRanges(const std::vector<int>& addresses)
{
    QStringList ranges;
    for (size_t start = 0; start < addresses.size();) {
        size_t end = start;
        while (end + 1 < addresses.size() && addresses[end + 1] == addresses[end] + 1)
            ++end;
        ranges << (end == start ? QString::number(addresses[start])
                                : QStringLiteral("%1-%2").arg(addresses[start]).arg(addresses[end]));
        start = end + 1;
    }
    return ranges.join(u", ");
}

Checked<ListenAddress> listenAddress(const QString& text)
{
    const QString form = QStringLiteral(" is not HOST:PORT (e.g. 127.0.0.1:1502, 0.0.0.0:502 or [::1]:1502)");
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return refused<ListenAddress>(quoted(text) + form);
    QString host = text.left(colon);
    const QString portText = text.mid(colon + 1);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
        QHostAddress address;
        if (!address.setAddress(host) || address.protocol() != QAbstractSocket::IPv6Protocol)
            return refused<ListenAddress>(quoted(host) + QStringLiteral(" in brackets is not an IPv6 address"));
    } else if (!isHostName(host)) {
        return refused<ListenAddress>(quoted(text) + form);
    }
    const Checked<int> port = wholeNumber(portText, 1, HighestPort);
    if (!port.value)
        return refused<ListenAddress>(QStringLiteral("port ") + port.problem);
    return {ListenAddress{host, *port.value}, {}};
}

Checked<QStringList> addressList(const QString& text)
{
    if (text.isEmpty())
        return {QStringList(), {}};
    QStringList addresses;
    QStringList problems;
    for (const QString& rawItem : text.split(QLatin1Char(','))) {
        const QString item = rawItem.trimmed();
        if (QHostAddress address; address.setAddress(item))
            addresses << item;
        else
            problems << quoted(item) + QStringLiteral(" is not an IP address");
    }
    if (!problems.isEmpty())
        return refused<QStringList>(problems.join(u"; "));
    return {addresses, {}};
}

QString topicNameProblem(const QString& name, TopicPart part)
{
    if (name.isEmpty())
        return QStringLiteral("is empty; it makes part of the MQTT topics");
    for (QChar c : name) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return quoted(name) + QStringLiteral(" holds a blank or a control character, which a topic may not hold");
        if (c == u'+' || c == u'#')
            return quoted(name) + QStringLiteral(" holds \"%1\", a wildcard of MQTT topics").arg(c);
    }
    if (part == TopicPart::Level && name.contains(QLatin1Char('/')))
        return quoted(name) + QStringLiteral(" holds \"/\", which would split it into two topic levels");
    if (part == TopicPart::Prefix && (name.startsWith(QLatin1Char('/')) || name.endsWith(QLatin1Char('/'))))
        return quoted(name) + QStringLiteral(" starts or ends with \"/\"");
    return {};
}

QString lineNameProblem(const QString& name)
{
    const bool fine = !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return c.isLetter() || c.isDigit() || c == u'_' || c == u'-';
    });
    return fine ? QString()
                : QStringLiteral("the line's name %1 may hold only letters, digits, \"_\" and \"-\"").arg(quoted(name));
}

} // namespace kv10::gw
