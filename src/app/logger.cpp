#include "app/logger.h"

#include "alarm/alarmmonitor.h"
#include "alarm/alarmsettings.h"
#include "base/numberformat.h"
#include "journal/journal.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <utility>

#include <sys/stat.h>

namespace pexumo {

Station::Setup LoggerSetup::loggerStation()
{
    Station::Setup setup;
    setup.storage = ResultBook::Storage::CountsOnly;
    setup.program = QString::fromLatin1(LoggerProgram);
    return setup;
}

namespace {

Station::Setup stationOf(const LoggerSetup& setup)
{
    Station::Setup station = setup.station;
    // One logger per meter of one user: each is a client of the broker of its own.
    station.mqttInstance = QFileInfo(setup.port.name).fileName().replace(u' ', u'-');
    return station;
}

/// True when standard error is the stream systemd gave the service: JOURNAL_STREAM holds its
/// "device:inode".
bool stderrIsSystemJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    struct stat st = {};
    if (stream.isEmpty() || ::fstat(STDERR_FILENO, &st) != 0)
        return false;
    return stream ==
           QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
}

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

void writeStatusLine(Severity severity, const QString& text)
{
    static const bool journal = stderrIsSystemJournal();
    const QByteArray prefix = journal ? "<" + QByteArray::number(int(severity)) + ">"
                                      : QDateTime::currentDateTime()
                                            .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss "))
                                            .toUtf8();
    const QByteArray line = prefix + text.toUtf8() + '\n';
    // A status line that cannot be written has nowhere else to go; the run goes on.
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    std::fflush(stderr);
}

Logger::Logger(const LoggerSetup& setup, QObject* parent)
    : QObject(parent), m_setup(setup), m_station(stationOf(setup))
{
    NumberFormat::setCurrent(m_station.config().changeDecimal ? NumberFormat{u',', u'.'}
                                                              : NumberFormat::regional());
    MeterRun& run = m_station.run();
    run.setGoOnLiveAfterHalt(true);
    run.setAlarmWhenLineEnds(true);
    TComPort& port = m_station.port();
    port.setSettings(setup.port);
    connect(&port, &TComPort::OnRxChar, &run, &MeterRun::receive);
    connect(&m_station.sampleTimer(), &QTimer::timeout, &run, &MeterRun::tick);

    connect(&run, &MeterRun::portOpened, this, [this](const QString& name) {
        print(Severity::Notice, tr("connected to %1").arg(name));
    });
    connect(&run, &MeterRun::lineLost, this, [this](const QString& reason, bool waiting) {
        // The port's reason is a sentence of its own, such as "The connection to /dev/ttyUSB0
        // was lost: end of input."
        if (waiting) {
            print(Severity::Warning, reason + tr(" Waiting for the meter to come back."));
            return;
        }
        print(Severity::Error, reason);
        end(tr("AutoReconnect=0 in config.ini: nobody is there to connect again"), true);
    });
    connect(&run, &MeterRun::lineBack, this, [this] {
        print(Severity::Notice,
              tr("the meter is back on %1 (%2)")
                  .arg(m_station.port().settings().name, m_station.run().lineNote().toLower()));
    });
    connect(&run, &MeterRun::runStateChanged, this, &Logger::showRunState);
    connect(&run, &MeterRun::staleChanged, this, [this](bool stale) {
        if (stale)
            print(Severity::Notice,
                  tr("no new reading since %1: no rows until the meter sends again")
                      .arg(m_station.run().staleSince().toString(QStringLiteral("hh:mm:ss"))));
        else
            print(Severity::Notice, tr("new readings: rows go on"));
    });
    const auto printAlarm = [this](const AlarmEvent& event) {
        print(event.change == AlarmChange::Raise ? Severity::Warning : Severity::Notice,
              alarmEventText(event));
    };
    connect(&run, &MeterRun::alarmChanged, this, printAlarm);
    connect(&run, &MeterRun::noReadingCauseChanged, this, [this](const ActiveAlarm& alarm) {
        print(Severity::Warning, noReadingCauseChangeText(alarm));
    });
    connect(&m_station, &Station::diskAlarmChanged, this, printAlarm);
    connect(&m_station, &Station::alarmCommandFinished, this,
            [this](const QString& result, bool success) {
                print(success ? Severity::Info : Severity::Warning, result);
                // An end that waited for the alarm's command.
                if (m_endingFor && m_station.alarmCommandIdle())
                    end(*std::exchange(m_endingFor, std::nullopt));
            });
    connect(&m_station, &Station::journalFailed, this, [this](const QString& reason) {
        print(Severity::Error, tr("the journal stopped: %1").arg(reason));
        end(tr("the journal is the logger's only store"));
    });

    connect(&m_station, &Station::publishingChanged, this, [this](const MqttStatus& status) {
        // A line for each change of state or reason, not for each row that waits; nothing at all
        // when config.ini asks for no broker.
        // ... and one when the rows that waited for the broker are all there.
        if (status.state == m_published.state && status.reason == m_published.reason &&
            (status.sent == m_published.sent || status.sent == 0))
            return;
        if (status.state == MqttState::Off && !m_mqttWanted)
            return;
        m_published = status;
        const QString text = status.reason.isEmpty()
                                 ? mqttStatusText(status)
                                 : mqttStatusText(status) + QStringLiteral(": ") + status.reason;
        print(status.state == MqttState::Disconnected ? Severity::Warning : Severity::Info, text);
    });

    m_retry.setInterval(RetryOpenMs);
    connect(&m_retry, &QTimer::timeout, this, &Logger::tryOpen);
    m_summary.setInterval(SummaryMs);
    connect(&m_summary, &QTimer::timeout, this, &Logger::summarize);
}

std::optional<int> Logger::start()
{
    const AlarmSettingsRead alarms = loadAlarmSettings(m_setup.alarmSettingsPath);
    for (const QString& problem : alarms.problems)
        print(Severity::Warning, tr("alarm settings: %1").arg(problem));
    m_station.applyAlarmSettings(alarms.settings);

    const QString journalPath = nativePath(m_station.journalPath());
    if (!m_station.config().journal) {
        print(Severity::Error, tr("Journal=0 in %1 turns off the journal, the logger's only store")
                                   .arg(nativePath(m_station.configPath())));
        return 2;
    }
    if (const QString reason = m_station.startJournal(); !reason.isEmpty()) {
        print(Severity::Error, tr("the journal cannot be used: %1").arg(reason));
        return 1;
    }
    const Journal& journal = *m_station.journal();
    print(Severity::Info, tr("logging %1 every %2 s into %3, session %4")
                              .arg(m_setup.port.name)
                              .arg(m_setup.intervalSeconds)
                              .arg(journalPath)
                              .arg(journal.session()));
    if (!journal.movedAside().isEmpty())
        print(Severity::Warning, tr("the journal was damaged: kept as %1, a new one started")
                                     .arg(nativePath(journal.movedAside())));
    m_mqttWanted = !readMqttConfig(m_station.configPath()).host.isEmpty();
    m_station.startPublishing(); // it reads the journal: once the journal is open
    if (const QString warning = m_station.publishingWarning(); !warning.isEmpty())
        print(Severity::Warning, QStringLiteral("MQTT: ") + warning);
    m_summary.start();
    tryOpen();
    if (m_setup.once && !m_station.port().Connected()) {
        stop(tr("the port did not open and --once was given"));
        return 1;
    }
    return std::nullopt;
}

void Logger::tryOpen()
{
    MeterRun& run = m_station.run();
    if (run.connectOrDisconnect(m_setup.intervalSeconds) == MeterRun::ConnectResult::Opened) {
        m_retry.stop();
        m_lastOpenError.clear();
        return;
    }
    // A meter that is not there from the start is missed like one that falls silent.
    if (!m_setup.once)
        run.awaitPort();
    // Said once per reason: a meter that stays away for a week leaves one line. The port's
    // reason is a sentence, such as "There is no port COM2: no such device."
    const QString error = m_station.port().errorString();
    if (error != m_lastOpenError) {
        m_lastOpenError = error;
        print(Severity::Warning,
              m_setup.once ? error
                           : error + tr(" Trying again every %1 s.").arg(RetryOpenMs / 1000));
    }
    if (!m_setup.once && !m_retry.isActive())
        m_retry.start();
}

void Logger::showRunState()
{
    // Only the meter's halt frame pauses an open port here: nobody clicks Stop.
    const bool halted =
        m_station.run().state().runCaption == QLatin1String("Go") && m_station.port().Connected();
    if (halted == m_halted)
        return;
    m_halted = halted;
    if (halted)
        print(Severity::Notice,
              tr("the meter sent its halt frame: sampling waits for its next live reading"));
    else if (m_station.port().Connected())
        print(Severity::Notice, tr("live readings again: sampling goes on"));
}

QString Logger::rowCounts()
{
    QStringList counts;
    for (ListId list : AllLists)
        counts << QStringLiteral("%1=%2").arg(listName(list)).arg(m_station.book().rows(list));
    return counts.join(u' ');
}

void Logger::summarize()
{
    QString text = tr("rows: %1").arg(rowCounts());
    if (const qint64 skipped = m_station.run().skippedBytes(); skipped > 0)
        text += tr("; line noise: %1 bytes skipped").arg(skipped);
    if (const Journal* journal = m_station.journal(); journal && journal->pendingRows() > 0) {
        const QString stall = journal->stallReason();
        text += tr("; %1 not yet in the journal").arg(journal->pendingRows()) +
                (stall.isEmpty() ? QString() : QStringLiteral(": ") + stall);
    }
    print(Severity::Info, text);
}

void Logger::end(const QString& why, bool afterAlarmCommand)
{
    // The alarm that tells of the end (a lost line) has its command run first: the mail that
    // says the logger stopped is sent before it does. The command's own time limit bounds this.
    if (afterAlarmCommand && !m_exitStatus && !m_station.alarmCommandIdle()) {
        m_endingFor = why;
        return;
    }
    const int status = stop(why);
    emit finished(status == 0 ? 1 : status); // ending by itself is never a success
}

int Logger::stop(const QString& why)
{
    if (m_exitStatus)
        return *m_exitStatus;
    m_retry.stop();
    m_summary.stop();
    const Journal* journal = m_station.journal();
    const qint64 session = journal ? journal->session() : 0;
    const bool journalOn = journal && journal->isOn();
    const qint64 unwritten = m_station.stop(StopJournalWaitMs, StopPublishMs);
    const QString stopped = tr("stopped (%1); rows: %2").arg(why, rowCounts());
    if (session == 0) {
        print(Severity::Notice, stopped);
        m_exitStatus = 0;
    } else if (journalOn && unwritten == 0) {
        print(Severity::Notice,
              stopped + tr("; all in the journal, session %1 closed").arg(session));
        m_exitStatus = 0;
    } else {
        print(Severity::Error, stopped + tr("; %1 not written to the journal, session %2 left open")
                                             .arg(unwritten)
                                             .arg(session));
        m_exitStatus = 1;
    }
    return *m_exitStatus;
}

} // namespace pexumo
