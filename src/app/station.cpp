#include "app/station.h"

#include "alarm/alarmcommand.h"
#include "journal/diskwatch.h"
#include "journal/journal.h"
#include "journal/journaloutbox.h"
#include "publish/payload.h"

#include <QFileInfo>

namespace pexumo {

Station::Station(const Setup& setup, QObject* parent)
    : QObject(parent), m_configPath(setup.configPath), m_config(readConfig(setup.configPath)),
      m_journalPath(setup.journalPath.isEmpty() ? journalPathOf(m_config, setup.configPath)
                                                : setup.journalPath),
      m_program(setup.program), m_book(setup.storage),
      m_run(m_port, m_book, m_sampleRunTimer, m_watchRunTimer),
      m_alarmCommand(new AlarmCommand(this)), m_mqttTiming(setup.mqttTiming),
      m_mqttInstance(setup.mqttInstance)
{
    // Qt's default coarse timer may fire up to 5 % early or late to share wake-ups with other
    // timers: at 1 s that put two rows of a list into one second. A precise one keeps to its
    // schedule, counted from each start of the sampling.
    m_sampleTimer.setTimerType(Qt::PreciseTimer);
    m_run.setAutoReconnect(m_config.autoReconnect);
    m_run.setStaleSeconds(m_config.staleSeconds);
    connect(&m_port, &TComPort::connectionLost, &m_run, &MeterRun::connectionLost);
    connect(&m_lineWatch, &QTimer::timeout, &m_run, &MeterRun::watchLine);
    connect(&m_run, &MeterRun::alarmChanged, m_alarmCommand, &AlarmCommand::run);
    connect(m_alarmCommand, &AlarmCommand::finished, this, &Station::alarmCommandFinished);
    connect(&m_run, &MeterRun::alarmChanged, this, &Station::alarmChanged);
    // A new cause of the no-reading alarm is no rise: the command does not run, and the broker
    // gets it with the clear (or with the rise, when that is still waiting).
    connect(&m_run, &MeterRun::noReadingCauseChanged, this, [this](const ActiveAlarm& alarm) {
        if (m_journal)
            m_journal->alarmCauseChanged(alarm);
    });
    connect(m_alarmCommand, &AlarmCommand::eventFinished, this,
            [this](const AlarmEvent& event, const QString& result) {
                if (m_journal)
                    m_journal->alarmCommandFinished(event, result);
            });
}

Station::~Station()
{
    // Whoever listens may be half destroyed already (the window that owns this station).
    blockSignals(true);
    stop();
}

void Station::alarmChanged(const AlarmEvent& event)
{
    // The publisher reads it from the journal, as it reads the rows: an alarm that rose while
    // the broker was away, or just before the stop, is sent all the same.
    if (!m_journal)
        return;
    if (event.change == AlarmChange::Raise)
        m_journal->alarmRaised(event);
    else
        m_journal->alarmCleared(event);
}

MqttStatus Station::startPublishing()
{
    if (m_publisher)
        return m_publishing;
    MqttMachine machine = MqttMachine::current();
    machine.instance = m_mqttInstance;
    machine.port = QFileInfo(m_port.settings().name).fileName();
    const MqttConfig config = readMqttConfig(m_configPath, machine);
    m_mqttWarning = config.isOn() ? config.warning : QString();
    if (config.isOn() && !m_journal) {
        setPublishing({MqttState::Off, 0, tr("the journal is off"), 0});
        return m_publishing;
    }
    // A logger publishes the earlier runs of its own port; the window those of any port.
    m_outbox = std::make_unique<JournalOutbox>(
        m_journalPath, m_journal ? m_journal->session() : 0,
        JournalOutbox::Writer{m_program,
                              m_mqttInstance.isEmpty() ? QString() : m_port.settings().name});
    m_publisher = new MqttPublisher(*m_outbox, m_mqttTiming, this);
    connect(m_publisher, &MqttPublisher::statusChanged, this, &Station::setPublishing);
    if (m_journal)
        m_journal->setCommitHook([outbox = m_outbox.get()] { outbox->rowsCommitted(); });
    m_publisher->start(config, m_journal ? m_journal->session() : 0);
    // The thread's own statuses follow through the event loop.
    if (config.isOn())
        setPublishing({MqttState::Connecting, 0, {}, 0});
    return m_publishing;
}

void Station::setPublishing(const MqttStatus& status)
{
    m_publishing = status;
    emit publishingChanged(status);
}

void Station::stopPublishing(std::chrono::milliseconds budget)
{
    if (!m_publisher)
        return;
    if (m_journal)
        m_journal->setCommitHook({});
    m_publisher->stop(std::max(budget, std::chrono::milliseconds(0)));
    delete m_publisher;
    m_publisher = nullptr;
    m_outbox.reset();
}

QString Station::startJournal()
{
    if (!m_config.journal)
        return tr("turned off by Journal=0 in config.ini");
    if (m_journal)
        return {};
    auto* journal = new Journal(this);
    connect(journal, &Journal::failed, this, &Station::journalFailed);
    const QString reason = journal->open(m_journalPath, m_config.journalKeepDays,
                                         QDateTime::currentDateTime(), m_program);
    if (!reason.isEmpty()) {
        delete journal;
        return reason;
    }
    m_journal = journal;
    m_book.setSink(m_journal);
    connect(&m_run, &MeterRun::portOpened, m_journal, &Journal::setPort);
    if (m_config.minFreeMB > 0) {
        m_diskWatch =
            new DiskWatch(QFileInfo(m_journalPath).absolutePath(), m_config.minFreeMB, this);
        connect(m_diskWatch, &DiskWatch::alarmChanged, this, [this](const AlarmEvent& event) {
            m_alarmCommand->run(event);
            alarmChanged(event);
            emit diskAlarmChanged(event);
        });
        m_diskWatch->start();
    }
    return {};
}

bool Station::alarmCommandIdle() const
{
    return m_alarmCommand->idle();
}

std::optional<ActiveAlarm> Station::diskAlarm() const
{
    return m_diskWatch ? m_diskWatch->active() : std::nullopt;
}

void Station::applyAlarmSettings(const AlarmSettings& settings)
{
    m_run.setAlarmSettings(settings);
    m_alarmCommand->setCommandLine(settings.command);
}

qint64 Station::stop(int journalWaitMs)
{
    return stop(journalWaitMs, m_mqttTiming.stopTimeout);
}

qint64 Station::stop(int journalWaitMs, std::chrono::milliseconds publishBudget)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    m_run.stop();
    delete m_diskWatch;
    m_diskWatch = nullptr;
    // The journal first: the rows and alarms of the last moments are in the file before the
    // publisher sends what waits there and then says "offline".
    qint64 unwritten = 0;
    if (m_journal) {
        m_book.setSink(nullptr);
        unwritten = m_journal->close(true, journalWaitMs);
    }
    // The journal's wait is not the publisher's: the budget counts from the start of the stop.
    stopPublishing(publishBudget -
                   std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started));
    delete m_journal;
    m_journal = nullptr;
    return unwritten;
}

} // namespace pexumo
