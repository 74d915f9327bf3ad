#include "app/station.h"

#include "acquire/alarmcommand.h"
#include "journal/journal.h"

namespace pexumo {

Station::Station(const Setup& setup, QObject* parent)
    : QObject(parent), m_configPath(setup.configPath), m_config(readConfig(setup.configPath)),
      m_journalPath(setup.journalPath.isEmpty() ? journalPathOf(m_config, setup.configPath)
                                                : setup.journalPath),
      m_program(setup.program), m_book(setup.storage),
      m_run(m_port, m_book, m_sampleRunTimer, m_watchRunTimer),
      m_alarmCommand(new AlarmCommand(this))
{
    m_run.setAutoReconnect(m_config.autoReconnect);
    connect(&m_port, &TComPort::connectionLost, &m_run, &MeterRun::connectionLost);
    connect(&m_lineWatch, &QTimer::timeout, &m_run, &MeterRun::watchLine);
    connect(&m_run, &MeterRun::alarmChanged, m_alarmCommand, &AlarmCommand::run);
    connect(m_alarmCommand, &AlarmCommand::finished, this, &Station::alarmCommandFinished);
}

Station::~Station()
{
    stop();
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
    return {};
}

void Station::applyAlarmSettings(const AlarmSettings& settings)
{
    m_run.setAlarmSettings(settings);
    m_alarmCommand->setCommandLine(settings.command);
}

qint64 Station::stop(int journalWaitMs)
{
    m_run.stop();
    if (!m_journal)
        return 0;
    m_book.setSink(nullptr);
    const qint64 unwritten = m_journal->close(true, journalWaitMs);
    delete m_journal;
    m_journal = nullptr;
    return unwritten;
}

} // namespace pexumo
