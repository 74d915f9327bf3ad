// The window's side of the journal: opening it at start, handing it every new row, and
// bringing back the lists of a run that ended with readings never saved.
#include "app/gui/tfmain.h"

#include "acquire/gui/trendchart.h"
#include "acquire/sampleroute.h"
#include "acquire/windowedseries.h"
#include "journal/journal.h"
#include "journal/journalreader.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"

#include <QLabel>
#include <QLineSeries>

#include <deque>

namespace pexumo {

namespace {

/// The chart point a sampling tick drew for \a row of a parameter list: the reading is rebuilt
/// from the row (a pH or ORP value carries its sign as a leading "-") and routed again.
std::optional<SamplePlan> replan(const ResultRecord& row)
{
    CurrentReading reading;
    reading.FMeasType = row.Type;
    reading.FMeasUnit = row.Unit;
    reading.FMeasTemp = row.Temp;
    reading.FTempUnit = row.TempUnit;
    reading.FMeasValue = row.Value;
    reading.FValueSign = 1;
    if (reading.FMeasValue.startsWith(QLatin1Char('-'))) {
        reading.FMeasValue.remove(0, 1);
        reading.FValueSign = -1;
    }
    return planSample(reading);
}

/// Shows on \a chart the last points of a run of \a total points, \a ys being the last
/// min(total, window + 1) of them, exactly as that many sampling ticks would have left it.
void showLastPoints(TrendChart* chart, QLineSeries* series, const std::vector<double>& ys,
                    qint64 total, int window)
{
    if (ys.empty())
        return;
    if (total > window) {
        // The window as it stood before the last tick (X counts samples), then that tick.
        QList<QPointF> points;
        const qint64 firstX = total - window - 1;
        for (std::size_t i = 0; i + 1 < ys.size(); ++i)
            points.append(QPointF(double(firstX + qint64(i)), ys[i]));
        series->replace(points);
        chart->addWindowedPoint(ys.back(), window);
        return;
    }
    for (double y : ys)
        chart->addWindowedPoint(y, window);
}

} // namespace

void TfMain::journalRow(ListId list, const ResultRecord& row)
{
    if (m_journal)
        m_journal->add(list, row);
}

void TfMain::showJournalNote(const QString& note)
{
    lblJournalStatus->setText(note);
    lblJournalStatus->setToolTip(note);
    lblJournalStatus->setVisible(lblLinkStatus->text().isEmpty());
}

void TfMain::showJournalOff(const QString& reason)
{
    showJournalNote(QStringLiteral("Journal off: ") + reason);
}

void TfMain::startJournal()
{
    if (!m_journalEnabled || m_journal)
        return;
    m_journal = new Journal(this);
    connect(m_journal, &Journal::failed, this, &TfMain::showJournalOff);
    const QString reason = m_journal->open(m_journalFile, m_journalKeepDays);
    if (!reason.isEmpty()) {
        showJournalOff(reason);
        return;
    }
    if (!m_journal->movedAside().isEmpty()) {
        showJournalNote(QStringLiteral("Journal damaged, kept as %1; a new one started")
                            .arg(m_journal->movedAside()));
    }
    offerRestore();
}

void TfMain::offerRestore()
{
    JournalReader reader;
    if (!reader.open(m_journal->path()).isEmpty())
        return;
    const std::optional<JournalSession> offer =
        findRestoreOffer(reader.sessions(), m_journal->session(),
                         [](const JournalSession& s) { return journalSessionMayRun(s.writer); });
    if (!offer)
        return;
    // Asked once: whatever the answer, this run is not offered again.
    m_journal->markOffered(offer->id);
    if (askRestore && askRestore(restoreQuestion(*offer)))
        restoreSession(*offer);
}

void TfMain::restoreSession(const JournalSession& session)
{
    std::array<ResultListModel*, ListCount> models{};
    for (std::size_t i = 0; i < m_lists.size(); ++i)
        models[i] = m_lists[i]->list();
    models[indexOf(ListId::Records)] = vtSaveData->list();

    // The temperature chart takes a point from every sample that has a temperature, whatever
    // its list: keep where the last of those rows are, in the order they were added.
    std::deque<std::pair<ListId, qsizetype>> lastTemps;
    std::array<qsizetype, ListCount> seen{};
    qint64 tempTotal = 0;
    const SessionRead read = JournalReader::readSessionInto(
        m_journal->path(), session.id, models,
        [&](ListId list, const ResultListModel::PackedRecord&) {
            const qsizetype at = seen[indexOf(list)]++;
            if (list == ListId::Records || list == ListId::ORP)
                return; // no temperature point: memory records, and readings in mV
            ++tempTotal;
            lastTemps.emplace_back(list, at);
            if (lastTemps.size() > std::size_t(SmallChartWindow) + 1)
                lastTemps.pop_front();
        });
    const QString& error = read.error;
    if (!error.isEmpty()) {
        // The rows read so far stay listed; the old run keeps them all, so this run does not
        // take them over (its own rows would then follow a gap).
        showJournalNote(QStringLiteral("Restore stopped: ") + error);
    }

    for (std::size_t i = 0; i < m_lists.size(); ++i) {
        const ResultListModel& model = *models[i];
        const qsizetype total = model.size();
        m_savedRows[i] = std::min<qsizetype>(session.saved[i], total);
        for (const auto& [chart, window] : {std::pair{m_smallCharts[i], SmallChartWindow},
                                            std::pair{m_bigCharts[i], BigChartWindow}}) {
            std::vector<double> ys;
            for (qsizetype k = std::max<qsizetype>(0, total - window - 1); k < total; ++k)
                if (const auto plan = replan(model.recordInOrder(k)))
                    ys.push_back(plan->y);
            showLastPoints(chart, chart->series(), ys, total, window);
        }
    }
    m_savedRows[indexOf(ListId::Records)] =
        std::min<qsizetype>(session.saved[indexOf(ListId::Records)], vtSaveData->list()->size());

    std::vector<double> temps;
    for (const auto& [list, at] : lastTemps)
        if (const auto plan = replan(models[indexOf(list)]->recordInOrder(at));
            plan && plan->hasTemp)
            temps.push_back(plan->tempY);
    showLastPoints(ChartTemp, LineTemp, temps, tempTotal, SmallChartWindow);

    if (error.isEmpty())
        m_journal->adopt(session.id, read.rows + read.skippedRows);
}

} // namespace pexumo
