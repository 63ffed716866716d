// read, write and eeprom.
#include "Tool.h"

namespace kv10::ctl {

void Tool::printTable(const TableInfo& table)
{
    for (const TableField& field : table.fields)
        out() << table.name << '.' << field.mnemonic << '='
              << formatNumber(fieldValue(m_image, field), field.type) << Qt::endl;
}

int Tool::read(const QStringList& args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("read needs one table name or number"));
    const TableInfo* table = findTable(args[0]);
    if (!table || !table->hasDecoder)
        return usageError(QStringLiteral("no readable table \"%1\"").arg(args[0]));
    if (!onLink([table](TelegramLink& link) { return link.ReadTable(table->number); }))
        return exchangeFailed(QStringLiteral("reading table %1 failed").arg(table->name));
    printTable(*table);
    return ExitOk;
}

int Tool::write(const QStringList& args)
{
    if (args.size() < 2)
        return usageError(QStringLiteral("write needs a table and at least one FIELD=VALUE"));
    const TableInfo* table = findTable(args[0]);
    if (!table || !table->hasEncoder)
        return usageError(QStringLiteral("no writable table \"%1\"").arg(args[0]));
    // Check every assignment before touching the controller.
    std::vector<std::pair<const TableField*, double>> changes;
    for (const QString& assignment : args.mid(1)) {
        const int equals = assignment.indexOf('=');
        const TableField* field = equals > 0 ? findField(*table, assignment.left(equals)) : nullptr;
        if (!field)
            return usageError(QStringLiteral("no field \"%1\" in table %2").arg(assignment.left(equals), table->name));
        const auto value = parseNumber(assignment.mid(equals + 1), field->type);
        if (!value)
            return usageError(QStringLiteral("bad value in \"%1\"").arg(assignment));
        changes.emplace_back(field, *value);
    }
    if (!onLink([table](TelegramLink& link) { return link.ReadTable(table->number); }))
        return exchangeFailed(QStringLiteral("reading table %1 failed").arg(table->name));
    for (const auto& [field, value] : changes)
        setFieldValue(m_image, *field, value);
    if (!onLink([table](TelegramLink& link) { return link.WriteTable(table->number); }))
        return exchangeFailed(QStringLiteral("writing table %1 failed").arg(table->name));
    printTable(*table);
    return ExitOk;
}

int Tool::eeprom()
{
    if (!onLink([](TelegramLink& link) { return link.StoreToEeprom(); }))
        return exchangeFailed(QStringLiteral("storing to EEPROM failed"));
    out() << "stored" << Qt::endl;
    return ExitOk;
}

} // namespace kv10::ctl
