#include "base/numberformat.h"
#include "history/gui/historychart.h"
#include "history/historyseries.h"

#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

using namespace pexumo;

namespace {
// 2026-12-09 10:00:00 at UTC+1.
constexpr qint64 T0 = 1'796'806'800'000;
constexpr qint64 Sec = 1000;
} // namespace

class TstHistoryChart : public QObject
{
    Q_OBJECT

private:
    HistorySeries m_series;

    // An hour of samples, one a second, value 7 + (second % 60) / 100 and 25.3 degrees, on a
    // chart whose plot is exactly 800 x 300 px: one pixel is 4.5 s.
    std::unique_ptr<HistoryChart> hourChart()
    {
        m_series.clear();
        for (int i = 0; i <= 3600; ++i)
            m_series.append(T0 + i * Sec, 7 + (i % 60) / 100.0, 25.3, 3600);
        return shown();
    }

    std::unique_ptr<HistoryChart> shown()
    {
        auto chart = std::make_unique<HistoryChart>();
        chart->setUnit(QStringLiteral("pH"));
        chart->resize(1000, 450);
        chart->resize(chart->size() + QSize(800, 300) - chart->plotRect().size());
        chart->setSeries(&m_series);
        chart->show();
        if (!QTest::qWaitForWindowExposed(chart.get()))
            qWarning("history chart not exposed");
        return chart;
    }

    static QPointF atPlot(const HistoryChart& chart, double fx, double fy = 0.5)
    {
        const QRect p = chart.plotRect();
        return QPointF(p.left() + fx * p.width(), p.top() + fy * p.height());
    }

    static void mouse(HistoryChart& chart, QEvent::Type type, QPointF pos, Qt::MouseButtons held,
                      Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, pos, chart.mapToGlobal(pos), button, held, mods);
        QApplication::sendEvent(&chart, &event);
    }

    static void drag(HistoryChart& chart, QPointF from, QPointF to, Qt::KeyboardModifiers mods)
    {
        mouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton, mods);
        mouse(chart, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton, mods);
        mouse(chart, QEvent::MouseMove, to, Qt::LeftButton, mods);
        mouse(chart, QEvent::MouseButtonRelease, to, Qt::NoButton, mods);
    }

    static void wheel(HistoryChart& chart, QPointF pos, int delta)
    {
        QWheelEvent event(pos, chart.mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&chart, &event);
    }

    static QPair<qint64, qint64> viewSeconds(const HistoryChart& chart)
    {
        return {(chart.viewStartMs() - T0) / Sec, (chart.viewEndMs() - T0) / Sec};
    }

private slots:
    void cleanup() { NumberFormat::setCurrent(NumberFormat{}); }

    void wheelZoomsAroundThePointer_data();
    void wheelZoomsAroundThePointer();
    void mouseAndKeysMoveTheView_data();
    void mouseAndKeysMoveTheView();
    void boxZoomFixesTheValueAxis_data();
    void boxZoomFixesTheValueAxis();
    void newSamplesFollowOnlyAtTheEnd_data();
    void newSamplesFollowOnlyAtTheEnd();
    void hoverShowsTheNearestSample_data();
    void hoverShowsTheNearestSample();
    void exportsKeepTheGapAndReadBack();
};

void TstHistoryChart::wheelZoomsAroundThePointer_data()
{
    QTest::addColumn<double>("fx");
    QTest::addColumn<int>("delta");
    QTest::addColumn<qint64>("t0");
    QTest::addColumn<qint64>("t1");
    QTest::addColumn<bool>("following");
    QTest::addColumn<QStringList>("labels");
    const QStringList tenMinutes{
        "10:00 2026-12-09", "10:10", "10:20", "10:30", "10:40", "10:50", "11:00"};
    // One notch: 3600 s / 1.25 = 2880 s, the instant under the pointer kept in place.
    QTest::newRow("quarter") << 0.25 << 120 << qint64(180) << qint64(3060) << false
                             << QStringList{"10:10 2026-12-09", "10:20", "10:30", "10:40", "10:50"};
    QTest::newRow("right edge keeps following")
        << 1.0 << 120 << qint64(720) << qint64(3600) << true
        << QStringList{"10:20 2026-12-09", "10:30", "10:40", "10:50", "11:00"};
    QTest::newRow("out beyond all")
        << 0.5 << -240 << qint64(0) << qint64(3600) << true << tenMinutes;
    // Forty notches would be 0.48 s: the narrowest span, 5 s, around 10:30:00.
    QTest::newRow("down to seconds")
        << 0.5 << 4800 << qint64(1797) << qint64(1802) << false
        << QStringList{"10:29:58 2026-12-09", "10:29:59", "10:30:00", "10:30:01", "10:30:02"};
}

void TstHistoryChart::wheelZoomsAroundThePointer()
{
    QFETCH(double, fx);
    QFETCH(int, delta);
    auto chart = hourChart();
    QSignalSpy following(chart.get(), &HistoryChart::followingEndChanged);
    QCOMPARE(chart->timeAxisLabels(), (QStringList{"10:00 2026-12-09", "10:10", "10:20", "10:30",
                                                   "10:40", "10:50", "11:00"}));
    wheel(*chart, atPlot(*chart, fx), delta);
    QTEST(viewSeconds(*chart).first, "t0");
    QTEST(viewSeconds(*chart).second, "t1");
    QTEST(chart->isFollowingEnd(), "following");
    QCOMPARE(following.size(), chart->isFollowingEnd() ? 0 : 1);
    QTEST(chart->timeAxisLabels(), "labels");
}

void TstHistoryChart::mouseAndKeysMoveTheView_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<qint64>("t0");
    QTest::addColumn<qint64>("t1");
    // From 10:15 to 10:45 (1800 s on 800 px): a key pans 100 px, 225 s.
    QTest::newRow("right") << "Right" << qint64(1125) << qint64(2925);
    QTest::newRow("left") << "Left" << qint64(675) << qint64(2475);
    QTest::newRow("plus") << "+" << qint64(1080) << qint64(2520);
    QTest::newRow("minus") << "-" << qint64(675) << qint64(2925);
    QTest::newRow("home") << "Home" << qint64(0) << qint64(3600);
    QTest::newRow("end") << "End" << qint64(1800) << qint64(3600);
    QTest::newRow("drag right 200 px") << "drag 200" << qint64(450) << qint64(2250);
    QTest::newRow("drag past the end") << "drag -2000" << qint64(1800) << qint64(3600);
    QTest::newRow("drag past the start") << "drag 2000" << qint64(0) << qint64(1800);
    QTest::newRow("double click") << "double" << qint64(0) << qint64(3600);
}

void TstHistoryChart::mouseAndKeysMoveTheView()
{
    QFETCH(QString, input);
    auto chart = hourChart();
    chart->zoomAt(atPlot(*chart, 0.5).x(), 2);
    QCOMPARE(viewSeconds(*chart), (QPair<qint64, qint64>(900, 2700)));
    const QMap<QString, int> keys{{"Right", Qt::Key_Right}, {"Left", Qt::Key_Left},
                                  {"+", Qt::Key_Plus},      {"-", Qt::Key_Minus},
                                  {"Home", Qt::Key_Home},   {"End", Qt::Key_End}};
    const QPointF middle = atPlot(*chart, 0.5);
    if (keys.contains(input))
        QTest::keyClick(chart.get(), Qt::Key(keys[input]));
    else if (input == "double")
        QTest::mouseDClick(chart.get(), Qt::LeftButton, {}, middle.toPoint());
    else
        drag(*chart, middle, middle + QPointF(input.mid(5).toInt(), 0), Qt::NoModifier);
    QTEST(viewSeconds(*chart).first, "t0");
    QTEST(viewSeconds(*chart).second, "t1");
    QCOMPARE(chart->isFollowingEnd(), viewSeconds(*chart).second == 3600);
}

void TstHistoryChart::boxZoomFixesTheValueAxis_data()
{
    QTest::addColumn<double>("fy1");
    QTest::addColumn<double>("yMin");
    QTest::addColumn<double>("yMax");
    // Samples 7.00 .. 7.59 with 5/90 of that free above and below: 6.9672222 .. 7.6227778; the
    // box from a quarter to three quarters of the plot's height takes the middle half of it.
    QTest::newRow("box") << 0.75 << 7.1311111 << 7.4588889;
    QTest::newRow("flat box: time only") << 0.255 << 6.9672222 << 7.6227778;
}

void TstHistoryChart::boxZoomFixesTheValueAxis()
{
    QFETCH(double, fy1);
    auto chart = hourChart();
    drag(*chart, atPlot(*chart, 0.25, 0.25), atPlot(*chart, 0.75, fy1), Qt::ShiftModifier);
    QCOMPARE(viewSeconds(*chart), (QPair<qint64, qint64>(900, 2700)));
    QFETCH(double, yMin);
    QFETCH(double, yMax);
    QVERIFY2(std::abs(chart->valueAxisMin() - yMin) < 1e-6,
             qPrintable(QString::number(chart->valueAxisMin())));
    QVERIFY2(std::abs(chart->valueAxisMax() - yMax) < 1e-6,
             qPrintable(QString::number(chart->valueAxisMax())));
    QVERIFY(!chart->findChild<QWidget*>("zoomBox")->isVisible());
}

void TstHistoryChart::newSamplesFollowOnlyAtTheEnd_data()
{
    QTest::addColumn<double>("zoomAt");
    QTest::addColumn<qint64>("t0");
    QTest::addColumn<qint64>("t1");
    QTest::newRow("whole run grows") << -1.0 << qint64(0) << qint64(3601);
    QTest::newRow("span at the end slides") << 1.0 << qint64(1801) << qint64(3601);
    QTest::newRow("earlier span stays") << 0.5 << qint64(900) << qint64(2700);
}

void TstHistoryChart::newSamplesFollowOnlyAtTheEnd()
{
    QFETCH(double, zoomAt);
    auto chart = hourChart();
    if (zoomAt >= 0)
        chart->zoomAt(atPlot(*chart, zoomAt).x(), 2);
    m_series.append(T0 + 3601 * Sec, 7.5, 25.0, 3600);
    chart->dataAppended();
    QTEST(viewSeconds(*chart).first, "t0");
    QTEST(viewSeconds(*chart).second, "t1");
}

void TstHistoryChart::hoverShowsTheNearestSample_data()
{
    QTest::addColumn<QChar>("decimal");
    QTest::addColumn<bool>("rowTexts");
    QTest::addColumn<QString>("text");
    QTest::newRow("stored numbers")
        << QChar('.') << false << "2026-12-09 10:20:33\n7.33 pH\nTemp 25.3";
    QTest::newRow("decimal comma")
        << QChar(',') << false << "2026-12-09 10:20:33\n7,33 pH\nTemp 25,3";
    QTest::newRow("row texts") << QChar('.') << true
                               << "2026-12-09 10:20:33\nrow 1233 pH\nTemp 25.3 C";
}

void TstHistoryChart::hoverShowsTheNearestSample()
{
    QFETCH(QChar, decimal);
    QFETCH(bool, rowTexts);
    NumberFormat::setCurrent(NumberFormat{decimal, decimal == ',' ? QChar('.') : QChar(',')});
    auto chart = hourChart();
    if (rowTexts) {
        chart->setValueText([](qsizetype i) { return QStringLiteral("row %1").arg(i); });
        chart->setTemperatureText([](qsizetype) { return QStringLiteral("25.3 C"); });
    }
    // Sample 1233 (10:20:33) sits 274 px into the plot.
    mouse(*chart, QEvent::MouseMove, chart->plotRect().topLeft() + QPoint(274, 150), {});
    QCOMPARE(chart->hoverIndex(), qsizetype(1233));
    QTEST(chart->hoverText(), "text");
    mouse(*chart, QEvent::MouseMove, QPoint(2, 2), {}); // outside the plot
    QCOMPARE(chart->hoverText(), QString());
}

void TstHistoryChart::exportsKeepTheGapAndReadBack()
{
    // A minute at 5, the line lost for a minute, a minute at 8.
    m_series.clear();
    for (int i = 0; i < 180; ++i) {
        if (i == 120)
            m_series.breakLine();
        if (i < 60 || i >= 120)
            m_series.append(T0 + i * Sec, i < 60 ? 5.0 : 8.0, std::nullopt, 3600);
    }
    auto chart = shown();
    QTemporaryDir dir;
    QString error;
    QVERIFY2(chart->exportImage(dir.filePath("view.png"), 2, &error), qPrintable(error));
    const QImage image(dir.filePath("view.png"));
    QCOMPARE(image.size(), chart->size() * 2);

    const QRect plot = chart->plotRect();
    const auto yOf = [&](double v) {
        return 2 * (plot.top() + (chart->valueAxisMax() - v) * plot.height() /
                                     (chart->valueAxisMax() - chart->valueAxisMin()));
    };
    const auto blueIn = [&](double t, double v0, double v1) {
        const int x = int(2 * (plot.left() + t / 179.0 * plot.width()));
        for (int y = int(yOf(v1)); y <= int(yOf(v0)); ++y) {
            const QRgb c = image.pixel(x, y);
            if (qBlue(c) > qRed(c) + 60)
                return true;
        }
        return false;
    };
    QVERIFY(blueIn(30, 4.9, 5.1));
    QVERIFY(blueIn(150, 7.9, 8.1));
    QVERIFY(!blueIn(90, 5.2, 7.8)); // no straight segment across the gap

    QVERIFY2(chart->exportSvg(dir.filePath("view.svg"), &error), qPrintable(error));
    QSvgRenderer svg(dir.filePath("view.svg"));
    QVERIFY(svg.isValid());
    QCOMPARE(svg.viewBox(), chart->rect());
    QFile svgFile(dir.filePath("view.svg"));
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svgFile);
    QVERIFY(xml.readNextStartElement() && xml.name() == QLatin1String("svg"));
    // Written in mm at 96 px per inch: the widget's size in CSS pixels.
    const auto cssPx = [&](const char* name) {
        return qRound(xml.attributes().value(name).chopped(2).toDouble() / 25.4 * 96);
    };
    QCOMPARE(cssPx("width"), chart->width());
    QCOMPARE(cssPx("height"), chart->height());

    QVERIFY(!chart->exportImage(dir.filePath("small.png"), 0.5, &error));
    QCOMPARE(error, QStringLiteral("The image scale must be from 1 to 4."));
    QVERIFY(!chart->exportSvg(dir.filePath("no/such/folder/view.svg"), &error));
    QVERIFY2(error.startsWith("Cannot create file"), qPrintable(error));

    // Through the dialog: the suffix is added, a cancel writes nothing, a failure is shown.
    QStringList answers{dir.filePath("picked"), QString(), dir.filePath("no/view")};
    chart->askFileName = [&](const QString&, const QString&) { return answers.takeFirst(); };
    QStringList shownErrors;
    chart->showError = [&](const QString& message) { shownErrors << message; };
    QVERIFY(chart->exportPngWithDialog());
    QCOMPARE(QImage(dir.filePath("picked.png")).size(), chart->size());
    QVERIFY(!chart->exportSvgWithDialog());
    QVERIFY(!chart->exportSvgWithDialog());
    QCOMPARE(shownErrors.size(), 1);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{"picked.png", "view.png", "view.svg"}));
}

QTEST_MAIN(TstHistoryChart)
#include "tst_historychart.moc"
