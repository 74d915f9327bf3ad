#include "results/csvexport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pexumo {
namespace {

// 2026-12-09 14:03:07 at UTC+1, and one second later.
constexpr qint64 Stamp = 1796821387000;
constexpr qint64 NextStamp = 1796821388000;
constexpr NumberFormat Point{u'.', u','};
constexpr NumberFormat Comma{u',', u'.'};

ResultRecord sample(const char* time, const char* type, const char* value, const char* unit,
                    const char* temp, const char* tempUnit, qint64 stamp = Stamp)
{
    return {time, type, value, unit, temp, tempUnit, 0, stamp, 3600};
}

ResultRecord record(const char* no, const char* type, const char* value, const char* unit,
                    const char* temp, const char* tempUnit, qint32 sign, qint64 stamp = Stamp)
{
    return {no, type, value, unit, temp, tempUnit, sign, stamp, 3600};
}

QByteArray exported(ListKind kind, const QList<ResultRecord>& records, NumberFormat format)
{
    ResultListModel list(kind);
    for (const ResultRecord& r : records)
        list.add(r);
    return exportCsvBytes(list, format);
}

struct CsvCase
{
    const char* name;
    ListKind kind;
    NumberFormat format;
    QList<ResultRecord> records;
    const char* bytes;
};

void PrintTo(const CsvCase& c, std::ostream* os)
{
    *os << c.name;
}

class CsvLayout : public testing::TestWithParam<CsvCase>
{
};

TEST_P(CsvLayout, WritesTheseBytes)
{
    const CsvCase& c = GetParam();
    EXPECT_EQ(exported(c.kind, c.records, c.format).toStdString(), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, CsvLayout,
    testing::Values(CsvCase{"oldest first, decimal point",
                            ListKind::Sample,
                            Point,
                            {sample("14:03:07", "pH", "7.01", "pH", "25.3", "C"),
                             sample("14:03:08", "pH", "-1.5", "pH", "77", "F", NextStamp)},
                            "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                            "2026-12-09,14:03:07,pH,7.01,pH,25.3,C\r\n"
                            "2026-12-09,14:03:08,pH,-1.5,pH,77,F\r\n"},
                    CsvCase{"decimal comma: semicolons",
                            ListKind::Sample,
                            Comma,
                            {sample("14:03:07", "pH", "7,01", "pH", "25,3", "C"),
                             sample("14:03:08", "pH", "-1,5", "pH", "77", "F", NextStamp)},
                            "Date;Time;Type;Value;Unit;Temperature;Temperature unit\r\n"
                            "2026-12-09;14:03:07;pH;7,01;pH;25,3;C\r\n"
                            "2026-12-09;14:03:08;pH;-1,5;pH;77;F\r\n"},
                    CsvCase{"rows made before the comma was switched on",
                            ListKind::Sample,
                            Comma,
                            {sample("14:03:07", "COND", "1.41", "ms", "25.1", "C")},
                            "Date;Time;Type;Value;Unit;Temperature;Temperature unit\r\n"
                            "2026-12-09;14:03:07;COND;1,41;ms;25,1;C\r\n"},
                    CsvCase{"rows made before the comma was switched off",
                            ListKind::Sample,
                            Point,
                            {sample("14:03:07", "COND", "1,41", "ms", "25,1", "C")},
                            "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                            "2026-12-09,14:03:07,COND,1.41,ms,25.1,C\r\n"},
                    CsvCase{"no instant: empty date, the stored time",
                            ListKind::Sample,
                            Point,
                            {sample("10:15:30", "DO", "8.1", "mg/L", "25.3", "", 0)},
                            "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                            ",10:15:30,DO,8.1,mg/L,25.3,\r\n"},
                    CsvCase{"each row in the offset it was taken in",
                            ListKind::Sample,
                            Point,
                            {{"02:30:00", "O2", "95.4", "%", "20", "C", 0, 1792888200000, 7200},
                             {"02:30:00", "O2", "95.5", "%", "20", "C", 0, 1792891800000, 3600}},
                            "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                            "2026-10-25,02:30:00,O2,95.4,%,20,C\r\n"
                            "2026-10-25,02:30:00,O2,95.5,%,20,C\r\n"},
                    CsvCase{"ORP and pH in mV carry no temperature",
                            ListKind::Orp,
                            Point,
                            {sample("14:03:07", "pH", "-120.5", "mV", "", ""),
                             sample("14:03:08", "ORP", "500", "mV", "25.3", "C", NextStamp)},
                            "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                            "2026-12-09,14:03:07,pH,-120.5,mV,,\r\n"
                            "2026-12-09,14:03:08,ORP,500,mV,,\r\n"},
                    CsvCase{"ORP with a decimal comma",
                            ListKind::Orp,
                            Comma,
                            {sample("14:03:07", "ORP", "-120,5", "mV", "", "")},
                            "Date;Time;Type;Value;Unit;Temperature;Temperature unit\r\n"
                            "2026-12-09;14:03:07;ORP;-120,5;mV;;\r\n"}));

INSTANTIATE_TEST_SUITE_P(
    Records, CsvLayout,
    testing::Values(CsvCase{"in arrival order, minus from the sign",
                            ListKind::Downloaded,
                            Point,
                            {record("3", "ORP", "120.5", "mV", "", "", -1),
                             record("1", "pH", "7.01", "pH", "025.50", "C", 1, NextStamp),
                             record("2", "TDS", "1.2", "ppt", "77", "F", 1, 0)},
                            "Record,Type,Value,Unit,Temperature,Temperature unit,Received\r\n"
                            "3,ORP,-120.5,mV,,,2026-12-09 14:03:07\r\n"
                            "1,pH,7.01,pH,025.50,C,2026-12-09 14:03:08\r\n"
                            "2,TDS,1.2,ppt,77,F,\r\n"},
                    CsvCase{"decimal comma",
                            ListKind::Downloaded,
                            Comma,
                            {record("3", "ORP", "120,5", "mV", "", "", -1),
                             record("4", "COND", "1.41", "ms", "25.5", "C", 1)},
                            "Record;Type;Value;Unit;Temperature;Temperature unit;Received\r\n"
                            "3;ORP;-120,5;mV;;;2026-12-09 14:03:07\r\n"
                            "4;COND;1,41;ms;25,5;C;2026-12-09 14:03:07\r\n"},
                    CsvCase{"no plain sign, no line",
                            ListKind::Downloaded,
                            Point,
                            {record("1", "pH", "7", "pH", "25", "C", 0),
                             record("2", "pH", "7", "pH", "25", "C", 2),
                             record("3", "pH", "7", "pH", "25", "C", -1)},
                            "Record,Type,Value,Unit,Temperature,Temperature unit,Received\r\n"
                            "3,pH,-7,pH,25,C,2026-12-09 14:03:07\r\n"}));

INSTANTIATE_TEST_SUITE_P(
    Texts, CsvLayout,
    testing::Values(
        CsvCase{"a separator, a quote or a line break is quoted",
                ListKind::Sample,
                Point,
                {sample("14:03:07", "a,b", "OL", "say \"hi\"", "1,2,3", "two\r\nlines")},
                "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                "2026-12-09,14:03:07,\"a,b\",OL,\"say \"\"hi\"\"\",\"1,2,3\",\"two\r\nlines\"\r\n"},
        CsvCase{"a comma needs no quotes between semicolons",
                ListKind::Sample,
                Comma,
                {sample("14:03:07", "a,b", "7.", "x;y", "--5", "C")},
                "Date;Time;Type;Value;Unit;Temperature;Temperature unit\r\n"
                "2026-12-09;14:03:07;a,b;7.;\"x;y\";--5;C\r\n"},
        CsvCase{"texts that only look like numbers stay as stored",
                ListKind::Downloaded,
                Point,
                {record("no", "pH", "-7.5", "pH", ".5", "C", -1),
                 record("7", "pH", "1.2.3", "pH", "1e3", "C", 1)},
                "Record,Type,Value,Unit,Temperature,Temperature unit,Received\r\n"
                "no,pH,--7.5,pH,.5,C,2026-12-09 14:03:07\r\n"
                "7,pH,1.2.3,pH,1e3,C,2026-12-09 14:03:07\r\n"},
        CsvCase{"a regional decimal sign other than point or comma",
                ListKind::Sample,
                NumberFormat{u'\u066B', u'\u066C'},
                {sample("14:03:07", "pH",
                        "7\xd9\xab"
                        "12",
                        "pH",
                        "25\xd9\xab"
                        "3",
                        "C")},
                "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                "2026-12-09,14:03:07,pH,7.12,pH,25.3,C\r\n"},
        CsvCase{"UTF-8 passes through, no byte order mark",
                ListKind::Sample,
                Point,
                {sample("14:03:07", "\xc2\xb5S", "1",
                        "\xc2\xb0"
                        "C",
                        "20", "C")},
                "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                "2026-12-09,14:03:07,\xc2\xb5S,1,\xc2\xb0"
                "C,20,C\r\n"}));

INSTANTIATE_TEST_SUITE_P(
    EmptyLists, CsvLayout,
    testing::Values(CsvCase{"samples",
                            ListKind::Sample,
                            Point,
                            {},
                            "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"},
                    CsvCase{"ORP with a decimal comma",
                            ListKind::Orp,
                            Comma,
                            {},
                            "Date;Time;Type;Value;Unit;Temperature;Temperature unit\r\n"},
                    CsvCase{"records",
                            ListKind::Downloaded,
                            Point,
                            {},
                            "Record,Type,Value,Unit,Temperature,Temperature unit,Received\r\n"},
                    CsvCase{"records without a plain sign",
                            ListKind::Downloaded,
                            Comma,
                            {record("1", "pH", "7", "pH", "25", "C", 0)},
                            "Record;Type;Value;Unit;Temperature;Temperature unit;Received\r\n"}));

struct NameCase
{
    const char* typed;
    const char* saved;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.typed;
}

class CsvFileName : public testing::TestWithParam<NameCase>
{
};

TEST_P(CsvFileName, GetsCsvUnlessItEndsWithIt)
{
    EXPECT_EQ(withCsvExtension(GetParam().typed).toStdString(), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(Cases, CsvFileName,
                         testing::Values(NameCase{"result", "result.csv"},
                                         NameCase{"result.csv", "result.csv"},
                                         NameCase{"result.CSV", "result.CSV"},
                                         NameCase{"Result.cSv", "Result.cSv"},
                                         NameCase{"data.csv.bak", "data.csv.bak.csv"},
                                         NameCase{"result.txt", "result.txt.csv"},
                                         NameCase{"old.csv/result", "old.csv/result.csv"},
                                         NameCase{"resultcsv", "resultcsv.csv"}));

// Reads a CSV file with Python's csv module, strict about quoting, and returns its rows.
QList<QStringList> readWithPython(const QString& path, char separator)
{
    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import csv, json, sys\n"
                        "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                        "    rows = list(csv.reader(f, delimiter=sys.argv[2], strict=True))\n"
                        "print(json.dumps(rows))\n"),
         path, QString(QLatin1Char(separator))});
    if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        ADD_FAILURE() << "python3 could not read the file: " << python.errorString().toStdString()
                      << python.readAllStandardError().toStdString();
        return {};
    }
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray())
            fields << field.toString();
        rows << fields;
    }
    return rows;
}

struct RoundTripCase
{
    const char* name;
    NumberFormat format;
    char separator;
    QList<QStringList> rows;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.name;
}

class CsvRoundTrip : public testing::TestWithParam<RoundTripCase>
{
};

TEST_P(CsvRoundTrip, AnotherReaderGetsTheSameFields)
{
    const RoundTripCase& c = GetParam();
    ResultListModel list(ListKind::Downloaded);
    list.add(record("1", "pH", "7.01", "pH", "25", "C", 1));
    list.add(record("2", "ORP", "120.5", "mV", "", "", -1));
    list.add(record("3", "say \"a,b;c\"", "1", "two\r\nlines", "77", "F", 1, 0));
    list.add(record("4", "\xc2\xb5S", "12", "u", "20.5", "C", 1));
    QTemporaryDir dir;
    const QString path = dir.filePath("records.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_GT(file.write(exportCsvBytes(list, c.format)), 0);
    file.close();

    EXPECT_EQ(readWithPython(path, c.separator), c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Separators, CsvRoundTrip,
    testing::Values(
        RoundTripCase{
            "comma and point",
            Point,
            ',',
            {{"Record", "Type", "Value", "Unit", "Temperature", "Temperature unit", "Received"},
             {"1", "pH", "7.01", "pH", "25", "C", "2026-12-09 14:03:07"},
             {"2", "ORP", "-120.5", "mV", "", "", "2026-12-09 14:03:07"},
             {"3", "say \"a,b;c\"", "1", "two\r\nlines", "77", "F", ""},
             {"4", QString::fromUtf8("\xc2\xb5S"), "12", "u", "20.5", "C", "2026-12-09 14:03:07"}}},
        RoundTripCase{
            "semicolon and comma",
            Comma,
            ';',
            {{"Record", "Type", "Value", "Unit", "Temperature", "Temperature unit", "Received"},
             {"1", "pH", "7,01", "pH", "25", "C", "2026-12-09 14:03:07"},
             {"2", "ORP", "-120,5", "mV", "", "", "2026-12-09 14:03:07"},
             {"3", "say \"a,b;c\"", "1", "two\r\nlines", "77", "F", ""},
             {"4", QString::fromUtf8("\xc2\xb5S"), "12", "u", "20,5", "C",
              "2026-12-09 14:03:07"}}}));

} // namespace
} // namespace pexumo
