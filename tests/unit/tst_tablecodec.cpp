#include "TableCodec.h"

#include <QTest>

using namespace kv10;

namespace {

using FieldValues = QList<QPair<QString, double>>;

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

class TableCodecTest : public QObject {
    Q_OBJECT

private slots:
    void decode_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<FieldValues>("expected");
        QTest::newRow("PID") << int(TablePid) << QByteArray::fromHex("41200000 42C80000 41F00000 01")
                             << FieldValues{{"PB", 10.0}, {"INT", 100.0}, {"DER", 30.0}, {"TUNE", 1}};
        QTest::newRow("LIVE") << int(TableLive)
                              << QByteArray::fromHex("43480000 05 434B0000 01F4 41B00000 00 00")
                              << FieldValues{{"MEAS", 200.0}, {"OUTS", 5}, {"SP", 203.0}, {"YOUT", 500},
                                             {"TS", 22.0}, {"RES", 0}, {"FAULT", 0}};
        QTest::newRow("GOEXT") << int(TableGoext) << QByteArray::fromHex("01 00 02 03 0F 08 1E")
                               << FieldValues{{"GO", 1}, {"HOLD", 0}, {"PEND", 2}, {"PCUT", 3},
                                              {"DATE", 15}, {"HOUR", 8}, {"MIN", 30}};
        QTest::newRow("SENS") << int(TableSens) << QByteArray::fromHex("07 01 C1200000 44960000 BF000000 02")
                              << FieldValues{{"TYPE", 7}, {"DP", 1}, {"STRS", -10.0}, {"ENDS", 1200.0},
                                             {"OFFS", -0.5}, {"COMP", 2}};
    }

    void decode()
    {
        QFETCH(int, table);
        QFETCH(QByteArray, data);
        QFETCH(FieldValues, expected);
        ControllerImage image;
        QCOMPARE(DecodeTable(table, reinterpret_cast<const uint8_t*>(data.constData()), image), data.size());
        for (const auto& [mnemonic, value] : expected)
            QCOMPARE(fieldValue(image, field(table, mnemonic.toLatin1())), value);
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
