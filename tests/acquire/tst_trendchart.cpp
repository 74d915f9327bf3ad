#include "acquire/gui/trendchart.h"
#include "acquire/windowedseries.h"
#include "base/numberformat.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLineSeries>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>

#include <memory>

using namespace pexumo;

class TstTrendChart : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void windowSlides_data();
    void windowSlides();
    void axesUseTheMiddleBand_data();
    void axesUseTheMiddleBand();
    void rightDragScrollsAndStopsAutoScaling();
    void dragStaysWithinThePoints();
    void rightDragOnEmptyChartIsHarmless();
    void leftClickEmitsClicked();
    void legendListsPointValuesThatFit();
    void decimalCommaInLegendAndAxes();
    void lonePointIsDrawn_data();
    void lonePointIsDrawn();
    void limitLinesCrossThePlot_data();
    void limitLinesCrossThePlot();

private:
    std::unique_ptr<TrendChart> shown(const QString& title, QSize size = {257, 185});
    static void sendMouse(TrendChart& chart, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                          Qt::MouseButtons buttons);
    static QStringList axisLabelTexts(TrendChart& chart);
};

std::unique_ptr<TrendChart> TstTrendChart::shown(const QString& title, QSize size)
{
    auto chart = std::make_unique<TrendChart>(title);
    chart->resize(size);
    chart->show();
    if (!QTest::qWaitForWindowExposed(chart.get()))
        qWarning("chart window not exposed");
    QCoreApplication::processEvents();
    return chart;
}

void TstTrendChart::sendMouse(TrendChart& chart, QEvent::Type type, QPoint pos,
                              Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(chart.viewport()->mapToGlobal(pos)), button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(chart.viewport(), &event);
}

QStringList TstTrendChart::axisLabelTexts(TrendChart& chart)
{
    QCoreApplication::processEvents();
    QStringList texts;
    for (QGraphicsItem* item : chart.scene()->items()) {
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible())
            texts << text->toPlainText();
    }
    return texts;
}

void TstTrendChart::cleanup()
{
    NumberFormat::setCurrent(NumberFormat{});
}

void TstTrendChart::windowSlides_data()
{
    QTest::addColumn<int>("window");
    QTest::newRow("small") << SmallChartWindow;
    QTest::newRow("big") << BigChartWindow;
}

void TstTrendChart::windowSlides()
{
    QFETCH(int, window);
    // Filled while hidden, like the chart of a page not shown: the axes catch up when shown.
    TrendChart chart("pH");
    chart.resize(257, 185);
    for (int i = 0; i <= window; ++i)
        chart.addWindowedPoint(100 + i, window);
    const QList<QPointF> points = chart.series()->points();
    QCOMPARE(points.size(), window);
    QCOMPARE(points.front(), QPointF(1, 101));
    QCOMPARE(points.back(), QPointF(window, 100 + window));
    chart.show();
    QCOMPARE(chart.axisX()->min(), 1.0);
    QCOMPARE(chart.axisX()->max(), double(window));
    QVERIFY(chart.axisY()->min() < 101 && chart.axisY()->max() > 100 + window);
}

void TstTrendChart::axesUseTheMiddleBand_data()
{
    QTest::addColumn<QList<double>>("ys");
    QTest::addColumn<double>("yMin");
    QTest::addColumn<double>("yMax");
    QTest::newRow("0..90") << QList<double>{0, 90, 45} << -5.0 << 95.0;
    QTest::newRow("negative") << QList<double>{-120.5, -30.5} << -125.5 << -25.5;
    QTest::newRow("1410 scaled") << QList<double>{1410, 1500} << 1405.0 << 1505.0;
    QTest::newRow("flat") << QList<double>{7, 7, 7} << 6.65 << 7.35;
    QTest::newRow("flat zero") << QList<double>{0, 0} << -1.0 << 1.0;
}

void TstTrendChart::axesUseTheMiddleBand()
{
    QFETCH(QList<double>, ys);
    QFETCH(double, yMin);
    QFETCH(double, yMax);
    auto chart = shown("ORP");
    for (double y : ys)
        chart->addWindowedPoint(y, SmallChartWindow);
    QVERIFY(qFuzzyCompare(chart->axisY()->min(), yMin));
    QVERIFY(qFuzzyCompare(chart->axisY()->max(), yMax));
    QCOMPARE(chart->axisX()->min(), 0.0);
    QCOMPARE(chart->axisX()->max(), double(ys.size() - 1));
}

void TstTrendChart::rightDragScrollsAndStopsAutoScaling()
{
    auto dragged = shown("pH");
    auto other = shown("ORP");
    for (int i = 0; i < 5; ++i) {
        dragged->addWindowedPoint(i, SmallChartWindow);
        other->addWindowedPoint(i, SmallChartWindow);
    }
    QVERIFY(dragged->isAutoScaling());
    const double minBefore = dragged->axisX()->min();

    const QPoint start = dragged->rect().center();
    sendMouse(*dragged, QEvent::MouseButtonPress, start, Qt::RightButton, Qt::RightButton);
    sendMouse(*dragged, QEvent::MouseMove, start + QPoint(30, 0), Qt::NoButton, Qt::RightButton);
    sendMouse(*dragged, QEvent::MouseButtonRelease, start + QPoint(30, 0), Qt::RightButton,
              Qt::NoButton);
    QVERIFY(!dragged->isAutoScaling());
    QVERIFY2(dragged->axisX()->min() < minBefore, "dragging right shows earlier samples");
    QVERIFY(other->isAutoScaling());

    const double xMin = dragged->axisX()->min();
    const double xMax = dragged->axisX()->max();
    const double yMax = dragged->axisY()->max();
    for (int i = 0; i < 20; ++i) {
        dragged->addWindowedPoint(1000 + i, SmallChartWindow);
        other->addWindowedPoint(1000 + i, SmallChartWindow);
    }
    QCOMPARE(dragged->axisX()->min(), xMin);
    QCOMPARE(dragged->axisX()->max(), xMax);
    QCOMPARE(dragged->axisY()->max(), yMax);
    QCOMPARE(dragged->series()->count(), SmallChartWindow);
    QCOMPARE(other->axisX()->max(), 24.0);
    QVERIFY(other->axisY()->max() > 1019);
}

void TstTrendChart::dragStaysWithinThePoints()
{
    auto chart = shown("COND");
    for (int i = 0; i < 11; ++i)
        chart->addWindowedPoint(i * 10, SmallChartWindow);
    const QPoint start = chart->rect().center();
    sendMouse(*chart, QEvent::MouseButtonPress, start, Qt::RightButton, Qt::RightButton);
    QPoint pos = start;
    for (int i = 0; i < 50; ++i) {
        pos += QPoint(-40, 40);
        sendMouse(*chart, QEvent::MouseMove, pos, Qt::NoButton, Qt::RightButton);
    }
    sendMouse(*chart, QEvent::MouseButtonRelease, pos, Qt::RightButton, Qt::NoButton);
    // Dragged far left and down: the content followed the mouse, so the view went to later
    // samples and higher values, but no further than the last sample and the highest value.
    QCOMPARE(chart->axisX()->min(), 10.0);
    QCOMPARE(chart->axisY()->min(), 100.0);

    sendMouse(*chart, QEvent::MouseButtonPress, pos, Qt::RightButton, Qt::RightButton);
    for (int i = 0; i < 100; ++i) {
        pos += QPoint(40, -40);
        sendMouse(*chart, QEvent::MouseMove, pos, Qt::NoButton, Qt::RightButton);
    }
    sendMouse(*chart, QEvent::MouseButtonRelease, pos, Qt::RightButton, Qt::NoButton);
    QCOMPARE(chart->axisX()->max(), 0.0);
    QCOMPARE(chart->axisY()->max(), 0.0);
}

void TstTrendChart::rightDragOnEmptyChartIsHarmless()
{
    auto chart = shown("Temp");
    const QPoint start = chart->rect().center();
    sendMouse(*chart, QEvent::MouseButtonPress, start, Qt::RightButton, Qt::RightButton);
    sendMouse(*chart, QEvent::MouseMove, start + QPoint(50, 50), Qt::NoButton, Qt::RightButton);
    sendMouse(*chart, QEvent::MouseButtonRelease, start + QPoint(50, 50), Qt::RightButton,
              Qt::NoButton);
    QVERIFY(chart->isAutoScaling());
    chart->addWindowedPoint(3, SmallChartWindow);
    QCOMPARE(chart->series()->count(), 1);
}

void TstTrendChart::leftClickEmitsClicked()
{
    auto chart = shown("DO");
    QSignalSpy spy(chart.get(), &TrendChart::clicked);
    QTest::mouseClick(chart->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    QCOMPARE(spy.count(), 0);
    QTest::mouseClick(chart->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(spy.count(), 1);
    QVERIFY(chart->isAutoScaling());
}

void TstTrendChart::legendListsPointValuesThatFit()
{
    auto small = shown("pH");
    small->addWindowedPoint(7.12, SmallChartWindow);
    small->addWindowedPoint(-0.5, SmallChartWindow);
    small->addWindowedPoint(1410, SmallChartWindow);
    QCoreApplication::processEvents();
    QCOMPARE(small->legendRows(), (QStringList{"7.12", "-0.5", "1410"}));

    auto big = shown("pH", {785, 273});
    for (int i = 0; i < 40; ++i)
        big->addWindowedPoint(i, BigChartWindow);
    QCoreApplication::processEvents();
    const QStringList rows = big->legendRows();
    QVERIFY2(rows.size() > 5, qPrintable(QString::number(rows.size())));
    QVERIFY(rows.size() <= BigChartWindow);
    // Not all 26 fit: the newest points are listed, oldest of them first.
    QCOMPARE(rows.back(), "39");
    QCOMPARE(rows.front(), QString::number(39 - rows.size() + 1));

    // The tiny window shows fewer rows than there are points: only what fits.
    small->resize(257, 60);
    for (int i = 0; i < SmallChartWindow; ++i)
        small->addWindowedPoint(i, SmallChartWindow);
    QCoreApplication::processEvents();
    QVERIFY(small->legendRows().size() < SmallChartWindow);
}

void TstTrendChart::decimalCommaInLegendAndAxes()
{
    NumberFormat::setCurrent(NumberFormat{u',', u'.'});
    auto chart = shown("pH");
    chart->addWindowedPoint(7.25, SmallChartWindow);
    chart->addWindowedPoint(7.5, SmallChartWindow);
    chart->addWindowedPoint(1410.5, SmallChartWindow);
    QCOMPARE(chart->legendRows(), (QStringList{"7,25", "7,5", "1410,5"}));

    const QStringList labels = axisLabelTexts(*chart);
    QVERIFY2(labels.filter(QStringLiteral(",")).size() > 0, qPrintable(labels.join(u'|')));
    QVERIFY2(labels.filter(QStringLiteral(".")).isEmpty(), qPrintable(labels.join(u'|')));

    NumberFormat::setCurrent(NumberFormat{});
    chart->addWindowedPoint(2.5, SmallChartWindow);
    QCOMPARE(chart->legendRows().back(), "2.5");
    const QStringList dotLabels = axisLabelTexts(*chart);
    QVERIFY2(dotLabels.filter(QStringLiteral(",")).isEmpty(), qPrintable(dotLabels.join(u'|')));
}

void TstTrendChart::lonePointIsDrawn_data()
{
    QTest::addColumn<QList<double>>("ys");
    QTest::addColumn<bool>("hidden"); // filled before it is shown, like a page not in view
    QTest::addColumn<bool>("marker"); // a dot around the first point, beyond the line's width
    QTest::newRow("lone") << QList<double>{7.12} << false << true;
    QTest::newRow("lone zero") << QList<double>{0} << false << true;
    QTest::newRow("lone, hidden page") << QList<double>{1410} << true << true;
    QTest::newRow("two, flat") << QList<double>{7.12, 7.12} << false << false;
    QTest::newRow("three, flat") << QList<double>{-3, -3, -3} << false << false;
    QTest::newRow("two, hidden page") << QList<double>{5, 5} << true << false;
}

void TstTrendChart::lonePointIsDrawn()
{
    QFETCH(QList<double>, ys);
    QFETCH(bool, hidden);
    QFETCH(bool, marker);
    std::unique_ptr<TrendChart> chart;
    if (hidden) {
        chart = std::make_unique<TrendChart>("pH");
        chart->resize(785, 273);
        for (double y : ys)
            chart->addWindowedPoint(y, BigChartWindow);
        chart->show();
        QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    } else {
        chart = shown("pH", {785, 273});
        for (double y : ys)
            chart->addWindowedPoint(y, BigChartWindow);
    }
    QCoreApplication::processEvents();
    const QImage image = chart->grab().toImage();
    const QPoint at =
        chart->mapFromScene(chart->chart()->mapToPosition(QPointF(0, ys.front()), chart->series()));
    QVERIFY2(chart->chart()->plotArea().contains(chart->mapToScene(at)), "point in the plot");

    // Pixels of the series' colour above and below the point, 3 to 4 px off its row: a flat
    // line (2 px wide) never reaches them, a dot around the point does.
    const QColor ink = chart->series()->color();
    int dotPixels = 0;
    for (int dy : {-4, -3, 3, 4})
        for (int dx = -2; dx <= 2; ++dx) {
            const QPoint p = at + QPoint(dx, dy);
            if (image.rect().contains(p) && image.pixelColor(p).rgb() == ink.rgb())
                ++dotPixels;
        }
    QCOMPARE(dotPixels > 4, marker);

    if (ys.size() == 1) {
        // The only sample is number 0, in the middle of the plot, and the horizontal axis
        // names no sample that does not exist.
        QVERIFY(qAbs(chart->mapToScene(at).x() - chart->chart()->plotArea().center().x()) < 2);
        const QStringList labels = axisLabelTexts(*chart);
        QVERIFY2(labels.contains("0"), qPrintable(labels.join(u'|')));
        QVERIFY2(!labels.contains("-1") && !labels.contains("1"), qPrintable(labels.join(u'|')));
    }
}

void TstTrendChart::limitLinesCrossThePlot_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("scroll"); ///< a right-button drag before the look; none: (0, 0)
    QTest::addColumn<double>("limit");
    QTest::addColumn<bool>("seen");
    // Samples 3..5, so the axis shows about 2.9 .. 5.1.
    QTest::newRow("small chart") << QSize(257, 185) << QPoint() << 4.5 << true;
    QTest::newRow("big chart") << QSize(785, 273) << QPoint() << 3.5 << true;
    QTest::newRow("scrolled to earlier samples") << QSize(785, 273) << QPoint(300, 0) << 4.5
                                                 << true;
    QTest::newRow("out of sight above") << QSize(257, 185) << QPoint() << 6.0 << false;
}

// Read from the pixels drawn: a limit line within the values shown runs from the left edge of
// the plot to the right one, dashed, also after the view was scrolled.
void TstTrendChart::limitLinesCrossThePlot()
{
    QFETCH(QSize, size);
    QFETCH(QPoint, scroll);
    QFETCH(double, limit);
    QFETCH(bool, seen);
    auto chart = shown("pH", size);
    chart->setLimits(std::nullopt, limit);
    for (int i = 0; i <= 20; ++i)
        chart->addWindowedPoint(3 + (i % 3), BigChartWindow);
    if (!scroll.isNull()) {
        const QPoint start = chart->rect().center();
        sendMouse(*chart, QEvent::MouseButtonPress, start, Qt::RightButton, Qt::RightButton);
        sendMouse(*chart, QEvent::MouseMove, start + scroll, Qt::NoButton, Qt::RightButton);
        sendMouse(*chart, QEvent::MouseButtonRelease, start + scroll, Qt::RightButton,
                  Qt::NoButton);
        QVERIFY(!chart->isAutoScaling());
    }
    QCoreApplication::processEvents();
    const QImage image = chart->grab().toImage();
    const QRect plot = chart->mapFromScene(chart->chart()->plotArea()).boundingRect();
    const int row = chart->mapFromScene(chart->chart()->mapToPosition(
                                            QPointF(chart->axisX()->min(), limit), chart->series()))
                        .y();
    // The line's red, in each tenth of the plot's width on the limit's row (or next to it).
    const auto isRed = [&](int x, int y) {
        const QColor c = image.pixelColor(x, y);
        return c.red() > 150 && c.green() < 90 && c.blue() < 90;
    };
    int tenthsWithRed = 0;
    int redColumns = 0;
    for (int tenth = 0; tenth < 10; ++tenth) {
        bool found = false;
        for (int x = plot.left() + tenth * plot.width() / 10;
             x < plot.left() + (tenth + 1) * plot.width() / 10; ++x) {
            bool red = false;
            for (int y = row - 1; y <= row + 1; ++y)
                red = red || (image.rect().contains(x, y) && isRed(x, y));
            redColumns += red;
            found = found || red;
        }
        tenthsWithRed += found;
    }
    int redAnywhere = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        for (int x = plot.left(); x <= plot.right(); ++x)
            redAnywhere += isRed(x, y);
    if (seen) {
        QCOMPARE(tenthsWithRed, 10);
        // Dashed: red on part of the row, not all of it.
        QVERIFY2(redColumns > plot.width() / 3 && redColumns < plot.width() - 10,
                 qPrintable(QString::number(redColumns)));
    } else {
        QCOMPARE(redAnywhere, 0);
    }
}

QTEST_MAIN(TstTrendChart)
#include "tst_trendchart.moc"
