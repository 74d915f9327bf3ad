#pragma once

#include "results/listid.h"

#include <QWidget>

class QLineSeries;
class QPushButton;

namespace pexumo {

class ResultList;
class ResultListModel;
class TrendChart;

/// The page of one parameter: its big trend chart on top, its result list below on the left and
/// the "SaveResult" button beside the list. The parts carry the names the program's parts and
/// the tests find them by: for pH the page "TabPH", "ChartPH_Big" with "LinePH_Big", "vtPH".
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
};

} // namespace pexumo
