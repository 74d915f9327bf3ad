#include "alarm/alarmcommand.h"

#include <QDateTime>
#include <QProcess>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace pexumo {

namespace {

constexpr NumberFormat Dot{u'.', u','};
// The one-line report quotes no more of the output than this.
constexpr qsizetype MaxLineBytes = 300;

bool isBlank(const QByteArray& bytes)
{
    return bytes.trimmed().isEmpty();
}

// Ends the command and whatever it started: it leads a process group of its own (see
// startNext), so a mail program it left behind goes with it.
void killGroup(QProcess& process)
{
    const qint64 pid = process.processId();
    if (pid > 0)
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
    process.kill();
}

} // namespace

QStringList alarmCommandArguments(const AlarmEvent& event)
{
    const ActiveAlarm& a = event.alarm;
    const QString value =
        a.parameter ? alarmValueText(*a.parameter, a.value, Dot) : FormatNumber(a.value, Dot);
    const QString limit =
        a.parameter ? alarmLimitText(*a.parameter, a.limit, Dot) : FormatNumber(a.limit, Dot);
    const QString time =
        QDateTime::fromMSecsSinceEpoch(event.atMs, Qt::OffsetFromUTC, event.utcOffsetSec)
            .toString(Qt::ISODate);
    QStringList arguments{
        event.change == AlarmChange::Raise ? QStringLiteral("raise") : QStringLiteral("clear"),
        a.name(),
        value,
        a.unit(),
        limit,
        time};
    if (a.side == AlarmSide::NoReading && a.cause)
        arguments << noReadingCauseWord(*a.cause);
    return arguments;
}

AlarmCommand::AlarmCommand(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_process) {
            m_timedOut = true;
            killGroup(*m_process);
        }
    });
}

AlarmCommand::~AlarmCommand()
{
    if (m_process) {
        // No report from a half-destroyed object: the process ends unheard.
        m_process->disconnect(this);
        killGroup(*m_process);
        m_process->waitForFinished(1000);
    }
}

void AlarmCommand::setCommandLine(const QString& commandLine)
{
    m_commandLine = QProcess::splitCommand(commandLine);
}

void AlarmCommand::setTimeout(std::chrono::milliseconds timeout)
{
    m_timeout = timeout;
}

bool AlarmCommand::idle() const
{
    return !m_process && m_queue.empty();
}

void AlarmCommand::run(const AlarmEvent& event)
{
    if (m_commandLine.isEmpty())
        return;
    if (m_queue.size() >= std::size_t(MaxQueued)) {
        const QString result =
            QStringLiteral("alarm command not run: %1 runs are waiting").arg(MaxQueued);
        QMetaObject::invokeMethod(
            this, [this, event, result] { report(event, result, false); }, Qt::QueuedConnection);
        return;
    }
    m_queue.push_back({m_commandLine + alarmCommandArguments(event), event});
    // Started from the event loop, so that not even the fork happens in the caller's call.
    QMetaObject::invokeMethod(this, &AlarmCommand::startNext, Qt::QueuedConnection);
}

void AlarmCommand::startNext()
{
    if (m_process || m_queue.empty())
        return;
    QStringList arguments = std::move(m_queue.front().arguments);
    m_running = m_queue.front().event;
    m_queue.pop_front();
    const QString program = arguments.takeFirst();

    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    // A process group of its own, led by the command: ending the group at the time limit ends
    // what the command started too (a mail program waiting for its server). Only async-signal-
    // safe calls here: this runs in the child between fork and exec.
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
    m_firstLine.clear();
    m_lineComplete = false;
    m_timedOut = false;
    connect(m_process, &QProcess::readyReadStandardOutput, this, &AlarmCommand::readOutput);
    connect(m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                processEnded(exitCode, status == QProcess::CrashExit);
            });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            processFailed();
    });
    m_timer.start(m_timeout);
    m_process->start(program, arguments); // may report a failure before it returns
}

void AlarmCommand::readOutput()
{
    if (!m_process)
        return;
    const QByteArray chunk = m_process->readAllStandardOutput();
    for (char c : chunk) {
        if (m_lineComplete)
            return;
        if (c == '\n') {
            // The first line that says something; blank lines before it are passed over.
            if (isBlank(m_firstLine))
                m_firstLine.clear();
            else
                m_lineComplete = true;
        } else if (m_firstLine.size() < MaxLineBytes) {
            m_firstLine += c;
        }
    }
}

void AlarmCommand::processEnded(int exitCode, bool crashed)
{
    m_timer.stop();
    readOutput();
    const QString line = QString::fromLocal8Bit(m_firstLine).simplified();
    const QString tail = line.isEmpty() ? QString() : QStringLiteral(": ") + line;
    m_process->deleteLater();
    m_process = nullptr;
    if (m_timedOut)
        report(m_running,
               QStringLiteral("alarm command timed out after %1 s")
                   .arg(FormatNumber(double(m_timeout.count()) / 1000.0, Dot)),
               false);
    else if (crashed)
        report(m_running, QStringLiteral("alarm command failed: ended by a signal") + tail, false);
    else if (exitCode == 0)
        report(m_running, QStringLiteral("alarm command: exit 0") + tail, true);
    else
        report(m_running, QStringLiteral("alarm command failed: exit %1").arg(exitCode) + tail,
               false);
    QMetaObject::invokeMethod(this, &AlarmCommand::startNext, Qt::QueuedConnection);
}

void AlarmCommand::processFailed()
{
    m_timer.stop();
    const QString result = QStringLiteral("alarm command could not start: %1: %2")
                               .arg(m_process->program(), m_process->errorString());
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
    report(m_running, result, false);
    QMetaObject::invokeMethod(this, &AlarmCommand::startNext, Qt::QueuedConnection);
}

void AlarmCommand::report(const AlarmEvent& event, const QString& result, bool success)
{
    emit eventFinished(event, result, success);
    emit finished(result, success);
}

} // namespace pexumo
