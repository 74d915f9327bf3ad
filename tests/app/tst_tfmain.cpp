// The main window as the user first sees it: layout, captions, start-up state, navigation and
// the configuration read at start.
#include "acquire/gui/trendchart.h"
#include "acquire/windowedseries.h"
#include "app/gui/application.h"
#include "app/gui/degreemark.h"
#include "app/gui/tfmain.h"
#include "base/numberformat.h"
#include "link/gui/setupdialog.h"
#include "link/meterframe.h"
#include "results/gui/resultexporter.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"
#include "support/pty.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace pexumo;

class TestTfMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<TfMain>
    makeWindow(const QString& configPath = QStringLiteral("/nonexistent/config.ini"))
    {
        auto w = std::make_unique<TfMain>(nullptr, configPath);
        w->confirmDiscard = [] { return true; };
        w->showWarning = [this](const QString& text, const QString&) { m_warnings << text; };
        return w;
    }
    QStringList m_warnings;

private slots:
    void init()
    {
        m_warnings.clear();
        NumberFormat::setCurrent({});
    }

    void controlBar_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("Label1") << "Label1" << QRect(8, 12, 65, 13) << "Interval :" << true;
        QTest::newRow("Edit1") << "Edit1" << QRect(72, 8, 33, 21) << "1" << true;
        QTest::newRow("Label6") << "Label6" << QRect(112, 12, 25, 13) << "sec" << true;
        QTest::newRow("Button1") << "Button1" << QRect(160, 8, 49, 25) << "Set" << true;
        QTest::newRow("Button2") << "Button2" << QRect(208, 8, 49, 25) << "Stop" << false;
        QTest::newRow("Button11") << "Button11" << QRect(304, 8, 89, 25) << "DownloadData" << true;
        QTest::newRow("Button3") << "Button3" << QRect(392, 8, 75, 25) << "MainPage" << true;
        QTest::newRow("btnSetting") << "btnSetting" << QRect(632, 8, 75, 25) << "Setting" << true;
        QTest::newRow("btnConn") << "btnConn" << QRect(710, 8, 75, 25) << "Connect" << true;
    }

    void controlBar()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        auto w = makeWindow();
        auto* widget = w->Panel1->findChild<QWidget*>(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(widget->geometry(), geometry);
        QCOMPARE(widget->property("text").toString(), text);
        QCOMPARE(widget->isEnabled(), enabled);
    }

    void windowAndPages()
    {
        auto w = makeWindow();
        QCOMPARE(w->objectName(), QStringLiteral("fMain"));
        QCOMPARE(fMain, w.get());
        QCOMPARE(w->Panel1->height(), 41);
        QCOMPARE(w->windowTitle(), QStringLiteral(" ")); // blank: no program name either

        const QStringList pages = {"TabAll",  "TabPH", "TabORP", "TabCOND",    "TabTDS",
                                   "TabSalt", "TabDO", "TabO2",  "TabSaveData"};
        QCOMPARE(w->PageControl1->count(), pages.size());
        for (int i = 0; i < pages.size(); ++i)
            QCOMPARE(w->PageControl1->widget(i)->objectName(), pages[i]);
        QCOMPARE(w->PageControl1->currentWidget(), w->TabAll);

        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->PageControl1->size(), QSize(800, 574));
        QCOMPARE(w->Panel1->width(), 800);

        // A wider window: the bar follows the width at its height, the pages fill the rest,
        // the controls on a page keep their place.
        w->resize(1000, 700);
        QTRY_COMPARE(w->PageControl1->size(), QSize(1000, 659));
        QCOMPARE(w->Panel1->height(), 41);
        QCOMPARE(w->Panel1->width(), 1000);
        QCOMPARE(w->Label2->geometry(), QRect(536, 416, 81, 25));
    }

    void dashboard_data()
    {
        QTest::addColumn<QString>("chart");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QPoint>("pos");
        QTest::newRow("pH") << "ChartPH"
                            << "LinePH"
                            << "pH" << QPoint(0, 0);
        QTest::newRow("ORP") << "ChartORP"
                             << "LineORP"
                             << "ORP" << QPoint(264, 0);
        QTest::newRow("COND") << "ChartCOND"
                              << "LineCOND"
                              << "COND" << QPoint(528, 0);
        QTest::newRow("TDS") << "ChartTDS"
                             << "LineTDS"
                             << "TDS" << QPoint(0, 192);
        QTest::newRow("Salt") << "ChartSalt"
                              << "LineSalt"
                              << "Salt" << QPoint(264, 192);
        QTest::newRow("DO") << "ChartDO"
                            << "LineDO"
                            << "DO" << QPoint(528, 192);
        QTest::newRow("O2") << "ChartO2"
                            << "LineO2"
                            << "O2" << QPoint(0, 385);
        QTest::newRow("Temp") << "ChartTemp"
                              << "LineTemp"
                              << "Temp" << QPoint(264, 385);
    }

    void dashboard()
    {
        QFETCH(QString, chart);
        QFETCH(QString, line);
        QFETCH(QString, title);
        QFETCH(QPoint, pos);
        auto w = makeWindow();
        auto* c = w->TabAll->findChild<TrendChart*>(chart);
        QVERIFY(c);
        QCOMPARE(c->geometry(), QRect(pos, QSize(257, 185)));
        QCOMPARE(c->chart()->title(), title);
        QCOMPARE(c->series()->objectName(), line);
        QCOMPARE(c->series()->count(), 0);
    }

    void readOutAtStart()
    {
        auto w = makeWindow();
        QCOMPARE(w->Label2->text(), QStringLiteral("Type"));
        QCOMPARE(w->Label2->geometry(), QRect(536, 416, 81, 25));
        QCOMPARE(w->Label3->text(), QStringLiteral("Temp"));
        QVERIFY(w->Edit2->text().isEmpty());
        QVERIFY(w->Edit3->text().isEmpty());
        QVERIFY(w->Edit2->isReadOnly());
        QVERIFY(w->Edit3->isReadOnly());
        QVERIFY(w->Label4->text().isEmpty());
        QVERIFY(w->Label5->text().isEmpty());
        QVERIFY(w->Shape1->isHidden());
        QCOMPARE(w->Shape1->geometry(), QRect(704, 464, 9, 9));
        QCOMPARE(w->Label7->text(), QStringLiteral("Note:"));
        QCOMPARE(w->Label8->text(), QStringLiteral("Please disconnect or close this program"));
        QCOMPARE(w->Label9->text(),
                 QStringLiteral("before remove the USB cable or turn off power"));
        QCOMPARE(w->Label9->pos(), QPoint(560, 544));
        QCOMPARE(w->Label8->pos(), QPoint(560, 528));
        QCOMPARE(w->Label7->pos(), QPoint(544, 512));
        QCOMPARE(w->Edit2->geometry(), QRect(624, 408, 81, 30));
        QCOMPARE(w->Label4->geometry(), QRect(710, 416, 81, 25));
        QCOMPARE(w->Label3->geometry(), QRect(536, 464, 81, 25));
        QCOMPARE(w->Edit3->geometry(), QRect(624, 456, 81, 30));
        QCOMPARE(w->Label5->geometry(), QRect(710, 464, 81, 25));
        QVERIFY(!w->Timer1->isActive());
        QCOMPARE(w->Timer1->interval(), 1000);
        QCOMPARE(w->currentReading(), CurrentReading{});
    }

    void parameterPages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("chart");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("button");
        QTest::newRow("pH") << "TabPH"
                            << "ChartPH_Big"
                            << "vtPH"
                            << "Button4";
        QTest::newRow("ORP") << "TabORP"
                             << "ChartORP_Big"
                             << "vtORP"
                             << "Button5";
        QTest::newRow("COND") << "TabCOND"
                              << "ChartCOND_Big"
                              << "vtCOND"
                              << "Button6";
        QTest::newRow("TDS") << "TabTDS"
                             << "ChartTDS_Big"
                             << "vtTDS"
                             << "Button7";
        QTest::newRow("Salt") << "TabSalt"
                              << "ChartSalt_Big"
                              << "vtSalt"
                              << "Button8";
        QTest::newRow("DO") << "TabDO"
                            << "ChartDO_Big"
                            << "vtDO"
                            << "Button9";
        QTest::newRow("O2") << "TabO2"
                            << "ChartO2_Big"
                            << "vtO2"
                            << "Button10";
    }

    void parameterPages()
    {
        QFETCH(QString, page);
        QFETCH(QString, chart);
        QFETCH(QString, list);
        QFETCH(QString, button);
        auto w = makeWindow();
        auto* p = w->PageControl1->findChild<QWidget*>(page);
        QVERIFY(p);
        auto* c = p->findChild<TrendChart*>(chart);
        QVERIFY(c);
        QCOMPARE(c->geometry(), QRect(0, 0, 785, 273));
        QCOMPARE(c->series()->objectName(), chart.replace("Chart", "Line"));
        auto* l = p->findChild<ResultList*>(list);
        QVERIFY(l);
        QCOMPARE(l->geometry(), QRect(0, 280, 457, 289));
        QCOMPARE(l->list()->kind(), list == "vtORP" ? ListKind::Orp : ListKind::Sample);
        QCOMPARE(l->model()->columnCount(), 5);
        auto* b = p->findChild<QPushButton*>(button);
        QVERIFY(b);
        QCOMPARE(b->geometry(), QRect(464, 280, 89, 33));
        QCOMPARE(b->text(), QStringLiteral("SaveResult"));
    }

    void recordsPage()
    {
        auto w = makeWindow();
        QCOMPARE(w->vtSaveData->parentWidget(), w->TabSaveData);
        QCOMPARE(w->vtSaveData->geometry(), QRect(0, 0, 697, 569));
        QCOMPARE(w->vtSaveData->model()->columnCount(), 6);
        QCOMPARE(w->vtSaveData->list()->kind(), ListKind::Downloaded);
        QCOMPARE(w->Button12->geometry(), QRect(704, 0, 75, 25));
        QCOMPARE(w->Button12->text(), QStringLiteral("SaveResult"));
        QCOMPARE(w->SaveDialog1->objectName(), QStringLiteral("SaveDialog1"));
    }

    void focusOrder()
    {
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        // The next or previous widget that the Tab key can reach: one that takes the focus by
        // Tab, is enabled and shows (widgets on hidden pages are skipped).
        auto tabStop = [](QWidget* from, bool forward) {
            QWidget* w = from;
            do
                w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
            while (w != from &&
                   !((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisible()));
            return w;
        };
        // At start the focus is on the dashboard, the first stop of the window's chain.
        QWidget* first = tabStop(w.get(), true);
        QVERIFY2(w->TabAll->isAncestorOf(first), qPrintable(first->objectName()));
        QVERIFY2(w->TabAll->isAncestorOf(QApplication::focusWidget()),
                 qPrintable(QApplication::focusWidget()->objectName()));

        // Button2 is disabled until a connection; enabled, it takes its place in the order.
        w->Button2->setEnabled(true);
        const QList<QWidget*> order = {w->Edit1,   w->Button2,    w->Button3, w->Button11,
                                       w->Button1, w->btnSetting, w->btnConn};
        for (int i = 0; i + 1 < order.size(); ++i)
            QCOMPARE(tabStop(order[i], true), order[i + 1]);
        // The bar ends the round: after btnConn the pages come again, and before Edit1 lie the
        // pages, not the window's first stop.
        QCOMPARE(tabStop(w->btnConn, true), first);
        QWidget* beforeBar = tabStop(w->Edit1, false);
        QVERIFY2(w->TabAll->isAncestorOf(beforeBar), qPrintable(beforeBar->objectName()));

        // The same on a parameter page: its list or button comes before the bar.
        w->ChartPHClick(nullptr);
        QWidget* onPage = tabStop(w->Edit1, false);
        QVERIFY2(w->TabPH->isAncestorOf(onPage), qPrintable(onPage->objectName()));
    }

    // A file that cannot be saved and a port the setup dialog cannot open are both errors of the
    // program's one standard display, not boxes of their own.
    void errorsGoToTheStandardDisplay()
    {
        QStringList shown;
        const auto saved = Application::exceptionDisplay;
        Application::exceptionDisplay = [&shown](const QString& m) { shown << m; };
        const auto restore = qScopeGuard([&] { Application::exceptionDisplay = saved; });

        auto w = makeWindow();
        QTemporaryDir dir;
        const QString missing = dir.filePath("no such folder/result");
        w->exporter()->askFileName = [&missing] { return missing; };
        w->Button4Click(w->Button4);
        QCOMPARE(shown, QStringList{"Cannot create file " + missing + ".txt"});

        test::PtyPair meter;
        if (!meter.isValid())
            QSKIP("no pseudo-terminal");
        PortSettings onPty = w->ComPort1->settings();
        onPty.name = meter.slavePath();
        QVERIFY(w->ComPort1->setSettings(onPty));
        w->btnConnClick(w->btnConn);
        QVERIFY(w->ComPort1->Connected());
        bool answered = false;
        QTimer::singleShot(0, [&answered] {
            auto* dialog = qobject_cast<SetupDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            const QString missing = QStringLiteral("ttyPexumoMissing");
            dialog->cbPort->addItem(missing, missing);
            dialog->cbPort->setCurrentIndex(dialog->cbPort->count() - 1);
            dialog->btnOK->click();
            answered = true;
        });
        w->btnSettingClick(w->btnSetting);
        QVERIFY(answered);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.last(),
                 QStringLiteral("There is no port ttyPexumoMissing: no such device."));
    }

    void navigation()
    {
        auto w = makeWindow();
        using Handler = void (TfMain::*)(QObject*);
        const std::pair<Handler, QWidget*> clicks[] = {
            {&TfMain::ChartPHClick, w->TabPH},     {&TfMain::ChartORPClick, w->TabORP},
            {&TfMain::ChartCONDClick, w->TabCOND}, {&TfMain::ChartTDSClick, w->TabTDS},
            {&TfMain::ChartSaltClick, w->TabSalt}, {&TfMain::ChartDOClick, w->TabDO},
            {&TfMain::ChartO2Click, w->TabO2}};
        for (const auto& [handler, page] : clicks) {
            ((*w).*handler)(nullptr);
            QCOMPARE(w->PageControl1->currentWidget(), page);
            w->Button3Click(nullptr);
            QCOMPARE(w->PageControl1->currentWidget(), w->TabAll);
        }
        // "MainPage" on the dashboard and "DownloadData" on the records page change nothing.
        w->Button3Click(nullptr);
        QCOMPARE(w->PageControl1->currentWidget(), w->TabAll);
        w->Button11Click(nullptr);
        QCOMPARE(w->PageControl1->currentWidget(), w->TabSaveData);
        w->Button11Click(nullptr);
        QCOMPARE(w->PageControl1->currentWidget(), w->TabSaveData);
        QCOMPARE(w->vtSaveData->model()->rowCount(), 0);
        QVERIFY(m_warnings.isEmpty());
    }

    void mouseNavigation()
    {
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // A real click on a small chart with no points opens its page; the Temp chart opens none.
        QTest::mouseClick(w->ChartTemp->viewport(), Qt::LeftButton, {}, QPoint(120, 90));
        QCOMPARE(w->PageControl1->currentWidget(), w->TabAll);
        QTest::mouseClick(w->ChartDO->viewport(), Qt::LeftButton, {}, QPoint(120, 90));
        QCOMPARE(w->PageControl1->currentWidget(), w->TabDO);
        QTest::mouseClick(w->Button11, Qt::LeftButton);
        QCOMPARE(w->PageControl1->currentWidget(), w->TabSaveData);
        QTest::mouseClick(w->Button3, Qt::LeftButton);
        QCOMPARE(w->PageControl1->currentWidget(), w->TabAll);
    }

    void closingWithUnsavedReadingsAsks()
    {
        auto w = makeWindow();
        int asked = 0;
        w->confirmDiscard = [&] {
            ++asked;
            return false;
        };
        w->show();
        QVERIFY(w->close()); // nothing recorded: no question
        QCOMPARE(asked, 0);

        w->show();
        w->DecodeFrame(decodeFrame(encodeFrame(1, 712, 250, 13, false, false, false)));
        QVERIFY(!w->close()); // the user keeps the window and the record
        QCOMPARE(asked, 1);
        QVERIFY(w->isVisible());

        QTemporaryDir dir;
        w->exporter()->askFileName = [&] {
            // A record arrives while the dialog is open: the file holds it, so it is saved.
            w->DecodeFrame(decodeFrame(encodeFrame(2, 713, 250, 13, false, false, false)));
            return FileChoice(dir.filePath("records"));
        };
        w->Button12Click(nullptr);
        QVERIFY(QFile::exists(dir.filePath("records.txt")));
        QVERIFY(w->close()); // everything saved: no question
        QCOMPARE(asked, 1);
    }

    void configuration_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QChar>("decimal");
        QTest::newRow("no section") << QByteArray("[Other]\nFormCaption=x\n") << "" << QChar('.');
        QTest::newRow("caption") << QByteArray("[Pexumo]\nFormCaption=Pond 3\n") << "Pond 3"
                                 << QChar('.');
        QTest::newRow("empty caption")
            << QByteArray("[pexumo]\nformcaption=\n") << "" << QChar('.');
        QTest::newRow("comma") << QByteArray("[PEXUMO]\nChangeDecimal=1\n") << "" << QChar(',');
        QTest::newRow("hex comma")
            << QByteArray("[Pexumo]\nChangeDecimal=$1\n") << "" << QChar(',');
        QTest::newRow("two") << QByteArray("[Pexumo]\nChangeDecimal=2\n") << "" << QChar('.');
        QTest::newRow("garbage") << QByteArray("\x00\xff\x01[Pex", 7) << "" << QChar('.');
    }

    void configuration()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, title);
        QFETCH(QChar, decimal);
        QTemporaryDir dir;
        QFile file(dir.filePath("config.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
        file.close();
        auto w = makeWindow(file.fileName());
        QCOMPARE(w->windowTitle(), title.isEmpty() ? QStringLiteral(" ") : title);
        QCOMPARE(NumberFormat::current().decimal, decimal);
        QCOMPARE(FormatNumber(7.25),
                 decimal == u',' ? QStringLiteral("7,25") : QStringLiteral("7.25"));
    }

    void configurationFromWorkingDirectory()
    {
        // config.ini is looked up in the working directory, not beside the program.
        const auto writeConfig = [](const QString& path, const QByteArray& caption) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[Pexumo]\nFormCaption=" + caption + "\n");
        };
        QTemporaryDir workDir;
        QTemporaryDir emptyDir;
        writeConfig(workDir.filePath("config.ini"), "From the working directory");
        const QString besideProgram =
            QDir(QCoreApplication::applicationDirPath()).filePath("config.ini");
        QVERIFY(!QFile::exists(besideProgram));
        writeConfig(besideProgram, "Beside the program");
        const auto cleanup = qScopeGuard([&] { QFile::remove(besideProgram); });
        const QString before = QDir::currentPath();
        const auto restore = qScopeGuard([&] { QDir::setCurrent(before); });

        QVERIFY(QDir::setCurrent(workDir.path()));
        {
            TfMain w;
            w.confirmDiscard = [] { return true; };
            QCOMPARE(w.windowTitle(), QStringLiteral("From the working directory"));
        }
        QVERIFY(QDir::setCurrent(emptyDir.path()));
        {
            TfMain w;
            w.confirmDiscard = [] { return true; };
            QCOMPARE(w.windowTitle(), QStringLiteral(" "));
        }
    }

    void emptyChartsUseTheSeparatorInForce_data()
    {
        QTest::addColumn<QByteArray>("ini");   // empty: no config.ini
        QTest::addColumn<QString>("regional"); // the user's locale after a change, or ""
        QTest::addColumn<QString>("separator");
        QTest::newRow("ChangeDecimal=1") << QByteArray("[Pexumo]\nChangeDecimal=1\n") << ""
                                         << ",";
        QTest::newRow("regional comma") << QByteArray() << "de_DE"
                                        << ",";
        QTest::newRow("regional point") << QByteArray() << "en_GB"
                                        << ".";
    }

    void emptyChartsUseTheSeparatorInForce()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, regional);
        QFETCH(QString, separator);
        QTemporaryDir dir;
        QString configPath = dir.filePath("config.ini");
        if (!ini.isEmpty()) {
            QFile file(configPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        const QLocale before;
        const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
        QLocale::setDefault(QLocale::c());
        auto w = makeWindow(configPath);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // A point on one chart only: the others stay empty.
        w->ChartPH->addWindowedPoint(7.25, SmallChartWindow);
        if (!regional.isEmpty()) {
            QLocale::setDefault(QLocale(regional));
            QEvent change(QEvent::LocaleChange);
            QCoreApplication::sendEvent(w.get(), &change);
        }
        QCoreApplication::processEvents();
        const QString other = separator == "," ? QStringLiteral(".") : QStringLiteral(",");
        for (TrendChart* chart : {w->ChartORP, w->ChartTemp, w->ChartPH}) {
            QStringList labels;
            for (QGraphicsItem* item : chart->scene()->items())
                if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible())
                    labels << text->toPlainText();
            const QString seen = chart->objectName() + ": " + labels.join(u'|');
            QVERIFY2(!labels.filter(separator).isEmpty(), qPrintable(seen));
            QVERIFY2(labels.filter(other).isEmpty(), qPrintable(seen));
        }
    }

    void localeChangeKeepsConfiguredComma()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("config.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Pexumo]\nChangeDecimal=1\n");
        file.close();
        auto w = makeWindow(file.fileName());
        QEvent change(QEvent::LocaleChange);
        QCoreApplication::sendEvent(w.get(), &change);
        QCOMPARE(NumberFormat::current().decimal, QChar(u','));

        auto plain = makeWindow();
        NumberFormat::setCurrent({u',', u'.'});
        QCoreApplication::sendEvent(plain.get(), &change);
        QCOMPARE(NumberFormat::current().decimal, QLocale().decimalPoint().front());
    }
};

QTEST_MAIN(TestTfMain)
#include "tst_tfmain.moc"
