#include "app/gui/parameterpage.h"

#include "acquire/gui/trendchart.h"
#include "results/gui/resultlist.h"

#include <QLineSeries>
#include <QPushButton>

namespace pexumo {

ParameterPage::ParameterPage(Parameter parameter, ResultListModel* rows, const char* saveButtonName,
                             QWidget* parent)
    : QWidget(parent)
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
}

} // namespace pexumo
