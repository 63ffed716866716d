#include "TableCodec.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kv10 {

const uint8_t TableLengths[TableCount] = {4, 14, 14, 15, 13, 13, 20, 10, 4, 14,
                                          3, 17, 100, 62, 4, 7, 2, 32, 144, 7};

namespace {

#define KV10_FIELD(mnemonic, type, member) \
    TableField { mnemonic, FieldType::type, [](ControllerImage& i) -> void* { return &i.member; } }

const TableField CompFields[] = {
    KV10_FIELD("SP", Float, comp.sp),
};
// ALARM1 and ALARM2 share one layout over their own variables.
#define KV10_ALARM_FIELDS(alarm)                                                        \
    KV10_FIELD("SPLO", Float, alarm.splo), KV10_FIELD("SPHI", Float, alarm.sphi),      \
    KV10_FIELD("HYST", Float, alarm.hyst), KV10_FIELD("RALA", Byte, alarm.rala),       \
    KV10_FIELD("RELE", Byte, alarm.rele)
const TableField Alarm1Fields[] = {KV10_ALARM_FIELDS(alarm1)};
const TableField Alarm2Fields[] = {KV10_ALARM_FIELDS(alarm2)};
#undef KV10_ALARM_FIELDS
const TableField SensFields[] = {
    KV10_FIELD("TYPE", Byte, sens.type),  KV10_FIELD("DP", Byte, sens.dp),
    KV10_FIELD("STRS", Float, sens.strs), KV10_FIELD("ENDS", Float, sens.ends),
    KV10_FIELD("OFFS", Float, sens.offs), KV10_FIELD("COMP", Byte, sens.comp),
};
const TableField PidFields[] = {
    KV10_FIELD("PB", Float, pid.pb),   KV10_FIELD("INT", Float, pid.int_),
    KV10_FIELD("DER", Float, pid.der), KV10_FIELD("TUNE", Byte, pid.tune),
};
const TableField RegoFields[] = {
    KV10_FIELD("TYPE", Byte, rego.type),  KV10_FIELD("DSER", Int16, rego.dser),
    KV10_FIELD("DEAD", Int16, rego.dead), KV10_FIELD("F2", Int16, rego.f2),
    KV10_FIELD("TPID", Int16, rego.tpid), KV10_FIELD("PS", Int16, rego.ps),
    KV10_FIELD("PER", Int16, rego.per),
};
const TableField OnofFields[] = {
    KV10_FIELD("PHEA", Float, onof.phea), KV10_FIELD("PCOO", Float, onof.pcoo),
    KV10_FIELD("HHEA", Float, onof.hhea), KV10_FIELD("HCOO", Float, onof.hcoo),
    KV10_FIELD("AT", Int16, onof.at),     KV10_FIELD("RE-1", Byte, onof.re_1),
    KV10_FIELD("RE-2", Byte, onof.re_2),
};
const TableField DacoFields[] = {
    KV10_FIELD("A-IN", Byte, daco.a_in),  KV10_FIELD("A-OUT", Byte, daco.a_out),
    KV10_FIELD("ASTR", Float, daco.astr), KV10_FIELD("AEND", Float, daco.aend),
};
const TableField ErroFields[] = {
    KV10_FIELD("RE12", Byte, erro.re12), KV10_FIELD("RE-3", Byte, erro.re_3),
    KV10_FIELD("RE-4", Byte, erro.re_4), KV10_FIELD("YOUT", Byte, erro.yout),
};
const TableField OstFields[] = {
    KV10_FIELD("OPLO", Float, ost.oplo), KV10_FIELD("OPHI", Float, ost.ophi),
    KV10_FIELD("FILT", Int16, ost.filt), KV10_FIELD("PASS", Int16, ost.pass),
    KV10_FIELD("LOCK", Byte, ost.lock),  KV10_FIELD("RES", Byte, ost.res),
};
const TableField AddFields[] = {
    KV10_FIELD("ADRESA", Byte, add.adresa), KV10_FIELD("ZAZNAM", Int16, add.zaznam),
};
const TableField LiveFields[] = {
    KV10_FIELD("MEAS", Float, live.meas), KV10_FIELD("OUTS", Byte, live.outs),
    KV10_FIELD("SP", Float, live.sp),     KV10_FIELD("YOUT", Int16, live.yout),
    KV10_FIELD("TS", Float, live.ts),     KV10_FIELD("RES", Byte, live.res),
    KV10_FIELD("FAULT", Byte, live.fault),
};
// Only the record write pointer is kept; the rest of the 100 bytes is unused.
const TableField RecdFields[] = {
    KV10_FIELD("POS", Byte, recd.pos),
};
// GOEXT begins with GO's four fields and shares their variables.
const TableField GoextFields[] = {
    KV10_FIELD("GO", Byte, go.go),         KV10_FIELD("HOLD", Byte, go.hold),
    KV10_FIELD("PEND", Byte, go.pend),     KV10_FIELD("PCUT", Byte, go.pcut),
    KV10_FIELD("DATE", Byte, goext.date),  KV10_FIELD("HOUR", Byte, goext.hour),
    KV10_FIELD("MIN", Byte, goext.min),
};
const std::span<const TableField> GoFields(GoextFields, 4);
const TableField TimeFields[] = {
    KV10_FIELD("SEC", Byte, time.sec),   KV10_FIELD("MIN", Byte, time.min),
    KV10_FIELD("HOUR", Byte, time.hour), KV10_FIELD("WDAY", Byte, time.wday),
    KV10_FIELD("MDAY", Byte, time.mday), KV10_FIELD("MONT", Byte, time.mont),
    KV10_FIELD("YEAR", Byte, time.year),
};
const TableField ProgFields[] = {
    KV10_FIELD("PROG", Byte, prog.prog), KV10_FIELD("C_PR", Byte, prog.c_pr),
};

#undef KV10_FIELD

const TableInfo Tables[TableCount] = {
    {TableComp, "COMP", CompFields, true, true},
    {TableAlarm1, "ALARM1", Alarm1Fields, true, true},
    {TableAlarm2, "ALARM2", Alarm2Fields, true, true},
    {TableSens, "SENS", SensFields, true, true},
    {TablePid, "PID", PidFields, true, true},
    {TableRego, "REGO", RegoFields, true, true},
    {TableOnof, "ONOF", OnofFields, true, true},
    {TableDaco, "DACO", DacoFields, true, true},
    {TableErro, "ERRO", ErroFields, true, true},
    {TableOst, "OST", OstFields, true, true},
    {TableAdd, "ADD", AddFields, true, true},
    {TableLive, "LIVE", LiveFields, true, false},
    {TableRecd, "RECD", RecdFields, true, false},
    {Table13, "", {}, false, false},
    {TableGo, "GO", GoFields, true, true},
    {TableTime, "TIME", TimeFields, true, true},
    {TableProg, "PROG", ProgFields, true, true},
    {TableSegsp, "SEGSP", {}, false, false},
    {TableSegti, "SEGTI", {}, false, false},
    {TableGoext, "GOEXT", GoextFields, true, true},
};

// Whole part of a number, kept inside the 32-bit range (NaN gives 0).
int32_t wholeValue(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int32_t>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

} // namespace

const TableInfo& tableInfo(int table)
{
    return Tables[table];
}

const TableInfo* findTable(const QString& nameOrNumber)
{
    const QString key = nameOrNumber.trimmed();
    bool isNumber = false;
    const int number = key.toInt(&isNumber);
    if (isNumber)
        return number >= 0 && number < TableCount ? &Tables[number] : nullptr;
    if (key.isEmpty())
        return nullptr;
    for (const TableInfo& table : Tables) {
        if (key.compare(QLatin1String(table.name), Qt::CaseInsensitive) == 0)
            return &table;
    }
    return nullptr;
}

const TableField* findField(const TableInfo& table, const QString& mnemonic)
{
    for (const TableField& field : table.fields) {
        if (mnemonic.compare(QLatin1String(field.mnemonic), Qt::CaseInsensitive) == 0)
            return &field;
    }
    return nullptr;
}

int wireTableNumber(int table)
{
    return table == TableGoext ? TableGo : table;
}

double fieldValue(const ControllerImage& image, const TableField& field)
{
    // locate only computes an address; the value is read, never written.
    void* at = field.locate(const_cast<ControllerImage&>(image));
    switch (field.type) {
    case FieldType::Float: return *static_cast<float*>(at);
    case FieldType::Int16: return *static_cast<int32_t*>(at);
    case FieldType::Byte: return *static_cast<uint8_t*>(at);
    }
    return 0;
}

void setFieldValue(ControllerImage& image, const TableField& field, double value)
{
    void* at = field.locate(image);
    switch (field.type) {
    case FieldType::Float: *static_cast<float*>(at) = static_cast<float>(value); break;
    case FieldType::Int16: *static_cast<int32_t*>(at) = wholeValue(value); break;
    case FieldType::Byte: *static_cast<uint8_t*>(at) = static_cast<uint8_t>(wholeValue(value) & 0xFF); break;
    }
}

int GetFloat(const uint8_t* at, float& value)
{
    const uint32_t bits = uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
    value = std::bit_cast<float>(bits);
    return 4;
}

int PutFloat(uint8_t* at, float value)
{
    const auto bits = std::bit_cast<uint32_t>(value);
    at[0] = uint8_t(bits >> 24);
    at[1] = uint8_t(bits >> 16);
    at[2] = uint8_t(bits >> 8);
    at[3] = uint8_t(bits);
    return 4;
}

int GetInt16(const uint8_t* at, int32_t& value)
{
    const uint32_t low = uint32_t(at[0]) << 8 | at[1];
    value = static_cast<int32_t>((static_cast<uint32_t>(value) & 0xFFFF0000u) | low);
    return 2;
}

int PutInt16(uint8_t* at, int32_t value)
{
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
    return 2;
}

int GetByte(const uint8_t* at, uint8_t& value)
{
    value = at[0];
    return 1;
}

int PutByte(uint8_t* at, uint8_t value)
{
    at[0] = value;
    return 1;
}

int decodeFields(const TableInfo& table, const uint8_t* data, ControllerImage& image)
{
    int offset = 0;
    for (const TableField& field : table.fields) {
        void* at = field.locate(image);
        switch (field.type) {
        case FieldType::Float: offset += GetFloat(data + offset, *static_cast<float*>(at)); break;
        case FieldType::Int16: offset += GetInt16(data + offset, *static_cast<int32_t*>(at)); break;
        case FieldType::Byte: offset += GetByte(data + offset, *static_cast<uint8_t*>(at)); break;
        }
    }
    return offset;
}

int encodeFields(const TableInfo& table, const ControllerImage& image, uint8_t* out)
{
    int offset = 0;
    for (const TableField& field : table.fields) {
        const void* at = field.locate(const_cast<ControllerImage&>(image));
        switch (field.type) {
        case FieldType::Float: offset += PutFloat(out + offset, *static_cast<const float*>(at)); break;
        case FieldType::Int16: offset += PutInt16(out + offset, *static_cast<const int32_t*>(at)); break;
        case FieldType::Byte: offset += PutByte(out + offset, *static_cast<const uint8_t*>(at)); break;
        }
    }
    return offset;
}

int DecodeTable(int table, const uint8_t* data, ControllerImage& image)
{
    if (table < 0 || table >= TableCount || !Tables[table].hasDecoder)
        return -1;
    return decodeFields(Tables[table], data, image);
}

int EncodeTable(int table, const ControllerImage& image, uint8_t* out)
{
    if (table < 0 || table >= TableCount || !Tables[table].hasEncoder)
        return -1;
    return encodeFields(Tables[table], image, out);
}

} // namespace kv10
