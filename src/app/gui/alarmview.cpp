#include "app/gui/alarmview.h"

#include "acquire/gui/trendchart.h"
#include "alarm/desktopnotifier.h"
#include "alarm/gui/alarmdialog.h"
#include "app/gui/controlbar.h"
#include "app/gui/dashboard.h"
#include "app/gui/parameterpage.h"
#include "app/station.h"

namespace pexumo {

AlarmView::AlarmView(Station& station, ControlBar& bar, Dashboard& dashboard,
                     const std::array<ParameterPage*, ParameterCount>& pages, QWidget* window)
    : QObject(window), m_station(station), m_bar(bar), m_dashboard(dashboard), m_pages(pages),
      m_window(window), m_notifier(new DesktopNotifier(this))
{
    const auto alarmChanged = [this](const AlarmEvent& event) {
        m_notifier->notify(event);
        showAlarms();
    };
    connect(&station.run(), &MeterRun::alarmChanged, this, alarmChanged);
    connect(&station, &Station::diskAlarmChanged, this, alarmChanged);
    connect(&station.run(), &MeterRun::noReadingCauseChanged, this, &AlarmView::showAlarms);
    connect(
        &station, &Station::alarmCommandFinished, this,
        [this](const QString& result, bool success) { m_bar.showAlarmCommand(result, success); });
    // Without a notification service the bar's note says it all.
    connect(m_notifier, &DesktopNotifier::unavailable, this, [](const QString&) {});
}

void AlarmView::start(const std::function<void(const QString&, const QString&)>& warn)
{
    const AlarmSettingsRead read = loadAlarmSettings();
    m_station.applyAlarmSettings(read.settings);
    showLimits(read.settings);
    if (!read.problems.isEmpty() && warn)
        warn(tr("Some alarm limits could not be read; those parameters have no limit."),
             read.problems.join(u'\n'));
}

void AlarmView::editLimits(const std::function<void(const QString&, const QString&)>& warn)
{
    AlarmDialog dialog(m_station.run().alarms().settings(), m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const AlarmSettings settings = dialog.settings();
    QString error;
    if (!saveAlarmSettings(settings, QString(), &error) && warn)
        warn(tr("The alarm limits could not be kept for the next start; they hold until Pexumo "
                "closes."),
             error);
    m_station.applyAlarmSettings(settings);
    showLimits(settings);
    showAlarms();
}

void AlarmView::readoutShows(Parameter parameter)
{
    m_readout = parameter;
    showAlarms();
}

void AlarmView::showLimits(const AlarmSettings& settings)
{
    for (Parameter parameter : AllParameters) {
        const AlarmLimit& limit = settings.limit(alarmParameterOf(parameter));
        m_dashboard.chart(parameter)->setLimits(limit.low, limit.high);
        m_pages[indexOf(parameter)]->setLimits(limit.low, limit.high);
    }
    const AlarmLimit& temp = settings.limit(AlarmParameter::Temp);
    m_dashboard.ChartTemp->setLimits(temp.low, temp.high);
}

void AlarmView::showAlarms()
{
    std::vector<ActiveAlarm> up = m_station.run().alarms().active();
    if (const std::optional<ActiveAlarm> disk = m_station.diskAlarm())
        up.push_back(*disk);
    const auto isUp = [&up](AlarmParameter parameter) {
        return std::any_of(up.begin(), up.end(),
                           [parameter](const ActiveAlarm& a) { return a.parameter == parameter; });
    };
    for (Parameter parameter : AllParameters)
        m_dashboard.chart(parameter)->setAlarm(isUp(alarmParameterOf(parameter)));
    m_dashboard.ChartTemp->setAlarm(isUp(AlarmParameter::Temp));
    m_dashboard.showAlarmLook(m_readout && isUp(alarmParameterOf(*m_readout)),
                              isUp(AlarmParameter::Temp));
    QStringList notes;
    for (const ActiveAlarm& alarm : up)
        notes << alarmNote(alarm);
    m_bar.showAlarms(notes);
}

} // namespace pexumo
