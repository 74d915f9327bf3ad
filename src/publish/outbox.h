#pragma once

#include "alarm/alarmmonitor.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <QString>
#include <QtGlobal>

#include <compare>
#include <functional>
#include <vector>

namespace pexumo {

/// A row's place in the outbox: its session, then its number within the session, counted from
/// 1 in the order the rows were listed across all lists (the journal's row number + 1).
/// {0, 0} comes before every row.
struct OutboxPosition
{
    qint64 session = 0;
    qint64 seq = 0;

    friend auto operator<=>(const OutboxPosition&, const OutboxPosition&) = default;
};

/// A listed row waiting to be published.
struct OutboxRow
{
    OutboxPosition position;
    ListId list = ListId::PH;
    ResultRecord record;
    QString port; ///< the port the row's session read, as the session records it
};

/// An alarm's rise or clear waiting to be published. (session, n, change) names it, and alone
/// makes two equal: what the event says may change while it waits (the cause of a no-reading
/// alarm), and it is still the same rise or clear, sent once.
struct OutboxAlarm
{
    qint64 session = 0;
    qint64 n = 0; ///< the alarm's order of rising within its session
    AlarmEvent event;

    friend bool operator==(const OutboxAlarm& a, const OutboxAlarm& b)
    {
        return a.session == b.session && a.n == b.n && a.event.change == b.event.change;
    }
};

/// The rows and alarms to publish and how far the broker has acknowledged them: the publisher
/// reads the rows after the acknowledged position in order, and after a lost connection or a
/// restart it starts again from there, so every row reaches the broker at least once. Alarms
/// are acknowledged one by one, as they are few and each is news of its own.
///
/// Every call comes from the publisher's own thread, attach() first and detach() last, so an
/// implementation may keep a database connection made in attach().
class Outbox
{
public:
    virtual ~Outbox() = default;

    /// Prepares for the calls below and keeps \a wake, which the outbox calls (from any thread,
    /// cheaply and without waiting) each time new rows or alarms can be read. Returns "" when
    /// ready, else why the rows cannot be read (another program holds the file locked); the
    /// publisher then says so and calls attach() again a little later.
    virtual QString attach(std::function<void()> wake) = 0;
    /// Forgets the wake function; once this returns it is never called again.
    virtual void detach() = 0;

    /// Up to \a limit rows after \a from, oldest first; they continue into later sessions.
    virtual std::vector<OutboxRow> after(OutboxPosition from, int limit) = 0;
    /// How many rows there are after \a from.
    virtual qint64 countAfter(OutboxPosition from) = 0;
    /// The broker has every row up to and including \a upTo. Positions only grow; the outbox
    /// should keep the latest across restarts, though it may keep an older one (those rows are
    /// then sent again).
    virtual void acknowledged(OutboxPosition upTo) = 0;
    /// The latest position given to acknowledged(), or the one kept from an earlier run.
    virtual OutboxPosition acknowledgedPosition() = 0;
    /// Up to \a limit rises and clears the broker has not acknowledged, in the order they
    /// happened, leaving out those in \a skip (already sent and not yet acknowledged).
    virtual std::vector<OutboxAlarm> alarmsWaiting(const std::vector<OutboxAlarm>& skip,
                                                   int limit) = 0;
    /// The broker has \a alarm; it is not given by alarmsWaiting() any more, also after a
    /// restart (the outbox may forget the last second's, which are then sent again).
    virtual void alarmAcknowledged(const OutboxAlarm& alarm) = 0;
    /// Why the last after() or countAfter() could not read the rows (a damaged or vanished
    /// file); "" when it could. The publisher says so in its status and tries again.
    virtual QString problem() { return {}; }
};

} // namespace pexumo
