#include "results/resultlistmodel.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace pexumo {
namespace {

ResultRecord sampleAt(const QString& time)
{
    return {time, "pH", "7.01", "pH", "25.3", "C", 0};
}

QString timeOf(int i)
{
    return QStringLiteral("%1:%2:%3")
        .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
        .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(i % 60, 2, 10, QLatin1Char('0'));
}

std::string displayed(const ResultListModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toString().toStdString();
}

TEST(ResultListModel, HeadersByKind)
{
    const QStringList five{"Time", "Type", "Value", "Unit", "Temp"};
    const QStringList six{"DataNo", "Type", "Value", "Unit", "Temp", "TempUnit"};
    for (auto [kind, expected] : {std::pair{ListKind::Sample, five}, std::pair{ListKind::Orp, five},
                                  std::pair{ListKind::Downloaded, six}}) {
        ResultListModel model(kind);
        ASSERT_EQ(model.columnCount(), expected.size());
        for (int c = 0; c < expected.size(); ++c)
            EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), expected[c]);
        EXPECT_FALSE(model.headerData(expected.size(), Qt::Horizontal).isValid());
        EXPECT_FALSE(model.headerData(0, Qt::Vertical).isValid());
        EXPECT_EQ(model.rowCount(), 0);
    }
}

TEST(ResultListModel, SampleListShowsNewestOnTopAndKeepsAddingOrder)
{
    ResultListModel model(ListKind::Sample);
    for (const char* time : {"10:00:01", "10:00:02", "10:00:03"})
        model.add(sampleAt(time));
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(displayed(model, 0, 0), "10:00:03");
    EXPECT_EQ(displayed(model, 1, 0), "10:00:02");
    EXPECT_EQ(displayed(model, 2, 0), "10:00:01");
    EXPECT_EQ(model.recordInOrder(0).TimeOrNo, "10:00:01");
    EXPECT_EQ(model.recordAtRow(0).TimeOrNo, "10:00:03");
}

TEST(ResultListModel, DownloadedListShowsArrivalOrder)
{
    ResultListModel model(ListKind::Downloaded);
    for (const char* no : {"1", "2", "3"})
        model.add({no, "ORP", "120.5", "mV", "", "", 1});
    EXPECT_EQ(displayed(model, 0, 0), "1");
    EXPECT_EQ(displayed(model, 2, 0), "3");
    EXPECT_EQ(model.recordInOrder(2).TimeOrNo, "3");
    EXPECT_EQ(model.recordAtRow(2).TimeOrNo, "3");
}

TEST(ResultListModel, AnnouncesWhereTheNewRowGoes)
{
    for (auto [kind, expectedRow] : {std::pair{ListKind::Sample, 0}, std::pair{ListKind::Orp, 0},
                                     std::pair{ListKind::Downloaded, 2}}) {
        ResultListModel model(kind);
        model.add(sampleAt("10:00:01"));
        model.add(sampleAt("10:00:02"));
        QList<std::pair<int, int>> inserted;
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [&inserted](const QModelIndex&, int first, int last) {
                             inserted.append({first, last});
                         });
        model.add(sampleAt("10:00:03"));
        ASSERT_EQ(inserted.size(), 1);
        EXPECT_EQ(inserted[0].first, expectedRow);
        EXPECT_EQ(inserted[0].second, expectedRow);
        EXPECT_EQ(model.recordAtRow(expectedRow).TimeOrNo, "10:00:03");
    }
}

// Rows packed apart and appended at once land where as many add() calls would put them, with
// one insertion for the view.
TEST(ResultListModel, PackedRowsAppendAsOneInsertion)
{
    for (auto [kind, first, last, topRow] : {std::tuple{ListKind::Sample, 0, 1, "10:00:03"},
                                             std::tuple{ListKind::Orp, 0, 1, "10:00:03"},
                                             std::tuple{ListKind::Downloaded, 1, 2, "10:00:01"}}) {
        ResultListModel model(kind);
        model.add(sampleAt("10:00:01"));
        ResultListModel::PackedRows rows;
        rows.add({{"10:00:02", "pH", "-7.5", "pH", "25.3", "\xc2\xb5"}, 5, 1765270801000, 3601});
        rows.add({{"10:00:03", "ORP", "500", "mV", "", ""}, -1, 0, 0});
        QList<std::pair<int, int>> inserted;
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [&](const QModelIndex&, int from, int to) {
                             inserted.append({from, to});
                         });
        model.append(std::move(rows));
        EXPECT_EQ(inserted, (QList<std::pair<int, int>>{{first, last}}));
        EXPECT_EQ(model.recordAtRow(0).TimeOrNo, topRow);
        EXPECT_EQ(model.recordInOrder(1),
                  (ResultRecord{"10:00:02", "pH", "-7.5", "pH", "25.3", QString(QChar(0xb5)), 5,
                                1765270801000, 3601}));
    }
}

TEST(ResultListModel, ThousandsOfRowsKeepTheirOrder)
{
    constexpr int rows = 5000;
    ResultListModel samples(ListKind::Sample);
    ResultListModel memory(ListKind::Downloaded);
    for (int i = 0; i < rows; ++i) {
        samples.add(sampleAt(timeOf(i)));
        memory.add({QString::number(i), "DO", "8.1", "mg/L", "20", "C", i % 2 ? 1 : -1});
    }
    ASSERT_EQ(samples.size(), rows);
    for (int i = 0; i < rows; ++i) {
        ASSERT_EQ(samples.recordInOrder(i).TimeOrNo, timeOf(i));
        ASSERT_EQ(samples.recordAtRow(i).TimeOrNo, timeOf(rows - 1 - i));
        ASSERT_EQ(memory.recordAtRow(i).TimeOrNo, QString::number(i));
        ASSERT_EQ(memory.recordInOrder(i).Sign, i % 2 ? 1 : -1);
    }
}

TEST(ResultListModel, StoresEveryRecordWhole)
{
    const QString longText(300, u'x');
    const QString hugeText(100000, u'y');
    const QList<ResultRecord> records{
        {},
        {"10:15:30", "pH", "-7.01", "pH", "25.3", "C", 0},
        {"255", "ORP", "120.5", "mV", "", "", -1},
        {"1", "O2", "95", "%", "77", "F", 1},
        {longText, "COND", longText, "uS", "25", "C", std::numeric_limits<qint32>::min()},
        {"2", hugeText, "1", QString(254, u'u'), QString(255, u't'), "C", 12345},
        {QString::fromUtf8("é"), QString::fromUtf8("°C µS"), "1", "2", "3", "F", 2},
        // Instants and offsets: quarter hours fit one byte up to 127 either way (+31:45 and
        // -32:00), anything else is kept in seconds.
        {"14:03:07", "pH", "7", "pH", "25", "C", 0, 1796821387000, 3600},
        {"1", "pH", "7", "pH", "25", "C", -1, 1796821387000, -5 * 3600},
        {"2", "pH", "7", "pH", "25", "C", 7, 1796821387000, 5 * 3600 + 45 * 60},
        {"3", "pH", "7", "pH", "25", "C", 1, -1, 127 * 900},
        {"4", "pH", "7", "pH", "25", "C", 1, 1, 128 * 900},
        {"5", "pH", "7", "pH", "25", "C", 1, 0, -128 * 900},
        {"6", "pH", "7", "pH", "25", "C", 1, 0, -129 * 900},
        {"7", "pH", "7", "pH", "25", "C", 1, 0, 4000},
        {"8", "pH", "7", "pH", "25", "C", 1, std::numeric_limits<qint64>::max(),
         std::numeric_limits<qint32>::min()},
        {"9", "pH", "7", "pH", "25", "C", 1, std::numeric_limits<qint64>::min(),
         std::numeric_limits<qint32>::max()},
        {"10", "pH", "7", "pH", "25", "C", 0, 1796821387000, 0},
    };
    ResultListModel model(ListKind::Downloaded);
    for (const ResultRecord& record : records)
        model.add(record);
    for (qsizetype i = 0; i < records.size(); ++i) {
        EXPECT_EQ(model.recordInOrder(i), records[i]) << "record " << i;
        const ResultListModel::PackedRecord packed = model.packedInOrder(i);
        EXPECT_EQ(packed.stampMs, records[i].StampMs) << "record " << i;
        EXPECT_EQ(packed.utcOffsetSec, records[i].UtcOffsetSec) << "record " << i;
    }
}

TEST(ResultListModel, TypicalRowsArePacked)
{
    ResultListModel model(ListKind::Sample);
    for (int i = 0; i < 1000; ++i)
        model.add(sampleAt(timeOf(i)));
    // 21 text bytes, six lengths and a sign code: far below the budget of 96 bytes a row.
    EXPECT_LE(model.storedBytes(), 1000 * 28);

    // An instant adds 8 bytes and a whole-quarter-hour offset 1.
    ResultListModel stamped(ListKind::Sample);
    for (int i = 0; i < 1000; ++i) {
        ResultRecord record = sampleAt(timeOf(i));
        record.StampMs = 1796821387000 + i * 1000;
        record.UtcOffsetSec = 3600;
        stamped.add(record);
    }
    EXPECT_LE(stamped.storedBytes(), 1000 * 37);
}

TEST(ResultListModel, FirstColumnTipsTheLocalDateAndTime)
{
    ResultRecord stamped = sampleAt("14:03:07");
    stamped.StampMs = 1796821387000; // 2026-12-09 13:03:07 UTC
    stamped.UtcOffsetSec = 3600;
    const ResultRecord unknown = sampleAt("10:15:30");

    ResultListModel samples(ListKind::Sample);
    samples.add(unknown);
    samples.add(stamped); // newest, shown on top
    const auto tip = [](const ResultListModel& model, int row, int column) {
        return model.data(model.index(row, column), Qt::ToolTipRole).toString().toStdString();
    };
    EXPECT_EQ(tip(samples, 0, 0), "2026-12-09 14:03:07");
    EXPECT_EQ(tip(samples, 0, 1), "");
    EXPECT_EQ(tip(samples, 1, 0), "");
    EXPECT_FALSE(samples.data(samples.index(1, 0), Qt::ToolTipRole).isValid());

    ResultListModel records(ListKind::Downloaded);
    stamped.TimeOrNo = "3";
    stamped.Sign = 1;
    records.add(unknown);
    records.add(stamped); // shown at the bottom
    EXPECT_EQ(tip(records, 1, 0), "Received 2026-12-09 14:03:07");
    EXPECT_EQ(tip(records, 1, 5), "");
    EXPECT_EQ(tip(records, 0, 0), "");

    // The view asks for several roles at once.
    std::array<QModelRoleData, 2> roles{QModelRoleData(Qt::DisplayRole),
                                        QModelRoleData(Qt::ToolTipRole)};
    samples.multiData(samples.index(0, 0), roles);
    EXPECT_EQ(roles[0].data().toString(), "14:03:07");
    EXPECT_EQ(roles[1].data().toString(), "2026-12-09 14:03:07");
    samples.multiData(samples.index(0, 2), roles);
    EXPECT_EQ(roles[0].data().toString(), "7.01");
    EXPECT_FALSE(roles[1].data().isValid());
}

TEST(ResultListModel, CellsComeFromTheKindsRule)
{
    ResultListModel samples(ListKind::Sample);
    samples.add(sampleAt("10:15:30"));
    EXPECT_EQ(displayed(samples, 0, 4), "25.3 C");

    ResultListModel orp(ListKind::Orp);
    orp.add(sampleAt("10:15:30"));
    EXPECT_EQ(displayed(orp, 0, 4), "");

    ResultListModel memory(ListKind::Downloaded);
    memory.add({"3", "pH", "12.5", "pH", "025.50", "F", -1});
    EXPECT_EQ(displayed(memory, 0, 2), "-12.5");
    EXPECT_EQ(displayed(memory, 0, 5), " F");
    EXPECT_FALSE(memory.data(memory.index(0, 2), Qt::ToolTipRole).isValid());
    EXPECT_FALSE(memory.data(memory.index(1, 0)).isValid());
}

TEST(ResultListModel, HandlerGetsTheLogicalColumnAndAnEmptyPreset)
{
    ResultListModel model(ListKind::Sample);
    model.add(sampleAt("10:00:01"));
    model.add(sampleAt("10:00:02"));
    model.setCellTextHandler([](const ResultRecord& record, int column, QString& cellText) {
        EXPECT_TRUE(cellText.isEmpty());
        if (column != 3)
            cellText = record.TimeOrNo + u'/' + QString::number(column);
    });
    EXPECT_EQ(displayed(model, 0, 2), "10:00:02/2");
    EXPECT_EQ(displayed(model, 1, 4), "10:00:01/4");
    EXPECT_EQ(displayed(model, 1, 3), "");

    model.setCellTextHandler({});
    EXPECT_EQ(displayed(model, 1, 3), "pH");
}

TEST(ResultListModel, MultiDataFormatsTheCellOnce)
{
    ResultListModel model(ListKind::Sample);
    model.add(sampleAt("10:00:01"));
    int calls = 0;
    model.setCellTextHandler([&calls](const ResultRecord&, int, QString& cellText) {
        ++calls;
        cellText = QStringLiteral("x");
    });
    std::array<QModelRoleData, 4> roles{
        QModelRoleData(Qt::DisplayRole), QModelRoleData(Qt::DecorationRole),
        QModelRoleData(Qt::DisplayRole), QModelRoleData(Qt::ForegroundRole)};
    model.multiData(model.index(0, 1), roles);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(roles[0].data().toString(), "x");
    EXPECT_EQ(roles[2].data().toString(), "x");
    EXPECT_FALSE(roles[1].data().isValid());
    EXPECT_FALSE(roles[3].data().isValid());
}

TEST(ResultListModel, RowsAreReadOnly)
{
    ResultListModel model(ListKind::Sample);
    model.add(sampleAt("10:00:01"));
    const Qt::ItemFlags flags = model.flags(model.index(0, 0));
    EXPECT_FALSE(flags.testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(flags.testFlag(Qt::ItemIsSelectable));
    EXPECT_FALSE(model.setData(model.index(0, 0), "edited"));
}

} // namespace
} // namespace pexumo
