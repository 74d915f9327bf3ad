#pragma once

#include "acquire/meterrun.h"
#include "acquire/runtimer.h"
#include "alarm/alarmsettings.h"
#include "base/config.h"
#include "journal/journalfile.h"
#include "link/comport.h"
#include "publish/mqttpublisher.h"
#include "results/resultbook.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace pexumo {

class AlarmCommand;
class DiskWatch;
class Journal;
class JournalOutbox;

/// Everything a run of the meter needs besides a screen, set up alike for the window and for
/// pexumo-logger from the same config.ini: the port, the two timers, the lists, the run, the
/// journal the lists go to, what an alarm sets off (the alarm command, the journal's alarm
/// events) and the publisher that sends the journal's rows and the alarms to an MQTT broker.
/// The window draws it; the logger prints it.
class Station : public QObject
{
    Q_OBJECT
public:
    struct Setup
    {
        /// config.ini; read once, here.
        QString configPath = defaultConfigPath();
        /// The journal file; empty for the one config.ini names (or the user's).
        QString journalPath;
        /// The window keeps the rows to show and save them; the logger only counts them.
        ResultBook::Storage storage = ResultBook::Storage::Rows;
        /// The publisher's waits; tests shorten them.
        MqttTiming mqttTiming;
        /// Tells this program from others of the same user in the broker's default ClientId
        /// (a logger's port); "" for none.
        QString mqttInstance;
        /// The program the journal names as the writer of the run's session.
        QString program = QString::fromLatin1(WindowProgram);
    };

    explicit Station(const Setup& setup, QObject* parent = nullptr);
    /// Ends the run, closes the journal and stops publishing, within JournalCloseWaitMs (and
    /// MqttTiming::stopTimeout); emits nothing any more.
    ~Station() override;

    /// How long the end of a run waits for the journal to write what it holds.
    static constexpr int JournalCloseWaitMs = 5000;

    TComPort& port() { return m_port; }
    /// The sampling timer; its timeouts go to run().tick().
    QTimer& sampleTimer() { return m_sampleTimer; }
    ResultBook& book() { return m_book; }
    MeterRun& run() { return m_run; }
    const AppConfig& config() const { return m_config; }
    QString configPath() const { return m_configPath; }
    /// The journal file this run writes to.
    QString journalPath() const { return m_journalPath; }
    /// The journal of this run; null before startJournal() succeeded.
    Journal* journal() const { return m_journal; }

    /// Opens the journal unless config.ini turned it off; from then on every row reaches it,
    /// and the free space of its file system is watched against MinFreeMB (the disk alarm).
    /// "" when it is on, else why it is off.
    QString startJournal();
    /// The disk alarm (DiskWatch) while it is up. Its rises and clears go where every alarm's
    /// go (the journal, the alarm command, the broker) and come with diskAlarmChanged(); the
    /// run's own alarms come with MeterRun::alarmChanged().
    std::optional<ActiveAlarm> diskAlarm() const;
    /// Publishes the journal's rows (JournalOutbox) and the alarms as the [Mqtt] section of
    /// config.ini says, on a thread of the publisher's own. Publishing needs the journal: call
    /// after startJournal(). With Host set and the journal off the status is Off with the reason
    /// "the journal is off"; without Host, Off with the publisher's reason. Returns the status
    /// at once; later ones come with publishingChanged().
    MqttStatus startPublishing();
    /// The publisher's latest status.
    MqttStatus publishingStatus() const { return m_publishing; }
    /// What the [Mqtt] section should mend although publishing works (a password file that
    /// every user can read); "" for nothing. Set by startPublishing().
    QString publishingWarning() const { return m_mqttWarning; }

    /// Alarm limits, delay and no-reading time for the run, and the command of an alarm.
    void applyAlarmSettings(const AlarmSettings& settings);
    /// True when no alarm command runs or waits to run (see alarmCommandFinished()).
    bool alarmCommandIdle() const;
    /// Ends the run (port closed, timers off), closes the journal, waiting at most
    /// \a journalWaitMs for it, and then stops publishing: what waits is sent and "offline"
    /// last, within MqttTiming::stopTimeout from the start of the stop. Returns the readings the
    /// journal could not write. Rows the broker did not acknowledge are sent at the next start.
    qint64 stop(int journalWaitMs = JournalCloseWaitMs);
    /// As above, with the whole stop of publishing within \a publishBudget from the start.
    qint64 stop(int journalWaitMs, std::chrono::milliseconds publishBudget);

signals:
    /// The journal went off in the middle of the run.
    void journalFailed(const QString& reason);
    /// The alarm command ended: its one-line result (see AlarmCommand).
    void alarmCommandFinished(const QString& result, bool success);
    /// The publisher's status changed (see MqttPublisher::statusChanged).
    void publishingChanged(const pexumo::MqttStatus& status);
    /// The disk alarm rose or cleared.
    void diskAlarmChanged(const pexumo::AlarmEvent& event);

private:
    void alarmChanged(const AlarmEvent& event);
    void setPublishing(const MqttStatus& status);
    void stopPublishing(std::chrono::milliseconds budget);

    QString m_configPath;
    AppConfig m_config;
    QString m_journalPath;
    QString m_program;
    TComPort m_port;
    QTimer m_sampleTimer;
    QTimer m_lineWatch;
    QtRunTimer m_sampleRunTimer{m_sampleTimer};
    QtRunTimer m_watchRunTimer{m_lineWatch};
    ResultBook m_book;
    MeterRun m_run;
    AlarmCommand* m_alarmCommand = nullptr;
    Journal* m_journal = nullptr;
    DiskWatch* m_diskWatch = nullptr;
    MqttTiming m_mqttTiming;
    QString m_mqttInstance;
    std::unique_ptr<JournalOutbox> m_outbox; ///< outlives m_publisher, which reads it
    MqttPublisher* m_publisher = nullptr;
    MqttStatus m_publishing;
    QString m_mqttWarning;
};

} // namespace pexumo
