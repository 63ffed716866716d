#pragma once
// The controller's table catalogue and the codec between ControllerImage fields and the
// bytes of a table's data unit. One field list per table drives decode, encode and
// access by name.
#include "ControllerImage.h"

#include <QString>
#include <cstdint>
#include <span>

namespace kv10 {

constexpr int TableCount = 20;
extern const uint8_t TableLengths[TableCount];

enum TableNumber : int {
    TableComp = 0, TableAlarm1 = 1, TableAlarm2 = 2, TableSens = 3, TablePid = 4, TableRego = 5,
    TableOnof = 6, TableDaco = 7, TableErro = 8, TableOst = 9, TableAdd = 10, TableLive = 11,
    TableRecd = 12, Table13 = 13, TableGo = 14, TableTime = 15, TableProg = 16, TableSegsp = 17,
    TableSegti = 18, TableGoext = 19
};

enum class FieldType { Float, Int16, Byte };

struct TableField {
    const char* mnemonic;                       // "SPLO", "RE-1", "A-IN", ...
    FieldType type;
    void* (*locate)(ControllerImage& image);    // address of the held value
};

struct TableInfo {
    int number;
    const char* name;                           // "ALARM1", "LIVE", ... ("" for table 13)
    std::span<const TableField> fields;         // empty: no codec
    bool hasDecoder;
    bool hasEncoder;
};

const TableInfo& tableInfo(int table);          // table 0-19
// Finds a table by name (case-insensitive) or decimal number; nullptr when unknown.
const TableInfo* findTable(const QString& nameOrNumber);
const TableField* findField(const TableInfo& table, const QString& mnemonic);

// The number a table travels under: GOEXT (19) goes on the wire as GO (14).
int wireTableNumber(int table);

// Field value as a number (float, int16 as held, byte 0-255) and back; a byte field keeps
// the low 8 bits and an int16 field stores the value whole (only its low 16 bits are sent).
double fieldValue(const ControllerImage& image, const TableField& field);
void setFieldValue(ControllerImage& image, const TableField& field, double value);

// Codec primitives; each returns the number of bytes it used.
int GetFloat(const uint8_t* at, float& value);
int PutFloat(uint8_t* at, float value);
int GetInt16(const uint8_t* at, int32_t& value);   // replaces only the low 16 bits
int PutInt16(uint8_t* at, int32_t value);
int GetByte(const uint8_t* at, uint8_t& value);
int PutByte(uint8_t* at, uint8_t value);

// Decodes table t from its data unit; returns the bytes consumed, or -1 when t has no decoder
// (the image is then unchanged). RECD decodes only its first byte.
int DecodeTable(int table, const uint8_t* data, ControllerImage& image);
// Encodes table t into `out` (TableLengths[t] bytes); returns the bytes written, or -1 when t
// has no encoder.
int EncodeTable(int table, const ControllerImage& image, uint8_t* out);

// The field-list walks behind DecodeTable and EncodeTable, without the program's read-only
// rules: the simulated controller uses them to answer LIVE and to take writes of any table.
int decodeFields(const TableInfo& table, const uint8_t* data, ControllerImage& image);
int encodeFields(const TableInfo& table, const ControllerImage& image, uint8_t* out);

} // namespace kv10
