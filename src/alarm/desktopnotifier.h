#pragma once

#include "alarm/alarmmonitor.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <array>
#include <optional>

namespace pexumo {

/// Shows alarm rises and clears as desktop notifications through the freedesktop
/// Notifications service on the session bus. Calls are asynchronous: nothing waits for the
/// service. A clear replaces the notification of its rise, and the next rise of the same alarm
/// replaces that clear, so each alarm keeps one notification. A rise is critical and stays
/// until dismissed; a clear is normal and expires as the desktop decides.
///
/// Without a session bus or without a notification service nothing fails: the event is
/// dropped, and unavailable() says so once.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    /// Notifies on the session bus.
    explicit DesktopNotifier(QObject* parent = nullptr);
    /// Notifies on \a bus (a test's private bus).
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    void notify(const AlarmEvent& event);

signals:
    /// The first time a notification could not be shown, with the reason; once per object.
    void unavailable(const QString& reason);

private:
    // What the notifier knows of one alarm's notification. While a call waits for its reply,
    // the id of the notification to replace is not known yet: the next event waits too.
    struct Shown
    {
        quint32 id = 0; ///< the server's id of the last notification; 0 for none
        bool waiting = false;
        std::optional<AlarmEvent> next;
    };

    void send(std::size_t slot, const AlarmEvent& event);
    void fail(const QString& reason);

    QDBusConnection m_bus;
    /// Per parameter, then no reading, then the disk.
    std::array<Shown, AlarmParameterCount + 2> m_shown{};
    bool m_failed = false;
};

} // namespace pexumo
