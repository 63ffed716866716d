#pragma once
// The values of kv10d's configuration read from their text: numbers with a decimal point in any
// locale, yes/no, baud rates, station lists, listen addresses, client addresses and the names
// that go into MQTT topics. Each says in words what is wrong with a value it refuses.
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace kv10::gw {

template <typename T>
struct Checked {
    std::optional<T> value;
    QString problem;   // set when there is no value
};

// The text in quotes, long ones cut, for a problem line.
QString quoted(const QString& text);

// Plain decimal digits. The unit, when given, is named in the problem ("seconds").
Checked<int> wholeNumber(const QString& text, int lowest, int highest, const QString& unit = {});
// Digits with an optional decimal point, in seconds, e.g. "0.5" or "2".
Checked<double> decimalSeconds(const QString& text, double lowest, double highest);
// yes, no, true, false, 1, 0, on, off, in any case.
Checked<bool> yesNo(const QString& text);
// One of the rates the port dialog offers.
Checked<int> baudRate(const QString& text);
// "1-4,7": bus addresses 0-126 and ranges a-b, each address once; ascending.
Checked<std::vector<int>> stationList(const QString& text);
// Addresses as ranges for a problem line: "3, 5-7".
QString addressRanges(const std::vector<int>& addresses);

struct ListenAddress {
    QString host;   // an IPv6 address without its brackets
    int port = 0;
};
// HOST:PORT with an IPv4 address or a host name, or [IPv6]:PORT.
Checked<ListenAddress> listenAddress(const QString& text);
// Comma-separated IP addresses; empty text is an empty list.
Checked<QStringList> addressList(const QString& text);

// A name that makes one level of a topic (the gateway's name, a line's name) or a prefix of
// several levels. An empty problem: the name is fine.
enum class TopicPart { Level, Prefix };
QString topicNameProblem(const QString& name, TopicPart part);
// A line's name: letters, digits, "_" and "-".
QString lineNameProblem(const QString& name);

} // namespace kv10::gw
