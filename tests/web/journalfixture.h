#pragma once

// Journals for the web tests, written by the journal's own writer as a logger writes them.

#include "alarm/alarmmonitor.h"
#include "journal/journal.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <ostream>

/// QStrings in GoogleTest's messages as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace pexumo::test {

/// 2026-12-09 10:00:00 UTC+1, the start of every fixture session.
inline constexpr qint64 FixtureStartMs = 1796806800000;
inline constexpr qint32 FixtureOffsetSec = 3600;

/// A pH sample row at \a stampMs (local time of UTC+1) with \a value and 25.3 C.
inline ResultRecord phRow(qint64 stampMs, const QString& value)
{
    ResultRecord r;
    r.TimeOrNo = QDateTime::fromMSecsSinceEpoch(stampMs, Qt::OffsetFromUTC, FixtureOffsetSec)
                     .toString(QStringLiteral("hh:mm:ss"));
    r.Type = QStringLiteral("pH");
    r.Value = value;
    r.Unit = QStringLiteral("pH");
    r.Temp = QStringLiteral("25.3");
    r.TempUnit = QStringLiteral("C");
    r.StampMs = stampMs;
    r.UtcOffsetSec = FixtureOffsetSec;
    return r;
}

/// Writes a closed logger session on \a port into the journal at \a path: \a rows pH rows one
/// second apart from FixtureStartMs, each \a value(i); \a more may add what else it likes.
/// Returns the session's id (0 when the journal did not open).
inline qint64 writeSession(const QString& path, const QString& port, int rows,
                           const std::function<QString(int)>& value,
                           const std::function<void(Journal&)>& more = {})
{
    Journal journal;
    if (!journal.open(path, 30,
                      QDateTime::fromMSecsSinceEpoch(FixtureStartMs, Qt::OffsetFromUTC,
                                                     FixtureOffsetSec),
                      QString::fromLatin1(LoggerProgram))
             .isEmpty())
        return 0;
    journal.setPort(port);
    for (int i = 0; i < rows; ++i)
        journal.add(ListId::PH, phRow(FixtureStartMs + 1000 * qint64(i), value(i)));
    if (more)
        more(journal);
    const qint64 session = journal.session();
    journal.close(true);
    return session;
}

} // namespace pexumo::test
