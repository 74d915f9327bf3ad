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
    m_run.setAutoReconnect(m_config.autoReconnect);
    connect(&m_port, &TComPort::connectionLost, &m_run, &MeterRun::connectionLost);
    connect(&m_lineWatch, &QTimer::timeout, &m_run, &MeterRun::watchLine);
    connect(&m_run, &MeterRun::alarmChanged, m_alarmCommand, &AlarmCommand::run);
    connect(m_alarmCommand, &AlarmCommand::finished, this, &Station::alarmCommandFinished);
    connect(&m_run, &MeterRun::alarmChanged, this, &Station::alarmChanged);
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
    if (m_journal) {
        if (event.change == AlarmChange::Raise)
            m_journal->alarmRaised(event);
        else
            m_journal->alarmCleared(event);
    }
    if (m_publisher && m_journal)
        m_publisher->publishAlarm(alarmPayload(m_journal->session(), event));
}

MqttStatus Station::startPublishing()
{
    if (m_publisher)
        return m_publishing;
    MqttMachine machine = MqttMachine::current();
    machine.instance = m_mqttInstance;
    const MqttConfig config = readMqttConfig(m_configPath, machine);
    if (config.isOn() && !m_journal) {
        setPublishing({MqttState::Off, 0, tr("the journal is off")});
        return m_publishing;
    }
    m_outbox = std::make_unique<JournalOutbox>(m_journalPath, m_journal ? m_journal->session() : 0);
    m_publisher = new MqttPublisher(*m_outbox, m_mqttTiming, this);
    connect(m_publisher, &MqttPublisher::statusChanged, this, &Station::setPublishing);
    if (m_journal)
        m_journal->setCommitHook([outbox = m_outbox.get()] { outbox->rowsCommitted(); });
    m_publisher->start(config);
    // The thread's own statuses follow through the event loop.
    if (config.isOn())
        setPublishing({MqttState::Connecting, 0, {}});
    return m_publishing;
}

void Station::setPublishing(const MqttStatus& status)
{
    m_publishing = status;
    emit publishingChanged(status);
}

void Station::stopPublishing()
{
    if (!m_publisher)
        return;
    m_publisher->stop();
    if (m_journal)
        m_journal->setCommitHook({});
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
    m_run.stop();
    delete m_diskWatch;
    m_diskWatch = nullptr;
    stopPublishing();
    if (!m_journal)
        return 0;
    m_book.setSink(nullptr);
    const qint64 unwritten = m_journal->close(true, journalWaitMs);
    delete m_journal;
    m_journal = nullptr;
    return unwritten;
}

} // namespace pexumo
