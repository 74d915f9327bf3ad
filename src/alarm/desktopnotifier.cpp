#include "alarm/desktopnotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace pexumo {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// The desktop entry's name, which also names the installed icon.
const QString kAppId = QStringLiteral("org.pexumo.Pexumo");

// The service's urgency levels.
constexpr uchar NormalUrgency = 1;
constexpr uchar CriticalUrgency = 2;
// Expiry in milliseconds: 0 never, -1 as the desktop decides.
constexpr qint32 NeverExpires = 0;
constexpr qint32 DesktopExpiry = -1;

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent)
    : DesktopNotifier(QDBusConnection::sessionBus(), parent)
{
}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
}

void DesktopNotifier::notify(const AlarmEvent& event)
{
    const std::size_t slot = event.alarm.disk        ? AlarmParameterCount + 1
                             : event.alarm.parameter ? indexOf(*event.alarm.parameter)
                                                     : AlarmParameterCount;
    Shown& shown = m_shown[slot];
    if (shown.waiting)
        shown.next = event; // only the latest is worth showing once the reply is in
    else
        send(slot, event);
}

void DesktopNotifier::send(std::size_t slot, const AlarmEvent& event)
{
    if (!m_bus.isConnected()) {
        fail(QStringLiteral("no session bus: %1").arg(m_bus.lastError().message()));
        return;
    }
    Shown& shown = m_shown[slot];
    const bool raise = event.change == AlarmChange::Raise;
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(raise ? CriticalUrgency : NormalUrgency)},
        {QStringLiteral("desktop-entry"), kAppId}};
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Pexumo") << shown.id << kAppId
         << (raise ? QStringLiteral("Pexumo alarm") : QStringLiteral("Pexumo alarm cleared"))
         << alarmEventText(event) << QStringList() << hints
         << (raise ? NeverExpires : DesktopExpiry);
    shown.waiting = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, slot](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                Shown& s = m_shown[slot];
                s.waiting = false;
                const QDBusPendingReply<quint32> reply = *done;
                if (reply.isError())
                    fail(reply.error().message());
                else
                    s.id = reply.value();
                if (s.next) {
                    const AlarmEvent next = *s.next;
                    s.next.reset();
                    send(slot, next);
                }
            });
}

void DesktopNotifier::fail(const QString& reason)
{
    if (m_failed)
        return;
    m_failed = true;
    emit unavailable(QStringLiteral("desktop notifications unavailable: %1").arg(reason));
}

} // namespace pexumo
