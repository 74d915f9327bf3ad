#pragma once

#include "acquire/sampleroute.h"
#include "history/historyseries.h"
#include "results/listid.h"

#include <QWidget>

#include <optional>
#include <vector>

class QLineSeries;
class QPushButton;

namespace pexumo {

class HistoryChart;
class ResultList;
class ResultListModel;
class TrendChart;

/// The page of one parameter: its big trend chart on top, its result list below on the left and
/// the "SaveResult" button beside the list. The parts carry the names the program's parts and
/// the tests find them by: for pH the page "TabPH", "ChartPH_Big" with "LinePH_Big", "vtPH".
///
/// The "History" button beside them shows, in the big chart's place, every sample of the list
/// since the start of the run ("HistoryPH"). It follows the list as the samples come; the rows
/// of a restored run are gathered from the list the first time it is shown.
class ParameterPage : public QWidget
{
    Q_OBJECT
public:
    /// A page showing \a list (not owned); \a saveButtonName names its save button.
    ParameterPage(Parameter parameter, ResultListModel* list, const char* saveButtonName,
                  QWidget* parent = nullptr);

    TrendChart* chart = nullptr;
    QLineSeries* line = nullptr;
    ResultList* list = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* historyButton = nullptr; ///< checkable: the history in the big chart's place
    HistoryChart* history = nullptr;

    /// A tick added \a row to the list from \a plan: its point on the big chart and the history.
    void showSample(const SamplePlan& plan, const ResultRecord& row);
    /// The line was lost: the history's line breaks before the next sample.
    void breakLine();
    /// Alarm limits on the big chart and the history, in the list's plotting unit.
    void setLimits(std::optional<double> low, std::optional<double> high);

    /// Shows the history (true) or the big chart.
    void showHistory(bool on);

private:
    /// Reads the samples the history lacks from the list.
    void gatherHistory();
    /// The history holds a sample for every row of the list.
    bool historyIsWhole() const;

    ResultListModel* m_rows;
    HistorySeries m_series;
    /// Rows in the list when the line was lost, for breaks before the history was gathered.
    std::vector<qint64> m_breaks;
};

} // namespace pexumo
