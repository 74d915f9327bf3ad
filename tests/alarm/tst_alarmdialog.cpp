#include "alarm/gui/alarmdialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace pexumo;

Q_DECLARE_METATYPE(pexumo::AlarmSettings)

namespace {

using Edits = QList<QPair<QString, QString>>; ///< object name, text typed into it

AlarmSettings current()
{
    AlarmSettings s;
    s.limit(AlarmParameter::PH) = {6.5, 8.5};
    s.limit(AlarmParameter::DO) = {4.0, std::nullopt};
    s.delaySeconds = 5;
    s.noReadingSeconds = 0;
    s.command = QStringLiteral("/usr/local/bin/pond-alarm");
    return s;
}

} // namespace

class TestAlarmDialog : public QObject
{
    Q_OBJECT
private slots:
    void init() { NumberFormat::setCurrent(NumberFormat{u',', u'.'}); }
    void cleanup();
    void okTakesOrRefusesTheFields_data();
    void okTakesOrRefusesTheFields();
};

void TestAlarmDialog::cleanup()
{
    NumberFormat::setCurrent(NumberFormat{});
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestAlarmDialog::okTakesOrRefusesTheFields_data()
{
    QTest::addColumn<Edits>("edits");
    QTest::addColumn<QString>("problem"); ///< empty: OK accepts
    QTest::addColumn<AlarmSettings>("expected");
    auto with = [](auto change) {
        AlarmSettings s = current();
        change(s);
        return s;
    };
    QTest::newRow("limits typed") << Edits{{"edLow_DO", "4,5"},
                                           {"edHigh_COND", "1500"},
                                           {"edHigh_Temp", " 30 "},
                                           {"edLow_ORP", "-200.5"},
                                           {"sbDelaySeconds", "0"},
                                           {"sbNoReadingSeconds", "90"},
                                           {"edCommand", "  /bin/alarm --to ops "}}
                                  << QString() << with([](AlarmSettings& s) {
                                         s.limit(AlarmParameter::DO) = {4.5, std::nullopt};
                                         s.limit(AlarmParameter::COND) = {std::nullopt, 1500};
                                         s.limit(AlarmParameter::Temp) = {std::nullopt, 30};
                                         s.limit(AlarmParameter::ORP) = {-200.5, std::nullopt};
                                         s.delaySeconds = 0;
                                         s.noReadingSeconds = 90;
                                         s.command = QStringLiteral("/bin/alarm --to ops");
                                     });
    QTest::newRow("emptied boxes remove limits")
        << Edits{{"edLow_pH", ""}, {"edLow_DO", "  "}, {"edCommand", ""}} << QString()
        << with([](AlarmSettings& s) {
               s.limit(AlarmParameter::PH) = {std::nullopt, 8.5};
               s.limit(AlarmParameter::DO) = {};
               s.command.clear();
           });
    QTest::newRow("not a number") << Edits{{"edLow_DO", "3"}, {"edHigh_ORP", "4OO"}}
                                  << "ORP high: \"4OO\" is not a number." << AlarmSettings{};
    QTest::newRow("low not below high")
        << Edits{{"edHigh_Salt", "500,0"}, {"edLow_Salt", "500"}}
        << "Salt: the low limit must be below the high limit." << AlarmSettings{};
}

void TestAlarmDialog::okTakesOrRefusesTheFields()
{
    QFETCH(Edits, edits);
    QFETCH(QString, problem);
    QFETCH(AlarmSettings, expected);
    AlarmDialog dialog(current());
    dialog.show();
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("edLow_pH"))->text(), "6,5");
    QWidget* lastEdited = nullptr;
    for (const auto& [name, value] : edits) {
        QWidget* field = dialog.findChild<QWidget*>(name);
        QVERIFY2(field, qPrintable(name));
        if (auto* spin = qobject_cast<QSpinBox*>(field))
            spin->setValue(value.toInt());
        else
            qobject_cast<QLineEdit*>(field)->setText(value);
        lastEdited = field;
    }
    dialog.findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    QCOMPARE(dialog.problem(), problem);
    if (problem.isEmpty()) {
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.settings(), expected);
    } else {
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblProblem"))->text(), problem);
        QCOMPARE(dialog.focusWidget(), lastEdited);
        dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
}

QTEST_MAIN(TestAlarmDialog)
#include "tst_alarmdialog.moc"
