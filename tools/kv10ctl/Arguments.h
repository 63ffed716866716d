// The tool's output, messages and the parsing of its arguments, shared by every command.
#pragma once

#include "TableCodec.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace kv10::ctl {

enum ExitCode {
    ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitPort = 3, ExitDiffer = 4, ExitFile = 5, ExitInterrupted = 130
};

QTextStream& out();
void fail(const QString& text);
int usageError(const QString& text);

QString formatNumber(double value, FieldType type);
std::optional<double> parseNumber(const QString& text, FieldType type);
std::optional<int> parseInt(const QString& text, int low, int high);
// "1,3,5-7": addresses and ranges, each address once, in the order given.
std::optional<std::vector<uint8_t>> parseStations(const QString& text);
QString nativePath(const QString& path);

// Reads "--name value" pairs; false on an unknown name, a missing value or one its setter refuses.
using OptionSetters = std::map<QString, std::function<bool(const QString&)>>;
bool parseCommandOptions(const QStringList& args, const OptionSetters& setters);
std::function<bool(const QString&)> intSetter(int& target, int low, int high);

} // namespace kv10::ctl
