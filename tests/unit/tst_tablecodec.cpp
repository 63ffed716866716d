#include "TableCodec.h"

#include <QSet>
#include <QTest>

#include <functional>

using namespace kv10;

namespace {

using FieldValues = QList<QPair<QString, double>>;
using Values = QList<double>;
// A table's fields read from the image, in wire order.
using Held = std::function<Values(const ControllerImage&)>;

template <typename... Field>
Values values(Field... fields)
{
    return {double(fields)...};
}

const TableField& field(int table, const char* mnemonic)
{
    const TableField* found = findField(tableInfo(table), QString::fromLatin1(mnemonic));
    Q_ASSERT(found);
    return *found;
}

int wireSize(FieldType type)
{
    return type == FieldType::Float ? 4 : type == FieldType::Int16 ? 2 : 1;
}

} // namespace

Q_DECLARE_METATYPE(FieldValues)
Q_DECLARE_METATYPE(Held)

class TableCodecTest : public QObject {
    Q_OBJECT

private slots:
    // One row per table with a codec: a literal data unit, and every field read straight
    // from the image in wire order. All values of a row differ, so no two fields can trade
    // places unnoticed; tables with an encoder must give the same bytes back.
    void everyTable_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<Values>("expected");
        QTest::addColumn<Held>("held");
        auto row = [](const char* name, int table, const char* hex, Values expected, Held held) {
            QTest::newRow(name) << table << QByteArray::fromHex(hex) << expected << held;
        };
        row("COMP", TableComp, "43168000", {150.5}, [](const ControllerImage& i) { return values(i.comp.sp); });
        row("ALARM1", TableAlarm1, "C1A40000 437A0000 40100000 03 01", {-20.5, 250, 2.25, 3, 1},
            [](const ControllerImage& i) {
                return values(i.alarm1.splo, i.alarm1.sphi, i.alarm1.hyst, i.alarm1.rala, i.alarm1.rele);
            });
        row("ALARM2", TableAlarm2, "C0A00000 40F00000 3F000000 02 01", {-5, 7.5, 0.5, 2, 1},
            [](const ControllerImage& i) {
                return values(i.alarm2.splo, i.alarm2.sphi, i.alarm2.hyst, i.alarm2.rala, i.alarm2.rele);
            });
        row("SENS", TableSens, "07 01 C1200000 44960000 BF000000 02", {7, 1, -10, 1200, -0.5, 2},
            [](const ControllerImage& i) {
                return values(i.sens.type, i.sens.dp, i.sens.strs, i.sens.ends, i.sens.offs, i.sens.comp);
            });
        row("PID", TablePid, "41200000 42C80000 41F00000 01", {10, 100, 30, 1},
            [](const ControllerImage& i) { return values(i.pid.pb, i.pid.int_, i.pid.der, i.pid.tune); });
        row("REGO", TableRego, "03 0078 0002 0010 0005 00FA 03E8", {3, 120, 2, 16, 5, 250, 1000},
            [](const ControllerImage& i) {
                return values(i.rego.type, i.rego.dser, i.rego.dead, i.rego.f2, i.rego.tpid, i.rego.ps, i.rego.per);
            });
        row("ONOF", TableOnof, "3FC00000 C0000000 3E800000 40800000 000A 01 00", {1.5, -2, 0.25, 4, 10, 1, 0},
            [](const ControllerImage& i) {
                return values(i.onof.phea, i.onof.pcoo, i.onof.hhea, i.onof.hcoo, i.onof.at, i.onof.re_1, i.onof.re_2);
            });
        row("DACO", TableDaco, "01 03 C2480000 43C80000", {1, 3, -50, 400},
            [](const ControllerImage& i) { return values(i.daco.a_in, i.daco.a_out, i.daco.astr, i.daco.aend); });
        row("ERRO", TableErro, "03 01 02 00", {3, 1, 2, 0},
            [](const ControllerImage& i) { return values(i.erro.re12, i.erro.re_3, i.erro.re_4, i.erro.yout); });
        row("OST", TableOst, "40A00000 42BF0000 0020 04D2 01 00", {5, 95.5, 32, 1234, 1, 0},
            [](const ControllerImage& i) {
                return values(i.ost.oplo, i.ost.ophi, i.ost.filt, i.ost.pass, i.ost.lock, i.ost.res);
            });
        row("ADD", TableAdd, "11 0258", {17, 600},
            [](const ControllerImage& i) { return values(i.add.adresa, i.add.zaznam); });
        row("LIVE", TableLive, "43480000 05 434B0000 01F4 41B00000 09 01", {200, 5, 203, 500, 22, 9, 1},
            [](const ControllerImage& i) {
                return values(i.live.meas, i.live.outs, i.live.sp, i.live.yout, i.live.ts, i.live.res, i.live.fault);
            });
        row("RECD", TableRecd, "2A", {42}, [](const ControllerImage& i) { return values(i.recd.pos); });
        row("GO", TableGo, "00 01 02 04", {0, 1, 2, 4},
            [](const ControllerImage& i) { return values(i.go.go, i.go.hold, i.go.pend, i.go.pcut); });
        row("TIME", TableTime, "2D 1E 0D 05 11 06 18", {45, 30, 13, 5, 17, 6, 24},
            [](const ControllerImage& i) {
                return values(i.time.sec, i.time.min, i.time.hour, i.time.wday, i.time.mday, i.time.mont, i.time.year);
            });
        row("PROG", TableProg, "02 09", {2, 9}, [](const ControllerImage& i) { return values(i.prog.prog, i.prog.c_pr); });
        row("GOEXT", TableGoext, "01 00 02 03 0F 08 1E", {1, 0, 2, 3, 15, 8, 30},
            [](const ControllerImage& i) {
                return values(i.go.go, i.go.hold, i.go.pend, i.go.pcut, i.goext.date, i.goext.hour, i.goext.min);
            });
    }

    void everyTable()
    {
        QFETCH(int, table);
        QFETCH(QByteArray, row);
        QFETCH(Values, expected);
        QFETCH(Held, held);
        QCOMPARE(QSet<double>(expected.begin(), expected.end()).size(), expected.size());
        // RECD's row is only its first byte: the decoder must not look further.
        QByteArray data = row + QByteArray(TableLengths[table] - row.size(), '\xEE');
        ControllerImage image;
        QCOMPARE(DecodeTable(table, reinterpret_cast<const uint8_t*>(data.constData()), image), row.size());
        QCOMPARE(held(image), expected);
        if (!tableInfo(table).hasEncoder)
            return;
        QByteArray out(TableLengths[table], '\x55');
        QCOMPARE(EncodeTable(table, image, reinterpret_cast<uint8_t*>(out.data())), row.size());
        QCOMPARE(out.toHex(' '), row.toHex(' '));
    }

    void encode_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<FieldValues>("values");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ADD.ZAZNAM 600") << int(TableAdd) << FieldValues{{"ADRESA", 1}, {"ZAZNAM", 600}}
                                        << QByteArray::fromHex("01 0258");
        QTest::newRow("REGO.TPID 5") << int(TableRego) << FieldValues{{"TPID", 5}}
                                     << QByteArray::fromHex("00 0000 0000 0000 0005 0000 0000");
        QTest::newRow("OST negative password") << int(TableOst) << FieldValues{{"OPHI", 2.0}, {"PASS", -1}, {"LOCK", 1}}
                                               << QByteArray::fromHex("00000000 40000000 0000 FFFF 01 00");
        QTest::newRow("PID") << int(TablePid) << FieldValues{{"PB", 10}, {"INT", 100}, {"DER", 30}, {"TUNE", 1}}
                             << QByteArray::fromHex("41200000 42C80000 41F00000 01");
        QTest::newRow("ONOF") << int(TableOnof) << FieldValues{{"HCOO", 1.0}, {"AT", 10}, {"RE-1", 1}, {"RE-2", 0}}
                              << QByteArray::fromHex("00000000 00000000 00000000 3F800000 000A 01 00");
    }

    void encode()
    {
        QFETCH(int, table);
        QFETCH(FieldValues, values);
        QFETCH(QByteArray, expected);
        ControllerImage image;
        for (const auto& [mnemonic, value] : values)
            setFieldValue(image, field(table, mnemonic.toLatin1()), value);
        QByteArray out(TableLengths[table], '\x55');
        QCOMPARE(EncodeTable(table, image, reinterpret_cast<uint8_t*>(out.data())), expected.size());
        QCOMPARE(out.toHex(' '), expected.toHex(' '));
    }

    // A received int16 replaces only the low 16 bits of the held value.
    void int16KeepsUpperHalf_data()
    {
        QTest::addColumn<int>("held");
        QTest::addColumn<int>("expected");
        QTest::newRow("zero") << 0 << 65535;
        QTest::newRow("negative") << -300 << -1;
        QTest::newRow("above 16 bits") << 0x12340000 << 0x1234FFFF;
    }

    void int16KeepsUpperHalf()
    {
        QFETCH(int, held);
        QFETCH(int, expected);
        ControllerImage image;
        image.add.zaznam = held;
        const uint8_t data[] = {0x07, 0xFF, 0xFF};
        QCOMPARE(DecodeTable(TableAdd, data, image), 3);
        QCOMPARE(image.add.zaznam, expected);
        QCOMPARE(image.add.adresa, uint8_t(7));
    }

    void catalogue()
    {
        for (int t = 0; t < TableCount; ++t) {
            const TableInfo& info = tableInfo(t);
            QCOMPARE(info.number, t);
            const bool noCodec = t == Table13 || t == TableSegsp || t == TableSegti;
            QCOMPARE(info.fields.empty(), noCodec);
            QCOMPARE(info.hasDecoder, !noCodec);
            QCOMPARE(info.hasEncoder, !noCodec && t != TableLive && t != TableRecd);
            int size = 0;
            for (const TableField& f : info.fields)
                size += wireSize(f.type);
            if (!noCodec && t != TableRecd)
                QCOMPARE(size, int(TableLengths[t]));
        }
        QCOMPARE(wireTableNumber(TableGoext), int(TableGo));
        QCOMPARE(wireTableNumber(TableGo), int(TableGo));
        QCOMPARE(tableInfo(TableRecd).fields.size(), size_t(1));
        // GOEXT extends GO with the same variables.
        ControllerImage image;
        QCOMPARE(tableInfo(TableGo).fields.size(), size_t(4));
        for (size_t i = 0; i < 4; ++i)
            QVERIFY(tableInfo(TableGoext).fields[i].locate(image) == tableInfo(TableGo).fields[i].locate(image));
    }

    void tablesWithoutCodecChangeNothing()
    {
        ControllerImage image;
        image.comp.sp = 5;
        uint8_t bytes[144] = {0x41, 0x20};
        for (int t : {int(Table13), int(TableSegsp), int(TableSegti)}) {
            QCOMPARE(DecodeTable(t, bytes, image), -1);
            QCOMPARE(EncodeTable(t, image, bytes), -1);
        }
        QCOMPARE(EncodeTable(TableLive, image, bytes), -1);
        QCOMPARE(EncodeTable(TableRecd, image, bytes), -1);
        QCOMPARE(image.comp.sp, 5.0f);
        QCOMPARE(bytes[0], uint8_t(0x41));
    }

    // Every table survives encode and decode through its field list.
    void roundTripEveryTable()
    {
        for (int t = 0; t < TableCount; ++t) {
            const TableInfo& info = tableInfo(t);
            ControllerImage source;
            int i = 0;
            for (const TableField& f : info.fields) {
                ++i;
                const double value = f.type == FieldType::Float ? -1.25 * i + 0.5
                                     : f.type == FieldType::Int16 ? 1000 * i - 3
                                                                  : 250 - i;
                setFieldValue(source, f, value);
            }
            uint8_t bytes[256] = {};
            const int written = encodeFields(info, source, bytes);
            ControllerImage target;
            QCOMPARE(decodeFields(info, bytes, target), written);
            for (const TableField& f : info.fields)
                QVERIFY2(fieldValue(target, f) == fieldValue(source, f),
                         qPrintable(QStringLiteral("%1.%2").arg(info.name, f.mnemonic)));
        }
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("number");   // -1: no such table or field
        QTest::newRow("name") << "ALARM1" << "SPLO" << 1;
        QTest::newRow("lower case") << "onof" << "re-1" << 6;
        QTest::newRow("number") << "9" << "RES" << 9;
        QTest::newRow("dashes") << "DACO" << "A-OUT" << 7;
        QTest::newRow("underscore") << "PROG" << "C_PR" << 16;
        QTest::newRow("GOEXT") << "GOEXT" << "DATE" << 19;
        QTest::newRow("GO has no DATE") << "GO" << "DATE" << -1;
        QTest::newRow("unknown table") << "FOO" << "SP" << -1;
        QTest::newRow("number out of range") << "20" << "SP" << -1;
        QTest::newRow("empty name") << "" << "SP" << -1;
    }

    void lookup()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(int, number);
        const TableInfo* info = findTable(table);
        const TableField* found = info ? findField(*info, field) : nullptr;
        QCOMPARE(found != nullptr, number >= 0);
        if (number >= 0)
            QCOMPARE(info->number, number);
    }

    void setFieldValueKeepsWireRange()
    {
        ControllerImage image;
        setFieldValue(image, field(TableSens, "TYPE"), 300);
        QCOMPARE(image.sens.type, uint8_t(44));
        setFieldValue(image, field(TableSens, "TYPE"), -1);
        QCOMPARE(image.sens.type, uint8_t(255));
        setFieldValue(image, field(TableAdd, "ZAZNAM"), 70000);
        QCOMPARE(image.add.zaznam, 70000);
        setFieldValue(image, field(TableLive, "MEAS"), 12.5);
        QCOMPARE(image.live.meas, 12.5f);
    }
};

QTEST_GUILESS_MAIN(TableCodecTest)
#include "tst_tablecodec.moc"
