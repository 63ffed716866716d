#include "Tool.h"

#include <functional>
#include <map>

namespace kv10::ctl {

int Tool::run(const QString& command, const QStringList& args)
{
    using Handler = std::function<int(const QStringList&)>;
    const std::map<QString, Handler> commands{
        {"ping", [this](const QStringList&) { return ping(); }},
        {"scan", [this](const QStringList& a) { return scan(a); }},
        {"ident", [this](const QStringList&) { return ident(); }},
        {"read", [this](const QStringList& a) { return read(a); }},
        {"write", [this](const QStringList& a) { return write(a); }},
        {"eeprom", [this](const QStringList&) { return eeprom(); }},
        {"program", [this](const QStringList& a) { return program(a); }},
        {"record", [this](const QStringList&) { return record(); }},
        {"poll", [this](const QStringList& a) { return poll(a); }},
        {"params", [this](const QStringList& a) { return params(a); }},
    };
    const auto found = commands.find(command);
    if (found == commands.end())
        return usageError(QStringLiteral("unknown command \"%1\" (see --help)").arg(command));
    const bool takesSeveral = command == "poll" || (command == "params" && args.value(0) == "save");
    if (severalStations() && !takesSeveral)
        return usageError(QStringLiteral("%1 talks to one station; only params save and poll take several").arg(command));
    return found->second(args);
}


} // namespace kv10::ctl
