#pragma once

#include "alarm/alarmsettings.h"
#include "journal/journalreader.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace pexumo {

class SeriesCache;

/// A journal the web view shows: its file and the id its pages name it by (never a path from a
/// request: a request names an id, and only the files listed here are opened).
struct JournalEntry
{
    QString id;
    QString path;

    friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

/// The id of the journal at \a path: 12 hexadecimal digits of a hash of the path, stable across
/// restarts and new files beside it.
QString journalIdOf(const QString& path);

/// A time as the JSON replies carry it: ISO 8601 with the offset of that moment, and ms.
void putTime(QJsonObject& object, const char* key, qint64 ms, qint32 utcOffsetSec);

/// The step between samples of \a session, from the stamps of its last samples (the median
/// gap, at least 1 s); none with fewer than two samples.
std::optional<qint64> sampleStepMs(const JournalReader& reader, qint64 session);

/// The site page's view of one journal: its file, and per meter (the newest session of each
/// port) the program, whether it may still run, the step of its samples, per parameter list its
/// latest row and the alarms up. \a error is the reason when the journal cannot be read.
QJsonObject siteJournal(const JournalEntry& entry, const JournalReader* reader,
                        const QString& error);

/// The unit the charts draw \a list in: "pH", "mV", "µS", "ppm", "ppm", "mg/L", "%".
QString chartUnit(ListId list);

/// The meter page's view of \a session: its times, port and program, per parameter list with
/// rows its count, chart unit and alarm limits (from \a limits), and the journal's other
/// sessions to choose from.
QJsonObject meterView(const JournalEntry& entry, const JournalReader& reader, qint64 session,
                      const AlarmSettings& limits, QString* error);

/// The chart of \a list of \a session over [fromMs, toMs] reduced to \a columns pixel columns:
/// "x" (ms), "v" (the value), "lo" and "hi" (the lowest and highest of each column); null in
/// all three where the line breaks.
QJsonObject seriesView(SeriesCache& cache, const JournalEntry& entry, const JournalReader& reader,
                       qint64 session, ListId list, qint64 fromMs, qint64 toMs, int columns,
                       QString* error);

/// The row of \a list of \a session nearest to \a atMs, with its texts as the list shows them.
QJsonObject rowView(SeriesCache& cache, const JournalEntry& entry, const JournalReader& reader,
                    qint64 session, ListId list, qint64 atMs, QString* error);

/// The newest of many alarm events: keeps at most \a limit of them and counts them all, so that a
/// journal full of alarms costs no more memory than the page shows. Of events at the same time,
/// the one added first counts as the newer (it comes first in the list).
class NewestEvents
{
public:
    explicit NewestEvents(std::size_t limit) : m_limit(limit) {}
    /// An event at \a timeMs would be kept now: one that would not need not be made.
    bool wants(qint64 timeMs) const;
    void add(qint64 timeMs, QJsonObject event);
    /// The events kept, newest first.
    QJsonArray newestFirst() const;
    /// Events added, kept or not.
    qint64 seen() const { return m_seen; }

private:
    struct Kept
    {
        qint64 timeMs;
        qint64 order; ///< the later added, the older among equal times
        QJsonObject event;
    };
    static bool newer(const Kept& a, const Kept& b);

    std::size_t m_limit;
    std::vector<Kept> m_heap; ///< the oldest kept on top
    qint64 m_seen = 0;
};

/// Adds the alarm events (rises and clears) of every session of \a reader to \a into, for
/// \a parameter only when it is not empty, each with its journal, session, port, time, text and
/// command result.
void alarmEvents(const JournalEntry& entry, const JournalReader& reader,
                 const QString& parameter, NewestEvents& into, QString* error);

} // namespace pexumo
