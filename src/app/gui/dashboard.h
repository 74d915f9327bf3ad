#pragma once

#include "acquire/sampleroute.h"
#include "link/currentreading.h"

#include <QDateTime>
#include <QWidget>

#include <array>

class QAction;
class QLabel;
class QLineEdit;
class QLineSeries;

namespace pexumo {

class DegreeMark;
class TrendChart;

/// The dashboard's widgets by the names the window knows them by; the window holds the same
/// names.
struct DashboardWidgets
{
    TrendChart *ChartPH = nullptr, *ChartORP = nullptr, *ChartCOND = nullptr, *ChartTDS = nullptr,
               *ChartSalt = nullptr, *ChartDO = nullptr, *ChartO2 = nullptr, *ChartTemp = nullptr;
    QLineSeries *LinePH = nullptr, *LineORP = nullptr, *LineCOND = nullptr, *LineTDS = nullptr,
                *LineSalt = nullptr, *LineDO = nullptr, *LineO2 = nullptr, *LineTemp = nullptr;
    QLabel *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr,
           *Label7 = nullptr, *Label8 = nullptr, *Label9 = nullptr;
    QLineEdit *Edit2 = nullptr, *Edit3 = nullptr;
    DegreeMark* Shape1 = nullptr;
    /// Under the read-out while the meter's reading is stale: "No new reading since 02:13:07".
    QLabel* lblStale = nullptr;
};

/// The first page, "TabAll": the small trend charts of the seven parameters and of the
/// temperature, and the read-out of the latest sample.
class Dashboard : public QWidget, public DashboardWidgets
{
    Q_OBJECT
public:
    explicit Dashboard(QWidget* parent = nullptr);

    /// The small chart of \a parameter.
    TrendChart* chart(Parameter parameter) const { return m_charts[indexOf(parameter)]; }

    /// Shows the sample a tick took of \a reading: its point on the temperature chart and the
    /// read-out. (The parameter's own point is the window's to add: it goes to two charts.)
    void showSample(const SamplePlan& plan, const CurrentReading& reading);
    /// The alarm look of the read-out: of the value while its parameter's alarm is up, of the
    /// temperature while the temperature's is; a tint and a warning sign in the box.
    void showAlarmLook(bool value, bool temperature);
    /// The read-out's sample is the last one: the meter's reading since \a since is too old to
    /// be sampled. Its numbers turn grey and a line under them says since when; the next sample
    /// shows them as before.
    void showStale(const QDateTime& since);

private:
    void applyReadoutLook();

    std::array<TrendChart*, ParameterCount> m_charts{};
    QAction* m_valueAlarm = nullptr;
    QAction* m_tempAlarm = nullptr;
    bool m_valueAlarmUp = false;
    bool m_tempAlarmUp = false;
    bool m_stale = false;
};

} // namespace pexumo
