#include "results/gui/resultexporter.h"

#include "results/textexport.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

using namespace pexumo;

class TestResultExporter : public QObject
{
    Q_OBJECT

private:
    static void fill(ResultListModel& list)
    {
        list.add({"10:00:01", "pH", "7.01", "pH", "25.3", "C", 0});
        list.add({"10:00:02", "pH", "-1.5", "pH", "77", "F", 0});
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static QStringList entries(const QTemporaryDir& dir)
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // Runs \a answer on the modal widget once it is up (polled, since showing takes a few
    // event-loop turns); anything else that is modal is closed so the test never hangs.
    template <typename Widget, typename Answer>
    static void whenModal(Answer answer, int tries = 200)
    {
        QTimer::singleShot(10, [answer, tries] {
            QWidget* active = QApplication::activeModalWidget();
            if (auto* modal = qobject_cast<Widget*>(active); modal && modal->isVisible())
                answer(modal);
            else if (tries > 0)
                whenModal<Widget>(answer, tries - 1);
            else if (active)
                active->close();
        });
    }

    // Types \a name into the dialog's name box and presses Return, as a user does (selectFile
    // skips a focused box); a dialog that is still up after that is closed.
    static void typeNameAndEnter(QFileDialog* dialog, const QString& name)
    {
        if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) {
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
        }
        if (dialog->isVisible())
            dialog->close();
    }

private slots:
    void cleanup()
    {
        // No dialog or box may outlive its test.
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible() || !w->isModal(), qPrintable(w->objectName()));
    }

    void saveDialogIsSetUp()
    {
        QWidget window;
        ResultExporter exporter(&window);
        QFileDialog* dialog = exporter.SaveDialog1();
        QCOMPARE(dialog->objectName(), QStringLiteral("SaveDialog1"));
        QCOMPARE(dialog->parent(), &window);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->nameFilters(),
                 (QStringList{"Text File (*.txt)", "All Type (*.*)", "CSV File (*.csv)"}));
        QVERIFY(dialog->defaultSuffix().isEmpty());
        QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    }

    void typedNameGetsItsFile_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("plain") << "result"
                               << "result.txt";
        QTest::newRow("upper case") << "result.TXT"
                                    << "result.TXT.txt";
        QTest::newRow("inner .txt") << "data.txt.bak"
                                    << "data.txt.bak";
        QTest::newRow("other extension") << "data.csv"
                                         << "data.csv.txt";
        QTest::newRow("folder with .txt") << "old.txtfiles/result"
                                          << "old.txtfiles/result";
    }

    void typedNameGetsItsFile()
    {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("old.txtfiles"));
        QWidget window;
        ResultExporter exporter(&window);
        exporter.askFileName = [&] { return dir.filePath(typed); };
        QStringList errors;
        exporter.showError = [&errors](const QString& message) { errors << message; };
        ResultListModel list(ListKind::Sample);
        fill(list);

        QCOMPARE(exporter.save(list), dir.filePath(saved));
        QVERIFY(errors.isEmpty());
        QCOMPARE(contents(dir.filePath(saved)),
                 QByteArray("10:00:01    pH    7.01    pH    25.3     C\r\n"
                            "10:00:02    pH    -1.5    pH    77     F\r\n"));
    }

    void chosenFilterPicksLayoutAndSuffix_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("csv");
        const QString text = "Text File (*.txt)";
        const QString all = "All Type (*.*)";
        const QString csv = "CSV File (*.csv)";
        QTest::newRow("csv, plain name") << csv << "result"
                                         << "result.csv" << true;
        QTest::newRow("csv, upper case suffix") << csv << "result.CSV"
                                                << "result.CSV" << true;
        QTest::newRow("csv, suffix inside") << csv << "data.csv.bak"
                                            << "data.csv.bak.csv" << true;
        QTest::newRow("csv, .txt name") << csv << "result.txt"
                                        << "result.txt.csv" << true;
        QTest::newRow("text, .csv name") << text << "data.csv"
                                         << "data.csv.txt" << false;
        QTest::newRow("all files, .csv name") << all << "data.csv"
                                              << "data.csv.txt" << false;
        QTest::newRow("no filter reported") << QString() << "result"
                                            << "result.txt" << false;
    }

    void chosenFilterPicksLayoutAndSuffix()
    {
        QFETCH(QString, filter);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(bool, csv);
        QTemporaryDir dir;
        QWidget window;
        ResultExporter exporter(&window);
        exporter.askFileName = [&] { return FileChoice(dir.filePath(typed), filter); };
        exporter.showError = [](const QString& message) { QFAIL(qPrintable(message)); };
        ResultListModel list(ListKind::Sample);
        fill(list);

        QCOMPARE(exporter.save(list), dir.filePath(saved));
        QCOMPARE(entries(dir), QStringList{saved});
        QCOMPARE(contents(dir.filePath(saved)),
                 csv ? QByteArray("Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                                  ",10:00:01,pH,7.01,pH,25.3,C\r\n"
                                  ",10:00:02,pH,-1.5,pH,77,F\r\n")
                     : QByteArray("10:00:01    pH    7.01    pH    25.3     C\r\n"
                                  "10:00:02    pH    -1.5    pH    77     F\r\n"));
    }

    void csvFailureIsShownLikeText()
    {
        QTemporaryDir dir;
        QWidget window;
        ResultExporter exporter(&window);
        exporter.askFileName = [&dir] {
            return FileChoice(dir.filePath("gone/result"), ResultExporter::csvNameFilter());
        };
        QStringList errors;
        exporter.showError = [&errors](const QString& message) { errors << message; };
        ResultListModel list(ListKind::Downloaded);
        QCOMPARE(exporter.save(list), QString());
        QCOMPARE(errors, QStringList{"Cannot create file " + dir.filePath("gone/result.csv")});
        QVERIFY(entries(dir).isEmpty());
    }

    void realDialogReportsTheCsvFilter()
    {
        QTemporaryDir dir;
        QWidget window;
        ResultExporter exporter(&window);
        exporter.SaveDialog1()->setDirectory(dir.path());
        ResultListModel list(ListKind::Downloaded);
        list.add({"3", "ORP", "120.5", "mV", "", "", -1});

        const QString typed = dir.filePath("memory");
        whenModal<QFileDialog>([typed](QFileDialog* dialog) {
            dialog->selectNameFilter("CSV File (*.csv)");
            typeNameAndEnter(dialog, typed);
        });
        QCOMPARE(exporter.save(list), typed + ".csv");
        QCOMPARE(contents(typed + ".csv"),
                 QByteArray("Record,Type,Value,Unit,Temperature,Temperature unit,Received\r\n"
                            "3,ORP,-120.5,mV,,,\r\n"));
    }

    void cancelCreatesNothing()
    {
        QTemporaryDir dir;
        QWidget window;
        ResultExporter exporter(&window);
        bool asked = false;
        exporter.askFileName = [&asked] {
            asked = true;
            return QString();
        };
        exporter.showError = [](const QString& message) { QFAIL(qPrintable(message)); };
        ResultListModel list(ListKind::Orp);
        fill(list);
        QCOMPARE(exporter.save(list), QString());
        QVERIFY(asked);
        QVERIFY(entries(dir).isEmpty());
    }

    void realDialogCancelAndAccept()
    {
        QTemporaryDir dir;
        QWidget window;
        ResultExporter exporter(&window);
        exporter.SaveDialog1()->setDirectory(dir.path());
        exporter.SaveDialog1()->selectFile(dir.filePath("earlier"));
        ResultListModel list(ListKind::Downloaded);
        list.add({"3", "ORP", "120.5", "mV", "", "", -1});

        QString shownName = "<dialog not shown>";
        whenModal<QFileDialog>([&shownName](QFileDialog* dialog) {
            if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit"))
                shownName = edit->text();
            dialog->reject();
        });
        QCOMPARE(exporter.save(list), QString());
        QCOMPARE(shownName, QString());
        QVERIFY(entries(dir).isEmpty());

        const QString typed = dir.filePath("memory");
        whenModal<QFileDialog>([typed](QFileDialog* dialog) { typeNameAndEnter(dialog, typed); });
        QCOMPARE(exporter.save(list), typed + ".txt");
        QCOMPARE(contents(typed + ".txt"), QByteArray("3   ORP   -120.5   mV      \r\n"));
    }

    void typedPathIsSavedByEnterOrButton_data()
    {
        QTest::addColumn<QString>("typed"); // relative to the folder the dialog shows
        QTest::addColumn<bool>("fullPath");
        QTest::addColumn<bool>("byButton");
        QTest::addColumn<QString>("saved");
        // "memory.txt" exists in the folder shown and starts with "old".
        QTest::newRow("existing, full path, Enter")
            << "memory.txt" << true << false << "memory.txt";
        QTest::newRow("existing, full path, Save") << "memory.txt" << true << true << "memory.txt";
        QTest::newRow("existing name, Enter") << "memory.txt" << false << false << "memory.txt";
        QTest::newRow("existing name, Save") << "memory.txt" << false << true << "memory.txt";
        QTest::newRow("prefix of existing, Save") << "mem" << true << true << "mem.txt";
        QTest::newRow("new, full path, Enter") << "fresh" << true << false << "fresh.txt";
    }

    void typedPathIsSavedByEnterOrButton()
    {
        QFETCH(QString, typed);
        QFETCH(bool, fullPath);
        QFETCH(bool, byButton);
        QFETCH(QString, saved);
        QTemporaryDir dir;
        {
            QFile old(dir.filePath("memory.txt"));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        QWidget window;
        window.resize(400, 300);
        window.show();
        ResultExporter exporter(&window);
        exporter.SaveDialog1()->setDirectory(dir.path());
        QStringList errors;
        exporter.showError = [&errors](const QString& message) { errors << message; };
        ResultListModel list(ListKind::Downloaded);
        list.add({"3", "ORP", "120.5", "mV", "", "", -1});

        const QString text = fullPath ? dir.filePath(typed) : typed;
        bool saveEnabled = false;
        whenModal<QFileDialog>([&](QFileDialog* dialog) {
            // Keys and clicks go through the window system, as a user's do: an open popup
            // then gets them first.
            QWindow* win = dialog->windowHandle();
            for (QChar c : text)
                QTest::keyClick(win, c.toLatin1());
            QTest::qWait(100); // the folder model answers completions asynchronously
            auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox");
            QPushButton* save = box ? box->button(QDialogButtonBox::Save) : nullptr;
            saveEnabled = save && save->isEnabled();
            if (!save)
                return;
            if (byButton)
                QTest::mouseClick(win, Qt::LeftButton, {},
                                  save->mapTo(dialog, save->rect().center()));
            else
                QTest::keyClick(win, Qt::Key_Return);
            // Whatever was not taken ends the dialog, so the test cannot hang.
            QTimer::singleShot(300, dialog, [dialog] { dialog->reject(); });
        });
        const QString result = exporter.save(list);
        QVERIFY(saveEnabled);
        QCOMPARE(result, dir.filePath(saved));
        QVERIFY(errors.isEmpty());
        QCOMPARE(contents(dir.filePath(saved)), QByteArray("3   ORP   -120.5   mV      \r\n"));
        // Nothing is left open over the window to swallow the user's next click.
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        QVERIFY(!exporter.SaveDialog1()->isVisible());
    }

    void savingTwiceAndEmptyList()
    {
        QTemporaryDir dir;
        QWidget window;
        ResultExporter exporter(&window);
        exporter.askFileName = [&dir] { return dir.filePath("result"); };
        ResultListModel list(ListKind::Sample);
        fill(list);
        QVERIFY(!exporter.save(list).isEmpty());
        ResultListModel empty(ListKind::Sample);
        QVERIFY(!exporter.save(empty).isEmpty());
        QCOMPARE(contents(dir.filePath("result.txt")), QByteArray());
        QCOMPARE(entries(dir), QStringList{"result.txt"});
    }

    void failureIsShownAndTheProgramCarriesOn()
    {
        QTemporaryDir dir;
        QWidget window;
        ResultExporter exporter(&window);
        QString target = dir.filePath("gone/result");
        exporter.askFileName = [&target] { return target; };
        QStringList errors;
        exporter.showError = [&errors](const QString& message) { errors << message; };
        ResultListModel list(ListKind::Sample);
        fill(list);

        QCOMPARE(exporter.save(list), QString());
        QCOMPARE(errors, QStringList{"Cannot create file " + dir.filePath("gone/result.txt")});
        QVERIFY(entries(dir).isEmpty());

        target = dir.filePath("result");
        QCOMPARE(exporter.save(list), dir.filePath("result.txt"));
        QCOMPARE(errors.size(), 1);
    }

    void defaultErrorBoxIsModalAndCritical()
    {
        QTemporaryDir dir;
        // Captioned with the application's title, whatever the window's title says.
        QCoreApplication::setApplicationName(QStringLiteral("Pexumo"));
        QWidget window;
        window.setWindowTitle("Lab 3");
        ResultExporter exporter(&window);
        exporter.askFileName = [&dir] { return dir.filePath("gone/result"); };
        ResultListModel list(ListKind::Sample);
        QString shown;
        QString caption;
        whenModal<QMessageBox>([&shown, &caption](QMessageBox* box) {
            QCOMPARE(box->icon(), QMessageBox::Critical);
            shown = box->text();
            caption = box->windowTitle();
            box->accept();
        });
        QCOMPARE(exporter.save(list), QString());
        QCOMPARE(shown, "Cannot create file " + dir.filePath("gone/result.txt"));
        QCOMPARE(caption, QStringLiteral("Pexumo"));
    }
};

QTEST_MAIN(TestResultExporter)
#include "tst_resultexporter.moc"
