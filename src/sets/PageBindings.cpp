#include "PageBindings.h"

#include "NumberText.h"
#include "TableCodec.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace kv10::editor {

namespace {

// Rows in transfer order, which is the field order of each table. A list row carries its
// number of items.
const Binding CompRows[] = {
    {"ed_comp", TableComp, "SP", Kind::Float},
};
// ALARM 1 and ALARM 2 are one layout over their own controls and table.
#define KV10_ALARM_ROWS(n)                                  \
    {"ed_splo" #n, TableAlarm##n, "SPLO", Kind::Float},     \
    {"ed_sphi" #n, TableAlarm##n, "SPHI", Kind::Float},     \
    {"ed_hyst" #n, TableAlarm##n, "HYST", Kind::Float},     \
    {"cb_rala" #n, TableAlarm##n, "RALA", Kind::Index, 4},  \
    {"cb_re" #n, TableAlarm##n, "RELE", Kind::Index, 2}
const Binding Alarm1Rows[] = {KV10_ALARM_ROWS(1)};
const Binding Alarm2Rows[] = {KV10_ALARM_ROWS(2)};
#undef KV10_ALARM_ROWS
const Binding PidRows[] = {
    {"ed_pb", TablePid, "PB", Kind::Float},
    {"ed_ti", TablePid, "INT", Kind::Float},
    {"ed_td", TablePid, "DER", Kind::Float},
    {"cb_tune", TablePid, "TUNE", Kind::Index, 2},
};
const Binding RegoRows[] = {
    {"cb_type", TableRego, "TYPE", Kind::Index, 4},
    {"ed_dser", TableRego, "DSER", Kind::Int},
    {"ed_dead", TableRego, "DEAD", Kind::Int},
    {"cb_f2", TableRego, "F2", Kind::Index, 17},
    {"cb_tpid", TableRego, "TPID", Kind::IndexPlusOne, 46},
    {"ed_ps", TableRego, "PS", Kind::Int},
    {"ed_per", TableRego, "PER", Kind::Int},
};
const Binding OnofRows[] = {
    {"ed_phea", TableOnof, "PHEA", Kind::Float},
    {"ed_pcoo", TableOnof, "PCOO", Kind::Float},
    {"ed_hhea", TableOnof, "HHEA", Kind::Float},
    {"ed_hcoo", TableOnof, "HCOO", Kind::Float},
    {"cb_at", TableOnof, "AT", Kind::Index, 11},
    {"cb_onof_re1", TableOnof, "RE-1", Kind::Index, 2},
    {"cb_onof_re2", TableOnof, "RE-2", Kind::Index, 2},
};
const Binding SensRows[] = {
    {"cb_sens", TableSens, "TYPE", Kind::Index, 14},
    {"cb_dp", TableSens, "DP", Kind::Index, 3},
    {"ed_strs", TableSens, "STRS", Kind::Float},
    {"ed_ends", TableSens, "ENDS", Kind::Float},
    {"ed_offs", TableSens, "OFFS", Kind::Float},
    {"cb_komp", TableSens, "COMP", Kind::Index, 5},
};
const Binding DacoRows[] = {
    {"cb_ain", TableDaco, "A-IN", Kind::Index, 2},
    {"cb_aout", TableDaco, "A-OUT", Kind::Index, 4},
    {"ed_astr", TableDaco, "ASTR", Kind::Float},
    {"ed_aend", TableDaco, "AEND", Kind::Float},
};
const Binding ErroRows[] = {
    {"cb_erro12", TableErro, "RE12", Kind::Index, 5},
    {"cb_erro3", TableErro, "RE-3", Kind::Index, 3},
    {"cb_erro4", TableErro, "RE-4", Kind::Index, 3},
    {"cb_yout", TableErro, "YOUT", Kind::Index, 3},
};
const Binding OstRows[] = {
    {"ed_oplo", TableOst, "OPLO", Kind::Float},
    {"ed_ophi", TableOst, "OPHI", Kind::Float},
    {"cb_filtr", TableOst, "FILT", Kind::Index, 33},
    {"ed_pass", TableOst, "PASS", Kind::Int},
    {"cb_loc", TableOst, "LOCK", Kind::Index, 2},
    {nullptr, TableOst, "RES", Kind::Zero},
};
const Binding AddRows[] = {
    {"ed_adresa", TableAdd, "ADRESA", Kind::SignedByte},
    {"ed_zaznam", TableAdd, "ZAZNAM", Kind::Int},
};
// The date rows come last: without them the page is GO's own four fields.
constexpr size_t GoLists = 4;
const Binding GoRows[] = {
    {"cb_go", TableGoext, "GO", Kind::Index, 2},
    {"cb_hold", TableGoext, "HOLD", Kind::Index, 2},
    {"cb_pend", TableGoext, "PEND", Kind::Index, 3},
    {"cb_puc", TableGoext, "PCUT", Kind::Index, 5},
    {"ed_godate", TableGoext, "DATE", Kind::Byte},
    {"ed_gohour", TableGoext, "HOUR", Kind::Byte},
    {"ed_gomin", TableGoext, "MIN", Kind::Byte},
};
const Binding TimeRows[] = {
    {"ed_sec", TableTime, "SEC", Kind::Byte},
    {"ed_min", TableTime, "MIN", Kind::Byte},
    {"ed_hour", TableTime, "HOUR", Kind::Byte},
    {"cb_wday", TableTime, "WDAY", Kind::IndexPlusOne, 7},
    {"ed_mday", TableTime, "MDAY", Kind::Byte},
    {"ed_month", TableTime, "MONT", Kind::Byte},
    {"ed_year", TableTime, "YEAR", Kind::Byte},
};

const std::span<const Binding> Pages[] = {
    CompRows, Alarm1Rows, Alarm2Rows, PidRows, RegoRows, OnofRows, SensRows,
    DacoRows, ErroRows, OstRows, AddRows, GoRows, TimeRows,
};
constexpr int PageTables[] = {
    TableComp, TableAlarm1, TableAlarm2, TablePid, TableRego, TableOnof, TableSens,
    TableDaco, TableErro, TableOst, TableAdd, TableGo, TableTime,
};
constexpr int PageCount = int(std::size(PageTables));
static_assert(PageCount == PageIndices::PageCount);

constexpr int PowerCutItemsWithoutClock = 3;

} // namespace

const char* const FloatInputText = "Je nutné zadávat pouze čísla nebo desetinnou čárku";
const char* const IntegerInputText = "Je nutné zadávat pouze čísla";

std::span<const Binding> pageBindings(int page)
{
    return page >= 0 && page < PageCount ? Pages[page] : std::span<const Binding>();
}

const Binding* findBinding(int page, QLatin1StringView control)
{
    for (const Binding& binding : pageBindings(page))
        if (binding.control && control == QLatin1StringView(binding.control))
            return &binding;
    return nullptr;
}

const TableField& fieldOf(const Binding& binding)
{
    return *findField(tableInfo(binding.table), QLatin1StringView(binding.field));
}

int pageTable(int page)
{
    return page >= 0 && page < PageCount ? PageTables[page] : -1;
}

bool hasPrograms(int variant)
{
    return variant != 1;
}

bool hasClock(int variant)
{
    return variant != 1 && variant != 2;
}

std::span<const Binding> variantBindings(int page, int variant)
{
    const std::span<const Binding> rows = pageBindings(page);
    return page == PageIndices::PageGo && variant == 2 ? rows.first(GoLists) : rows;
}

int transferTable(int page, int variant)
{
    const int table = pageTable(page);
    return variant == 3 && table == TableGo ? TableGoext : table;
}

QStringList powerCutItems(bool withContinue)
{
    QStringList items = {
        QStringLiteral("OFF-ukončení programu s vypnutím"),
        QStringLiteral("RST-nový start programu"),
        QStringLiteral("SBY-udržování žádané hodnoty ( SBY)"),
    };
    if (withContinue)
        items << QStringLiteral("CONT-pokračování v programu") << QStringLiteral("LAST-udržování poslední dosažené SP");
    return items;
}

int listItemCount(const Binding& binding, int variant)
{
    if (std::strcmp(binding.field, "PCUT") == 0 && !hasClock(variant))
        return PowerCutItemsWithoutClock;
    return binding.items;
}

QString editText(const Binding& binding, const ControllerImage& image)
{
    const double value = fieldValue(image, fieldOf(binding));
    switch (binding.kind) {
    case Kind::Float: return fixedNumberText(value);
    case Kind::SignedByte: return QString::number(static_cast<int8_t>(static_cast<uint8_t>(value)));
    default: return QString::number(static_cast<int32_t>(value));
    }
}

int listPosition(const Binding& binding, const ControllerImage& image, int variant)
{
    const int offset = binding.kind == Kind::IndexPlusOne ? 1 : 0;
    const int position = static_cast<int32_t>(fieldValue(image, fieldOf(binding))) - offset;
    return position >= 0 && position < listItemCount(binding, variant) ? position : -1;
}

std::optional<double> editValue(Kind kind, const QString& text)
{
    switch (kind) {
    case Kind::Float:
        if (const std::optional<float> value = floatFromText(text))
            return *value;
        return std::nullopt;
    case Kind::Byte:
    case Kind::SignedByte:
        if (const std::optional<int> value = parseInteger(text))
            return static_cast<uint8_t>(*value);
        return std::nullopt;
    default:
        if (const std::optional<int> value = parseInteger(text))
            return *value;
        return std::nullopt;
    }
}

std::optional<float> floatFromText(const QString& text)
{
    const std::optional<double> value = parseNumber(text);
    // Beyond the float range the controller would get an infinity.
    if (!value || !std::isfinite(*value) || std::fabs(*value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(*value);
}

} // namespace kv10::editor
