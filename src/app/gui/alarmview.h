#pragma once

#include "alarm/alarmmonitor.h"
#include "results/listid.h"

#include <QObject>

#include <array>
#include <functional>

class QWidget;

namespace pexumo {

class ControlBar;
class Dashboard;
class DesktopNotifier;
class ParameterPage;
class Station;

/// The window's side of the alarms: limits as dashed lines on the charts, the alarm look of the
/// charts and the read-out while an alarm is up, the note in the bar, a desktop notification at
/// every rise and clear, and the Alarm limits dialog. The rules themselves run in the core
/// (MeterRun), alike for the window and the logger.
class AlarmView : public QObject
{
    Q_OBJECT
public:
    AlarmView(Station& station, ControlBar& bar, Dashboard& dashboard,
              const std::array<ParameterPage*, ParameterCount>& pages, QWidget* window);

    /// Reads the limits from the per-user settings file and hands them to the run. Problems of
    /// the file (a limit that does not read) are told once through \a warn, naming the key.
    void start(const std::function<void(const QString& text, const QString& detail)>& warn);
    /// The Alarm limits dialog: what is accepted is kept in the settings file and in force at
    /// once. Tells through \a warn when the file cannot be written.
    void editLimits(const std::function<void(const QString& text, const QString& detail)>& warn);
    /// A sample of \a parameter is now shown in the read-out.
    void readoutShows(Parameter parameter);

private:
    void showLimits(const AlarmSettings& settings);
    void showAlarms();

    Station& m_station;
    ControlBar& m_bar;
    Dashboard& m_dashboard;
    std::array<ParameterPage*, ParameterCount> m_pages;
    QWidget* m_window;
    DesktopNotifier* m_notifier;
    std::optional<Parameter> m_readout; ///< the parameter whose value the read-out shows
};

} // namespace pexumo
