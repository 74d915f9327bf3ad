#include "alarm/desktopnotifier.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

using namespace pexumo;

namespace {

// Since 2026-12-09 02:13:07 at +01:00, a minute later.
AlarmEvent alarmEvent(AlarmChange change, AlarmParameter parameter, AlarmSide side, double value)
{
    constexpr qint64 T0 = 1796778787000;
    const double limit = parameter == AlarmParameter::DO ? 4 : 8.5;
    return {change, {parameter, side, value, limit, value, T0, T0, 3600}, T0 + 60000, 3600};
}

} // namespace

/// The notification service on the test's private bus: it keeps every call and gives ids from
/// 1, or the id it was asked to replace.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;

public slots:
    quint32 Notify(const QString&, quint32 replacesId, const QString&, const QString& summary,
                   const QString& body, const QStringList&, const QVariantMap& hints,
                   qint32 timeout)
    {
        calls << QStringLiteral("%1 %2: %3 (urgency %4, expires %5)")
                     .arg(replacesId)
                     .arg(summary, body)
                     .arg(hints.value(QStringLiteral("urgency")).toInt())
                     .arg(timeout);
        return replacesId != 0 ? replacesId : ++m_lastId;
    }

private:
    quint32 m_lastId = 0;
};

class TestDesktopNotifier : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { m_daemon.kill(), m_daemon.waitForFinished(); }
    void eachAlarmKeepsOneNotification();
    void withoutServiceOrBusNothingFails_data();
    void withoutServiceOrBusNothingFails();

private:
    QProcess m_daemon; ///< a private session bus
    QString m_address;
};

void TestDesktopNotifier::initTestCase()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        QSKIP("dbus-daemon is not installed (Debian package dbus)");
    m_daemon.start(daemon, {"--session", "--nofork", "--print-address"});
    QVERIFY(m_daemon.waitForReadyRead(10000));
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

// A clear replaces its rise's notification even when it comes before the service answered the
// rise, and the next rise of that alarm replaces the clear; other alarms have their own.
void TestDesktopNotifier::eachAlarmKeepsOneNotification()
{
    QDBusConnection service = QDBusConnection::connectToBus(m_address, QStringLiteral("service"));
    FakeNotifications fake;
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    DesktopNotifier notifier(QDBusConnection::connectToBus(m_address, QStringLiteral("client")));
    QSignalSpy unavailable(&notifier, &DesktopNotifier::unavailable);
    notifier.notify(alarmEvent(AlarmChange::Raise, AlarmParameter::DO, AlarmSide::Below, 3.1));
    notifier.notify(alarmEvent(AlarmChange::Clear, AlarmParameter::DO, AlarmSide::Below, 4.25));
    notifier.notify(alarmEvent(AlarmChange::Raise, AlarmParameter::PH, AlarmSide::Above, 9.1));
    QTRY_COMPARE(fake.calls.size(), 3);
    notifier.notify(alarmEvent(AlarmChange::Raise, AlarmParameter::DO, AlarmSide::Below, 3.5));
    QTRY_COMPARE(fake.calls.size(), 4);
    QCOMPARE(fake.calls,
             QStringList({"0 Pexumo alarm: ALARM DO 3.10 mg/L below 4.0 since 02:13:07 (urgency 2, "
                          "expires 0)",
                          "0 Pexumo alarm: ALARM pH 9.10 pH above 8.5 since 02:13:07 (urgency 2, "
                          "expires 0)",
                          "1 Pexumo alarm cleared: CLEAR DO 4.25 mg/L, below 4.0 from 02:13:07 to "
                          "02:14:07, lowest 4.25 (urgency 1, expires -1)",
                          "1 Pexumo alarm: ALARM DO 3.50 mg/L below 4.0 since 02:13:07 (urgency 2, "
                          "expires 0)"}));
    QCOMPARE(unavailable.count(), 0);
    QDBusConnection::disconnectFromBus(QStringLiteral("service")); // the name is free again
}

void TestDesktopNotifier::withoutServiceOrBusNothingFails_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("reason");
    QTest::newRow("bus without service")
        << m_address
        << "desktop notifications unavailable: The name org.freedesktop.Notifications was not "
           "provided by any .service files";
    QTest::newRow("no bus") << "unix:path=/nonexistent/bus"
                            << "desktop notifications unavailable: no session bus: Failed to "
                               "connect to socket /nonexistent/bus: No such file or directory";
}

// Both notifications are dropped and one signal names the reason.
void TestDesktopNotifier::withoutServiceOrBusNothingFails()
{
    QFETCH(QString, address);
    QFETCH(QString, reason);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    DesktopNotifier notifier(QDBusConnection::connectToBus(address, name));
    QSignalSpy unavailable(&notifier, &DesktopNotifier::unavailable);
    notifier.notify(alarmEvent(AlarmChange::Raise, AlarmParameter::DO, AlarmSide::Below, 3.1));
    notifier.notify(alarmEvent(AlarmChange::Raise, AlarmParameter::PH, AlarmSide::Above, 9.1));
    QTRY_COMPARE(unavailable.count(), 1);
    QCOMPARE(unavailable[0][0].toString(), reason);
    // A round trip on the same connection: the answer to the second call comes before it.
    if (QDBusConnection bus(name); bus.isConnected())
        bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications"));
    QCoreApplication::processEvents();
    QCOMPARE(unavailable.count(), 1);
}

QTEST_GUILESS_MAIN(TestDesktopNotifier)
#include "tst_desktopnotifier.moc"
