#include "app/gui/parameterpage.h"

#include "acquire/gui/trendchart.h"
#include "acquire/windowedseries.h"
#include "alarm/alarmsettings.h"
#include "history/gui/historychart.h"
#include "results/gui/resultlist.h"

#include <QApplication>
#include <QLineSeries>
#include <QPushButton>

#include <QScopeGuard>

#include <algorithm>

namespace pexumo {

ParameterPage::ParameterPage(Parameter parameter, ResultListModel* rows, const char* saveButtonName,
                             QWidget* parent)
    : QWidget(parent), m_rows(rows)
{
    const QString title = listName(listOf(parameter));
    const QString stem = title.toUpper() == title ? title : title.left(1).toUpper() + title.mid(1);
    setObjectName(QStringLiteral("Tab") + stem);
    chart = new TrendChart(title, this);
    chart->setObjectName(QStringLiteral("Chart%1_Big").arg(stem));
    chart->setGeometry(0, 0, 785, 273);
    line = chart->series();
    line->setObjectName(QStringLiteral("Line%1_Big").arg(stem));
    list = new ResultList(rows, this);
    list->setObjectName(QStringLiteral("vt") + stem);
    list->setGeometry(0, 280, 457, 289);
    saveButton = new QPushButton(QStringLiteral("SaveResult"), this);
    saveButton->setObjectName(QString::fromLatin1(saveButtonName));
    saveButton->setGeometry(464, 280, 89, 33);

    history = new HistoryChart(this);
    history->setObjectName(QStringLiteral("History") + stem);
    history->setGeometry(chart->geometry());
    history->setUnit(alarmUnit(alarmParameterOf(parameter)));
    history->setSeries(&m_series);
    history->setValueText([rows](qsizetype i) {
        const ResultRecord row = rows->recordInOrder(i);
        return row.Value + QLatin1Char(' ') + row.Unit;
    });
    history->hide();
    historyButton = new QPushButton(tr("History"), this);
    historyButton->setObjectName(QStringLiteral("btnHistory") + stem);
    historyButton->setToolTip(
        tr("The whole run instead of the last %1 samples").arg(BigChartWindow));
    historyButton->setCheckable(true);
    historyButton->setGeometry(464, 320, 89, 25);
    connect(historyButton, &QPushButton::toggled, this, &ParameterPage::showHistory);
}

bool ParameterPage::historyIsWhole() const
{
    return m_series.size() == m_rows->size();
}

void ParameterPage::showSample(const SamplePlan& plan, const ResultRecord& row)
{
    chart->addWindowedPoint(plan.y, BigChartWindow);
    // The history follows the list row for row from the start of the run; rows it lacks (a
    // restored run) are gathered the first time it is shown, and the samples after them then.
    if (m_series.size() + 1 != m_rows->size())
        return;
    m_series.append(row.StampMs, plan.y,
                    plan.hasTemp ? std::optional<double>(plan.tempY) : std::nullopt,
                    row.UtcOffsetSec);
    history->dataAppended();
}

void ParameterPage::breakLine()
{
    if (historyIsWhole())
        m_series.breakLine();
    else
        m_breaks.push_back(m_rows->size());
}

void ParameterPage::setLimits(std::optional<double> low, std::optional<double> high)
{
    chart->setLimits(low, high);
    history->setLimits(low, high);
}

void ParameterPage::showHistory(bool on)
{
    if (on)
        gatherHistory();
    history->setVisible(on);
    chart->setVisible(!on);
    if (historyButton->isChecked() != on)
        historyButton->setChecked(on);
    if (on)
        history->setFocus();
}

void ParameterPage::gatherHistory()
{
    if (historyIsWhole())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor); // a restored run of a million rows: a second
    const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    const qsizetype rows = m_rows->size();
    m_series.reserve(rows);
    auto nextBreak = m_breaks.begin();
    for (qsizetype i = m_series.size(); i < rows; ++i) {
        for (; nextBreak != m_breaks.end() && *nextBreak <= i; ++nextBreak)
            m_series.breakLine();
        const ResultRecord row = m_rows->recordInOrder(i);
        const std::optional<SamplePlan> plan = replanRow(row);
        // A row that does not plan (a hand-edited journal) keeps the numbering of the rows.
        m_series.append(row.StampMs, plan ? plan->y : 0.0,
                        plan && plan->hasTemp ? std::optional<double>(plan->tempY) : std::nullopt,
                        row.UtcOffsetSec);
    }
    m_breaks.clear();
    history->dataAppended();
}

} // namespace pexumo
