#pragma once

#include "app/station.h"
#include "link/comport.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace pexumo {

/// What pexumo-logger runs with, its command line and the remembered settings already applied.
struct LoggerSetup
{
    /// config.ini, the journal file (empty: the one config.ini names, or the user's); the
    /// lists keep counts only and the journal names the logger as the session's writer.
    Station::Setup station = loggerStation();
    /// The port and its line settings.
    PortSettings port;
    int intervalSeconds = 1;
    /// The settings file with the [Alarms] group; empty for the user's own.
    QString alarmSettingsPath;
    /// A port that does not open at the start ends the logger instead of being tried again.
    bool once = false;

    static Station::Setup loggerStation();
};

/// How weighty a status line is; the numbers are the system log's priorities.
enum class Severity
{
    Error = 3,
    Warning = 4,
    Notice = 5,
    Info = 6
};

/// Writes one status line to standard error: after a syslog priority such as "<4>" when
/// standard error is the system journal's stream (a service under systemd, which then adds the
/// time itself), else after the local date and time ("2026-12-09 14:03:07 ").
void writeStatusLine(Severity severity, const QString& text);

/// pexumo-logger's run: the window's run (a Station) without a display. The lists keep only
/// their counts, every row goes to the journal, the port is opened at the start and tried again
/// every RetryOpenMs until it opens, a pulled cable is waited out as in the window, and every
/// event is told in one status line.
///
/// The journal is the logger's only store: when it cannot be opened, or fails in the middle of
/// the run, the logger ends with status 1 (a service manager may then start it again). So it
/// does after a lost line when config.ini turns AutoReconnect off, since nobody is there to
/// connect again; the no-reading alarm then rises at once, and the end waits for its command.
/// While the port does not open the line watch runs too, so that a meter that never came raises
/// the no-reading alarm.
class Logger : public QObject
{
    Q_OBJECT
public:
    /// A port that does not open at the start is tried again this often.
    static constexpr int RetryOpenMs = 5000;
    /// A summary of the rows this often.
    static constexpr int SummaryMs = 3600 * 1000;
    /// The longest the end waits for the journal: the whole stop stays within two seconds.
    static constexpr int StopJournalWaitMs = 1500;
    /// From the start of the end, the publisher's last rows and "offline" are sent within
    /// this time, whatever the broker or the network does.
    static constexpr std::chrono::milliseconds StopPublishMs{1500};

    explicit Logger(const LoggerSetup& setup, QObject* parent = nullptr);

    /// Where status lines go; writeStatusLine() unless replaced.
    std::function<void(Severity, const QString&)> print = writeStatusLine;

    /// Opens the journal and the port and starts sampling; an exit status when the logger is
    /// to end at once (the journal cannot be used, or the port did not open under --once).
    std::optional<int> start();
    /// Ends the run because of \a why ("SIGTERM"): the sampling stops, the last rows are
    /// committed and the session is closed. Returns the exit status: 0 when every row reached
    /// the journal, else 1. Later calls return the first one's status.
    int stop(const QString& why);

    Station& station() { return m_station; }

signals:
    /// The run ended by itself (see the class); the process should exit with \a status.
    void finished(int status);

private:
    void tryOpen();
    /// Ends the run by itself; \a afterAlarmCommand waits for the alarm commands still to run.
    void end(const QString& why, bool afterAlarmCommand = false);
    void showRunState();
    void summarize();
    /// "pH=12 ORP=0 ... Records=20".
    QString rowCounts();

    LoggerSetup m_setup;
    Station m_station;
    QTimer m_retry;
    QTimer m_summary;
    QString m_lastOpenError;
    bool m_halted = false;
    MqttStatus m_published;    ///< the last state of publishing printed
    bool m_mqttWanted = false; ///< config.ini names a broker
    std::optional<int> m_exitStatus;
    std::optional<QString> m_endingFor; ///< why the run ends, once the alarm command is done
};

} // namespace pexumo
