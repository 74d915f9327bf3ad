// The sampling tick and the run controls, driven through the real main window: frames go in
// through the decoder's entry point, ticks come from the window's own timer handler, and the
// port is a real pseudo-terminal that nobody writes to unless a test says so.
#include "acquire/gui/linknote.h"
#include "acquire/gui/trendchart.h"
#include "app/gui/degreemark.h"
#include "app/gui/parameterpage.h"
#include "app/gui/tfmain.h"
#include "base/numberformat.h"
#include "history/gui/historychart.h"
#include "history/historyseries.h"
#include "link/comport.h"
#include "link/meterframe.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"
#include "support/pty.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace pexumo;
using pexumo::test::PtyPair;

namespace {

MeterFrame live(int value, int temp, int mode, bool negative = false, bool fahrenheit = false)
{
    return encodeFrame(0, value, temp, mode, negative, fahrenheit, false);
}

QList<double> ys(const QLineSeries* s)
{
    QList<double> out;
    for (const QPointF& p : s->points())
        out << p.y();
    return out;
}

QList<double> xs(const QLineSeries* s)
{
    QList<double> out;
    for (const QPointF& p : s->points())
        out << p.x();
    return out;
}

QList<double> range(int from, int to)
{
    QList<double> out;
    for (int i = from; i <= to; ++i)
        out << i;
    return out;
}

} // namespace

class TestSampling : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<TfMain> w;
    QStringList m_warnings;
    QDateTime m_now;
    qint64 m_mono = 0; ///< the run's monotonic clock, where a test sets it

    void feed(const MeterFrame& frame) { w->DecodeFrame(decodeFrame(frame)); }
    /// A tick one second after the one before (the window's own timer would come any time).
    void tick()
    {
        m_now = m_now.addSecs(1);
        w->Timer1Timer(w->Timer1);
    }
    QString cell(ResultList* list, int row, int column) const
    {
        return list->model()->index(row, column).data().toString();
    }
    // Writes as the meter while the window keeps reading: the pseudo-terminal holds only a few
    // kB, and the reader runs on this very thread.
    bool writeServing(const QByteArray& bytes)
    {
        const int fd = m_pty->masterFd();
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
            return false;
        qsizetype at = 0;
        QDeadlineTimer deadline(30000);
        while (at < bytes.size() && !deadline.hasExpired()) {
            const ssize_t n = ::write(fd, bytes.constData() + at, size_t(bytes.size() - at));
            if (n > 0)
                at += n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
            else
                QTest::qWait(5);
        }
        ::fcntl(fd, F_SETFL, flags);
        return at == bytes.size();
    }

    void connectPort()
    {
        PortSettings s = w->ComPort1->settings();
        s.name = m_pty->slavePath();
        QVERIFY(w->ComPort1->setSettings(s));
        w->btnConnClick(w->btnConn);
        QVERIFY(w->ComPort1->Connected());
    }

    void openWindow(const QString& configPath)
    {
        w = std::make_unique<TfMain>(nullptr, configPath);
        w->confirmDiscard = [] { return true; };
        w->showWarning = [this](const QString& text, const QString&) { m_warnings << text; };
        w->showSetupDialog = [] {};
        m_now = QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0), QTimeZone(3600));
        w->clock = [this] { return m_now; };
        connectPort();
    }

private slots:
    void init()
    {
        NumberFormat::setCurrent({});
        m_warnings.clear();
        m_pty = std::make_unique<PtyPair>();
        openWindow(QStringLiteral("/nonexistent/config.ini"));
    }

    void cleanup()
    {
        w.reset();
        m_pty.reset();
    }

    void connectState()
    {
        QCOMPARE(w->btnConn->text(), QStringLiteral("Disconnect"));
        QVERIFY(w->Button2->isEnabled());
        QCOMPARE(w->Button2->text(), QStringLiteral("Stop"));
        QVERIFY(w->Timer1->isActive());
        QCOMPARE(w->Timer1->interval(), 1000);
    }

    void samplesStandNewestFirst()
    {
        feed(live(712, 253, 13)); // pH 7.12 at 25.3 C
        tick();
        tick();
        tick();
        QCOMPARE(w->vtPH->model()->rowCount(), 3);
        QCOMPARE(cell(w->vtPH, 0, 0), QStringLiteral("10:00:03"));
        QCOMPARE(cell(w->vtPH, 1, 0), QStringLiteral("10:00:02"));
        QCOMPARE(cell(w->vtPH, 2, 0), QStringLiteral("10:00:01"));
        QCOMPARE(cell(w->vtPH, 0, 1), QStringLiteral("pH"));
        QCOMPARE(cell(w->vtPH, 0, 2), QStringLiteral("7.12"));
        QCOMPARE(cell(w->vtPH, 0, 3), QStringLiteral("pH"));
        QCOMPARE(cell(w->vtPH, 0, 4), QStringLiteral("25.3 C"));
        // A stalled meter: the same reading is recorded again at every tick.
        QCOMPARE(ys(w->LinePH), QList<double>({7.12, 7.12, 7.12}));
        QCOMPARE(ys(w->LinePH_Big), QList<double>({7.12, 7.12, 7.12}));
        QCOMPARE(ys(w->LineTemp), QList<double>({25.3, 25.3, 25.3}));
        QCOMPARE(w->Label2->text(), QStringLiteral("pH"));
        QCOMPARE(w->Edit2->text(), QStringLiteral("7.12"));
        QCOMPARE(w->Label4->text(), QStringLiteral("pH"));
        QCOMPARE(w->Edit3->text(), QStringLiteral("25.3"));
        QCOMPARE(w->Label5->text(), QStringLiteral(" C"));
        QVERIFY(!w->Shape1->isHidden());
    }

    // Dashboard charts and the temperature chart keep 11 points, a page's chart 26.
    void windowsSlide()
    {
        for (int i = 0; i < 11; ++i) {
            feed(live(700 + i, 250 + i, 13));
            tick();
        }
        QCOMPARE(xs(w->LinePH), range(0, 10));
        QCOMPARE(xs(w->LineTemp), range(0, 10));
        feed(live(800, 300, 13));
        tick(); // the 12th sample
        QCOMPARE(xs(w->LinePH), range(1, 11));
        QCOMPARE(w->LinePH->at(0).y(), 7.01);
        QCOMPARE(w->LinePH->at(10).y(), 8.0);
        QCOMPARE(xs(w->LineTemp), range(1, 11));
        QCOMPARE(w->LineTemp->at(0).y(), 25.1);
        QCOMPARE(w->LineTemp->at(10).y(), 30.0);
        QCOMPARE(xs(w->LinePH_Big), range(0, 11));
        for (int i = 12; i < 26; ++i)
            tick();
        QCOMPARE(xs(w->LinePH_Big), range(0, 25));
        tick(); // the 27th sample
        QCOMPARE(xs(w->LinePH_Big), range(1, 26));
        QCOMPARE(w->LinePH_Big->at(0).y(), 7.01);
        QCOMPARE(xs(w->LinePH), range(16, 26));
        QCOMPARE(xs(w->LineTemp), range(16, 26));
        QCOMPARE(w->vtPH->model()->rowCount(), 27);
    }

    // Every chart of a kind keeps the same number of points: COND small 11, COND big 26.
    void otherParametersSlideAlike()
    {
        for (int i = 0; i < 27; ++i) {
            feed(live(1000 + i, 250, 2)); // COND in us
            tick();
        }
        QCOMPARE(xs(w->LineCOND), range(16, 26));
        QCOMPARE(xs(w->LineCOND_Big), range(1, 26));
        QCOMPARE(w->LineCOND_Big->at(0).y(), 1001.0);
    }

    void millivoltPhGoesToOrpWithSign()
    {
        feed(live(712, 253, 13));
        tick(); // a temperature first, so that the mV reading visibly empties it
        feed(live(1205, 250, 14, /*negative*/ true)); // pH in mV, 120.5, sign -1
        tick();
        QCOMPARE(ys(w->LineORP), QList<double>({-120.5}));
        QCOMPARE(ys(w->LineORP_Big), QList<double>({-120.5}));
        QCOMPARE(w->LinePH->count(), 1);
        QCOMPARE(w->vtORP->model()->rowCount(), 1);
        QCOMPARE(cell(w->vtORP, 0, 1), QStringLiteral("pH"));
        QCOMPARE(cell(w->vtORP, 0, 2), QStringLiteral("-120.5"));
        QCOMPARE(cell(w->vtORP, 0, 3), QStringLiteral("mV"));
        QCOMPARE(cell(w->vtORP, 0, 4), QString());
        QCOMPARE(w->vtORP->list()->recordAtRow(0).TempUnit, QString());
        QCOMPARE(w->LineTemp->count(), 1);
        QCOMPARE(w->Edit2->text(), QStringLiteral("-120.5"));
        QCOMPARE(w->Label4->text(), QStringLiteral("mV"));
        QVERIFY(w->Edit3->text().isEmpty());
        QVERIFY(w->Label5->text().isEmpty());
        QVERIFY(w->Shape1->isHidden());
    }

    void unitsAndSigns_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("negative");
        QTest::addColumn<QString>("series");
        QTest::addColumn<QString>("list");
        QTest::addColumn<double>("y");
        QTest::addColumn<QString>("valueText");
        QTest::addColumn<QString>("readout");
        QTest::newRow("COND ms") << 141 << 3 << false << "LineCOND"
                                 << "vtCOND" << 1410.0 << "1.41"
                                 << "1.41";
        QTest::newRow("COND us") << 1234 << 2 << false << "LineCOND"
                                 << "vtCOND" << 1234.0 << "1234"
                                 << "1234";
        QTest::newRow("TDS ppt") << 250 << 7 << false << "LineTDS"
                                 << "vtTDS" << 2500.0 << "2.5"
                                 << "2.5";
        QTest::newRow("Salt ppt signed") << 120 << 11 << true << "LineSalt"
                                         << "vtSalt" << 1200.0 << "1.2"
                                         << "-1.2";
        QTest::newRow("DO signed") << 815 << 18 << true << "LineDO"
                                   << "vtDO" << 8.15 << "8.15"
                                   << "-8.15";
        QTest::newRow("O2 signed") << 954 << 20 << true << "LineO2"
                                   << "vtO2" << 95.4 << "95.4"
                                   << "-95.4";
        QTest::newRow("TDS ppm signed") << 250 << 6 << true << "LineTDS"
                                        << "vtTDS" << 250.0 << "250"
                                        << "-250";
        QTest::newRow("ORP signed") << 1000 << 17 << true << "LineORP"
                                    << "vtORP" << -1000.0 << "-1000"
                                    << "-1000";
    }

    void unitsAndSigns()
    {
        QFETCH(int, value);
        QFETCH(int, mode);
        QFETCH(bool, negative);
        QFETCH(QString, series);
        QFETCH(QString, list);
        QFETCH(double, y);
        QFETCH(QString, valueText);
        QFETCH(QString, readout);
        feed(live(value, 250, mode, negative));
        tick();
        auto* chart = w->findChild<TrendChart*>(series.mid(4).prepend("Chart"));
        QVERIFY(chart);
        QCOMPARE(ys(chart->series()), QList<double>({y}));
        auto* big = w->findChild<TrendChart*>(series.mid(4).prepend("Chart").append("_Big"));
        QVERIFY(big);
        QCOMPARE(ys(big->series()), QList<double>({y}));
        auto* l = w->findChild<ResultList*>(list);
        QCOMPARE(l->model()->rowCount(), 1);
        QCOMPARE(cell(l, 0, 2), valueText);
        QCOMPARE(w->Edit2->text(), readout);
    }

    void fahrenheit()
    {
        feed(live(954, 771, 20, false, /*fahrenheit*/ true));
        tick();
        QCOMPARE(ys(w->LineTemp), QList<double>({77.1}));
        QCOMPARE(w->Label5->text(), QStringLiteral(" F"));
        QVERIFY(!w->Shape1->isHidden());
        QCOMPARE(cell(w->vtO2, 0, 4), QStringLiteral("77.1 F"));
    }

    void chartsCountTheirOwnSamples()
    {
        for (int i = 0; i < 3; ++i) {
            feed(live(700, 250, 13));
            tick();
            feed(live(500, 250, 17)); // ORP 500 mV: no temperature
            tick();
            feed(live(141, 240, 3));
            tick();
        }
        QCOMPARE(xs(w->LinePH), range(0, 2));
        QCOMPARE(xs(w->LineORP), range(0, 2));
        QCOMPARE(xs(w->LineCOND), range(0, 2));
        // Every reading but the millivolt ones feeds the one temperature chart.
        QCOMPARE(xs(w->LineTemp), range(0, 5));
        QCOMPARE(ys(w->LineTemp), QList<double>({25, 24, 25, 24, 25, 24}));
    }

    void decimalComma()
    {
        NumberFormat::setCurrent({u',', u'.'});
        feed(live(712, 253, 13));
        QCOMPARE(w->currentReading().FMeasValue, QStringLiteral("7,12"));
        tick();
        QCOMPARE(ys(w->LinePH), QList<double>({7.12}));
        QCOMPARE(ys(w->LineTemp), QList<double>({25.3}));
        QCOMPARE(cell(w->vtPH, 0, 2), QStringLiteral("7,12"));
        QCOMPARE(w->Edit3->text(), QStringLiteral("25,3"));
    }

    // A reading decoded under one separator and sampled after the user switched to the other.
    void separatorChangeBetweenFrameAndTick_data()
    {
        QTest::addColumn<QChar>("decodedWith");
        QTest::addColumn<QChar>("sampledWith");
        QTest::newRow("comma, then dot") << QChar(u',') << QChar(u'.');
        QTest::newRow("dot, then comma") << QChar(u'.') << QChar(u',');
    }

    void separatorChangeBetweenFrameAndTick()
    {
        QFETCH(QChar, decodedWith);
        QFETCH(QChar, sampledWith);
        const auto other = [](QChar c) { return c == u',' ? QChar(u'.') : QChar(u','); };
        NumberFormat::setCurrent({decodedWith, other(decodedWith)});
        feed(live(712, 253, 13));
        feed(encodeFrame(4, 1205, 253, 12, false, false, false)); // record: Salt 12.05 ppt, 25.3 C
        NumberFormat::setCurrent({sampledWith, other(sampledWith)});
        tick();
        QCOMPARE(ys(w->LinePH), QList<double>({7.12}));
        QCOMPARE(ys(w->LineTemp), QList<double>({25.3}));
        QCOMPARE(cell(w->vtSaveData, 0, 4), QStringLiteral("25") + sampledWith + u'3');
    }

    // A meter that falls silent with the port open: after StaleSeconds (10) its last reading is
    // no row, no point, and the read-out says since when it is the last; the history's line
    // breaks there, and the next reading is sampled as before.
    void aStaleReadingIsNoRow()
    {
        qint64& mono = m_mono;
        w->run()->monotonicMs = [this] { return m_mono; };
        auto* page = qobject_cast<ParameterPage*>(w->TabPH);
        feed(live(712, 253, 13)); // 10:00:00
        mono = 1000;
        tick();
        QVERIFY(w->lblStale->isHidden());
        const QColor normal = w->Edit2->palette().color(QPalette::Text);
        m_now = QDateTime(QDate(2026, 12, 9), QTime(10, 0, 10), QTimeZone(3600));
        mono = 11000;
        tick();
        QCOMPARE(w->vtPH->model()->rowCount(), 1);
        QCOMPARE(ys(w->LinePH), QList<double>({7.12}));
        QVERIFY(!w->lblStale->isHidden());
        QCOMPARE(w->lblStale->text(), QStringLiteral("No new reading since 10:00:00"));
        QCOMPARE(w->Edit2->text(), QStringLiteral("7.12"));
        QCOMPARE(w->Edit2->palette().color(QPalette::Text), QColor(0x80, 0x80, 0x80));
        QCOMPARE(w->Edit3->palette().color(QPalette::Text), QColor(0x80, 0x80, 0x80));

        feed(live(715, 253, 13));
        mono = 13000;
        tick();
        QCOMPARE(cell(w->vtPH, 0, 0), QStringLiteral("10:00:12"));
        QCOMPARE(ys(w->LinePH), QList<double>({7.12, 7.15}));
        QVERIFY(w->lblStale->isHidden());
        QCOMPARE(w->Edit2->palette().color(QPalette::Text), normal);
        page->showHistory(true);
        QCOMPARE(page->history->series()->breaks(), std::vector<qsizetype>{1});
    }

    void theTimerItselfSamples()
    {
        // No tick by hand: the window's own timer, at the 1 s period Connect gave it.
        feed(live(712, 253, 13));
        QTRY_COMPARE_WITH_TIMEOUT(w->vtPH->model()->rowCount(), 1, 2500);
        QCOMPARE(ys(w->LinePH), QList<double>({7.12}));
    }

    void badIntervals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const QString notInteger = QStringLiteral("Interval value must be an integer.");
        QTest::newRow("empty") << "" << notInteger;
        QTest::newRow("letters") << "abc" << notInteger;
        QTest::newRow("fraction") << "2.5" << notInteger;
        QTest::newRow("zero") << "0" << QString();
        QTest::newRow("negative") << "-3" << QString();
        QTest::newRow("overflowing product") << "2147484" << QString();
    }

    void badIntervals()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        for (auto handler : {&TfMain::Button1Click, &TfMain::btnConnClick}) {
            m_warnings.clear();
            w->Edit1->setText(text);
            w->btnSetting->setFocus();
            ((*w).*handler)(nullptr);
            QCOMPARE(m_warnings.size(), 1);
            if (!message.isEmpty())
                QCOMPARE(m_warnings.front(), message);
            else
                QVERIFY2(m_warnings.front().contains("2147483"), qPrintable(m_warnings.front()));
            QCOMPARE(w->Edit1->text(), QStringLiteral("1"));
            QVERIFY(w->Edit1->hasFocus());
            QCOMPARE(w->Timer1->interval(), 1000);
            QVERIFY(w->ComPort1->Connected()); // Disconnect was refused too
        }
    }

    void connectWithBadIntervalKeepsThePortClosed()
    {
        w->btnConnClick(w->btnConn); // Disconnect
        w->Edit1->setText("abc");
        w->btnConnClick(w->btnConn);
        QCOMPARE(m_warnings, QStringList{QStringLiteral("Interval value must be an integer.")});
        QVERIFY(!w->ComPort1->Connected());
        QCOMPARE(w->btnConn->text(), QStringLiteral("Connect"));
        QCOMPARE(w->Edit1->text(), QStringLiteral("1"));
    }

    void goWithClosedPortIsRefused()
    {
        w->btnConnClick(w->btnConn);
        tick(); // caption "Go", timer off
        w->Button2Click(w->Button2);
        QCOMPARE(m_warnings, QStringList{QStringLiteral("Please connect the ComPort.")});
        QCOMPARE(w->Button2->text(), QStringLiteral("Go"));
        QVERIFY(!w->Timer1->isActive());
    }

    void framesThroughThePort()
    {
        // Two frames and a damaged stretch in one write: both frames are decoded, the garbage
        // is counted and shown without a box.
        const MeterFrame a = live(712, 253, 13);
        const MeterFrame b = encodeFrame(3, 1000, 250, 16, false, false, false);
        QByteArray bytes(reinterpret_cast<const char*>(a.data()), 11);
        bytes += "\x01\x02\x0f";
        bytes += QByteArray(reinterpret_cast<const char*>(b.data()), 11);
        m_pty->write(bytes);
        QTRY_COMPARE(w->vtSaveData->model()->rowCount(), 1);
        QCOMPARE(w->currentReading().FMeasValue, QStringLiteral("7.12"));
        QCOMPARE(w->skippedBytes(), 3);
        QCOMPARE(w->lblLinkStatus->text(), QStringLiteral("Line noise: 3 bytes skipped"));
        QVERIFY(m_warnings.isEmpty());
    }

    void lineNoiseIsOneCalmLine_data()
    {
        QTest::addColumn<QByteArray>("noise"); // written before one good frame
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("exactCount");
        MeterFrame damaged = live(712, 253, 13);
        damaged[3] = 0xA7; // a value digit above 9
        QTest::newRow("frame with damaged digits")
            << QByteArray(reinterpret_cast<const char*>(damaged.data()), 11)
            << "Line noise: 11 bytes skipped"
            << "11";
        QTest::newRow("one stray byte") << QByteArray("\x01", 1) << "Line noise: 1 byte skipped"
                                        << "1";
        QTest::newRow("long burst") << QByteArray(123456, '\0') << "Line noise: 123 kB skipped"
                                    << "123456";
    }

    void lineNoiseIsOneCalmLine()
    {
        QFETCH(QByteArray, noise);
        QFETCH(QString, text);
        QFETCH(QString, exactCount);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // A whole frame first: bytes before the first frame are a frame's tail, not noise.
        const MeterFrame first = live(650, 250, 13);
        const MeterFrame good = live(700, 250, 13);
        QVERIFY(writeServing(QByteArray(reinterpret_cast<const char*>(first.data()), 11) + noise +
                             QByteArray(reinterpret_cast<const char*>(good.data()), 11)));
        QTRY_COMPARE(w->currentReading().FMeasValue, QStringLiteral("7"));
        QLabel* label = w->lblLinkStatus;
        QCOMPARE(label->text(), text);
        QVERIFY2(label->toolTip().contains(exactCount), qPrintable(label->toolTip()));
        QVERIFY(m_warnings.isEmpty());

        // Drawn as one line of dark text inside the free space between MainPage and Setting.
        QVERIFY(label->geometry().left() > w->Button3->geometry().right());
        QVERIFY(label->geometry().right() < w->btnSetting->geometry().left());
        const QImage image = label->grab().toImage();
        int top = image.height(), bottom = -1, right = -1;
        bool red = false;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.lightness() > 160)
                    continue; // background
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                right = std::max(right, x);
                red = red || (c.red() > 150 && c.green() < 100);
            }
        }
        QVERIFY2(bottom >= 0, "the label draws its text");
        QVERIFY2(bottom - top < label->fontMetrics().height(),
                 qPrintable(QStringLiteral("ink over %1 px").arg(bottom - top + 1)));
        QVERIFY2(right < image.width() - 2, "the text is cut at the right edge");
        QVERIFY(!red);
    }

    void pulledCableKeepsEverythingWithAutoReconnectOff()
    {
        // The off switch: the window does not wait for the meter and the box is the modal one.
        QTemporaryDir dir;
        QFile config(dir.filePath(QStringLiteral("config.ini")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        QVERIFY(config.write("[Pexumo]\nAutoReconnect=0\n") > 0);
        config.close();
        w.reset();
        openWindow(config.fileName());
        feed(live(712, 253, 13));
        tick();
        const MeterFrame rec = encodeFrame(1, 712, 250, 13, false, false, false);
        m_pty->write(QByteArray(reinterpret_cast<const char*>(rec.data()), 11));
        QTRY_COMPARE(w->vtSaveData->model()->rowCount(), 1);
        m_pty->closeMaster();
        QTRY_COMPARE(m_warnings, QStringList{QStringLiteral("USB has been ejected.")});
        QVERIFY(!w->ComPort1->Connected());
        QCOMPARE(w->btnConn->text(), QStringLiteral("Connect"));
        QVERIFY(!w->Button2->isEnabled());
        QCOMPARE(w->Button2->text(), QStringLiteral("Go"));
        QVERIFY(!w->Timer1->isActive());
        QCOMPARE(w->vtPH->model()->rowCount(), 1);
        QCOMPARE(w->LinePH->count(), 1);
        QTest::qWait(50); // no second message for the same pull
        QCOMPARE(m_warnings.size(), 1);
        QVERIFY(!w->waitingForMeter());
        QVERIFY(w->lineNote().isEmpty());

        // Plugged in again: Connect works without a restart.
        m_pty = std::make_unique<PtyPair>();
        connectPort();
        QCOMPARE(w->Button2->text(), QStringLiteral("Stop"));
    }

    void openFailureTellsAndShowsSetup()
    {
        w->btnConnClick(w->btnConn); // Disconnect
        int setupShown = 0;
        w->showSetupDialog = [&] { ++setupShown; };
        QStringList details;
        w->showWarning = [&](const QString& text, const QString& detail) {
            m_warnings << text;
            details << detail;
        };
        PortSettings s = w->ComPort1->settings();
        s.name = QStringLiteral("/dev/pexumo-no-such-port");
        w->ComPort1->setSettings(s);
        w->btnConnClick(w->btnConn);
        QCOMPARE(m_warnings,
                 QStringList{QStringLiteral("Please set the ComPort and Re-plug the USB Cable.")});
        QVERIFY(!details.front().isEmpty());
        QCOMPARE(setupShown, 1);
        QVERIFY(!w->ComPort1->Connected());
        QCOMPARE(w->btnConn->text(), QStringLiteral("Connect"));
    }
};

QTEST_MAIN(TestSampling)
#include "tst_sampling.moc"
