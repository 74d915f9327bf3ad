// The window's side of the journal: opening it at start, and drawing the run it brings back.
#include "app/gui/tfmain.h"

#include "acquire/gui/linknote.h"
#include "acquire/gui/trendchart.h"
#include "acquire/windowedseries.h"
#include "app/gui/alarmview.h"
#include "app/gui/parameterpage.h"
#include "app/gui/statusbadge.h"
#include "app/station.h"
#include "journal/journal.h"
#include "journal/restore.h"
#include "results/resultbook.h"

#include <QDir>
#include <QLabel>
#include <QScopeGuard>

namespace pexumo {

void TfMain::showJournalOff(const QString& reason)
{
    const QString note = QStringLiteral("Journal off: ") + reason;
    m_bar->showJournalNote(note);
    lblJournal->setState(StatusBadge::State::Failed,
                         note + tr(". Readings are kept in the lists only: save them."));
}

Journal* TfMain::journal() const
{
    return m_station->journal();
}

void TfMain::startJournal()
{
    if (journal())
        return;
    m_alarms->start(showWarning);
    // Publishing reads the journal: after it opened and a restore was taken over, whatever came.
    const auto publish = qScopeGuard([this] {
        m_station->startPublishing();
        if (const QString warning = m_station->publishingWarning(); !warning.isEmpty()) {
            qWarning("MQTT: %s", qUtf8Printable(warning));
            m_bar->showPublishingWarning(warning);
        }
    });
    const QString reason = m_station->startJournal();
    if (!m_station->config().journal) {
        lblJournal->setState(StatusBadge::State::Off, QStringLiteral("Journal off: ") + reason);
        return;
    }
    if (!reason.isEmpty()) {
        showJournalOff(reason);
        return;
    }
    connect(m_station, &Station::journalFailed, this, [this](const QString& reason) {
        // Gone in the middle of a run (a full disk): said once, and kept in sight in the bar.
        showJournalOff(reason);
        showWarning(tr("The journal stopped: %1.").arg(reason),
                    tr("Readings from now on are kept in the lists only. Save the lists before "
                       "closing Pexumo."));
    });
    lblJournal->setState(StatusBadge::State::On,
                         tr("Journal on: every listed reading is kept in %1")
                             .arg(QDir::toNativeSeparators(m_station->journalPath())));
    if (!journal()->movedAside().isEmpty()) {
        m_bar->showJournalNote(QStringLiteral("Journal damaged, kept as %1; a new one started")
                                   .arg(journal()->movedAside()));
    }
    offerRestore();
}

void TfMain::offerRestore()
{
    JournalReader reader;
    if (!reader.open(journal()->path()).isEmpty())
        return;
    const std::optional<JournalSession> offer =
        findRestoreOffer(reader.sessions(), journal()->session(),
                         [](const JournalSession& s) { return journalSessionMayRun(s.writer); });
    if (!offer)
        return;
    // Asked once: whatever the answer, this run is not offered again.
    journal()->markOffered(offer->id);
    if (askRestore && askRestore(restoreQuestion(*offer)))
        restoreSession(*offer);
}

void TfMain::restoreSession(const JournalSession& session)
{
    const RestoredRun run = restoreRun(journal()->path(), session, *m_book);
    for (Parameter parameter : AllParameters) {
        m_dashboard->chart(parameter)->showTail(run.charts.small(parameter), SmallChartWindow);
        m_pages[indexOf(parameter)]->chart->showTail(run.charts.big(parameter), BigChartWindow);
    }
    ChartTemp->showTail(run.charts.temperature(), SmallChartWindow);
    QStringList notes;
    if (run.read.skippedRows > 0)
        notes << tr("%n rows of unknown lists skipped", nullptr, int(run.read.skippedRows));
    if (run.read.error.isEmpty()) {
        // Rows of no list keep their places in the old run's order too.
        journal()->adopt(session.id, run.read.rows + run.read.skippedRows);
    } else {
        // The rows read so far stay listed; the old run keeps them all, so this run does not
        // take them over (its own rows would then follow a gap).
        notes.prepend(QStringLiteral("Restore stopped: ") + run.read.error);
    }
    if (!notes.isEmpty())
        m_bar->showJournalNote(notes.join(QStringLiteral("; ")));
}

} // namespace pexumo
