#include "results/gui/resultlist.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QtTest>

using namespace pexumo;

Q_DECLARE_METATYPE(pexumo::ListKind)

class TestResultList : public QObject
{
    Q_OBJECT

private:
    static ResultRecord sample(const char* time)
    {
        return {time, "COND", "1410", "uS", "25.3", "C", 0};
    }

    // The text shown in the cell at a display position, found the way a user sees it.
    static QString shownAt(ResultList& view, int row, int visualColumn)
    {
        const int x =
            view.columnViewportPosition(view.horizontalHeader()->logicalIndex(visualColumn)) + 3;
        const int y = view.rowViewportPosition(row) + 3;
        return view.indexAt(QPoint(x, y)).data().toString();
    }

private slots:
    void headersAndWidths_data()
    {
        QTest::addColumn<ListKind>("kind");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QList<int>>("widths");
        const QStringList five{"Time", "Type", "Value", "Unit", "Temp"};
        QTest::newRow("sample") << ListKind::Sample << five << QList<int>{120, 70, 100, 70, 90};
        QTest::newRow("orp") << ListKind::Orp << five << QList<int>{120, 70, 100, 70, 90};
        QTest::newRow("downloaded")
            << ListKind::Downloaded
            << QStringList{"DataNo", "Type", "Value", "Unit", "Temp", "TempUnit"}
            << QList<int>{70, 70, 100, 70, 90, 70};
    }

    void headersAndWidths()
    {
        QFETCH(ListKind, kind);
        QFETCH(QStringList, captions);
        QFETCH(QList<int>, widths);
        ResultList view(kind);
        QCOMPARE(view.list()->kind(), kind);
        QHeaderView* header = view.horizontalHeader();
        QVERIFY(!header->isHidden());
        QCOMPARE(header->count(), captions.size());
        for (int c = 0; c < captions.size(); ++c) {
            QCOMPARE(view.model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
            QCOMPARE(view.columnWidth(c), widths[c]);
            QCOMPARE(header->sectionResizeMode(c), QHeaderView::Interactive);
        }
        QVERIFY(header->sectionsMovable());
        QVERIFY(view.verticalHeader()->isHidden());
        QCOMPARE(view.verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QVERIFY(!view.isSortingEnabled());
        QCOMPARE(view.editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(view.selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(view.list()->rowCount(), 0);
    }

    void newestSampleOnTopOldestRecordOnTop()
    {
        ResultList samples(ListKind::Sample);
        samples.resize(600, 300);
        samples.show();
        QVERIFY(QTest::qWaitForWindowExposed(&samples));
        for (const char* time : {"10:00:01", "10:00:02", "10:00:03"})
            samples.list()->add(sample(time));
        QCOMPARE(shownAt(samples, 0, 0), QStringLiteral("10:00:03"));
        QCOMPARE(shownAt(samples, 1, 0), QStringLiteral("10:00:02"));
        QCOMPARE(shownAt(samples, 2, 0), QStringLiteral("10:00:01"));

        ResultList records(ListKind::Downloaded);
        records.resize(600, 300);
        records.show();
        QVERIFY(QTest::qWaitForWindowExposed(&records));
        for (const char* no : {"1", "2", "3"})
            records.list()->add({no, "ORP", "120.5", "mV", "", "", -1});
        QCOMPARE(shownAt(records, 0, 0), QStringLiteral("1"));
        QCOMPARE(shownAt(records, 2, 0), QStringLiteral("3"));
        QCOMPARE(shownAt(records, 2, 2), QStringLiteral("-120.5"));
        QCOMPARE(shownAt(records, 2, 4), QStringLiteral("0"));
        QCOMPARE(shownAt(records, 2, 5), QString());
    }

    void draggedColumnKeepsItsTexts()
    {
        ResultList view(ListKind::Sample);
        view.resize(700, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.list()->add(sample("10:00:01"));
        QCOMPARE(shownAt(view, 0, 0), QStringLiteral("10:00:01"));

        // Drag the Temp header with the mouse onto the Time header.
        QHeaderView* header = view.horizontalHeader();
        QWidget* strip = header->viewport();
        const int y = header->height() / 2;
        const QPoint from(header->sectionViewportPosition(4) + 45, y);
        const QPoint to(header->sectionViewportPosition(0) + 5, y);
        QTest::mousePress(strip, Qt::LeftButton, {}, from);
        for (int step = 1; step <= 10; ++step) {
            const QPoint at = from + (to - from) * step / 10;
            QMouseEvent move(QEvent::MouseMove, at, strip->mapToGlobal(at), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(strip, &move);
        }
        QTest::mouseRelease(strip, Qt::LeftButton, {}, to);

        QCOMPARE(header->visualIndex(4), 0);
        QCOMPARE(header->logicalIndex(0), 4);
        QCOMPARE(shownAt(view, 0, 0), QStringLiteral("25.3 C"));
        QCOMPARE(shownAt(view, 0, 1), QStringLiteral("10:00:01"));
        QCOMPARE(shownAt(view, 0, 3), QStringLiteral("1410"));
        QCOMPARE(shownAt(view, 0, 4), QStringLiteral("uS"));
        QCOMPARE(view.horizontalHeader()->model()->headerData(4, Qt::Horizontal).toString(),
                 QStringLiteral("Temp"));
    }

    void installedHandlerRedrawsAndKeepsColumnOrder()
    {
        ResultList view(ListKind::Sample);
        view.resize(700, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.list()->add(sample("10:00:01"));
        view.horizontalHeader()->moveSection(4, 0);
        view.list()->setCellTextHandler([](const ResultRecord& record, int column, QString& text) {
            text = QStringLiteral("%1#%2").arg(record.Type).arg(column);
        });
        QCOMPARE(view.horizontalHeader()->logicalIndex(0), 4);
        QCOMPARE(shownAt(view, 0, 0), QStringLiteral("COND#4"));
        QCOMPARE(shownAt(view, 0, 1), QStringLiteral("COND#0"));
    }

    void cellsCannotBeEdited()
    {
        ResultList view(ListKind::Sample);
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.list()->add(sample("10:00:01"));
        const QRect cell = view.visualRect(view.model()->index(0, 2));
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, cell.center());
        QTest::keyClick(&view, Qt::Key_F2);
        QVERIFY(view.findChildren<QLineEdit*>().isEmpty());
        QCOMPARE(view.list()->recordAtRow(0).Value, QStringLiteral("1410"));
        QVERIFY(view.selectionModel()->isRowSelected(0, {}));
    }
};

QTEST_MAIN(TestResultList)
#include "tst_resultlist.moc"
