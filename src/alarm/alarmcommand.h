#pragma once

#include "alarm/alarmmonitor.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <deque>

class QProcess;

namespace pexumo {

/// The arguments the alarm command gets for \a event, always with "." as the decimal point:
///
///     raise|clear PARAMETER VALUE UNIT LIMIT TIME
///     raise DO 3.10 mg/L 4.0 2026-12-09T02:13:07+01:00
///     clear NoReading 75 s 60 2026-12-09T02:14:22+01:00
///
/// PARAMETER is a settings key name or "NoReading"; VALUE and LIMIT are in UNIT as in
/// alarmValueText() and alarmLimitText(); TIME is the event's local time in ISO 8601 with its
/// offset from UTC (or "Z").
QStringList alarmCommandArguments(const AlarmEvent& event);

/// Runs the alarm command (the "Command" setting) for every rise and clear, one after another in
/// the order of the events, without a shell and without ever making the caller wait. Each run
/// gets \a timeout (30 s) before it is killed; its end is reported in one line by finished():
///
///     alarm command: exit 0: mail sent            (status 0; first line of its output)
///     alarm command failed: exit 3: no route to host
///     alarm command failed: ended by a signal
///     alarm command timed out after 30 s
///     alarm command could not start: /usr/local/bin/pond-alarm: execve: No such file or directory
///
/// The output is standard output and standard error together; standard input is empty. At
/// most MaxQueued runs wait; an event beyond that is reported and not run. Runs still queued
/// when the object is destroyed are dropped, and a running one is killed.
class AlarmCommand : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultTimeout{30000};
    static constexpr int MaxQueued = 64;

    explicit AlarmCommand(QObject* parent = nullptr);
    ~AlarmCommand() override;

    /// The command line, split as QProcess::splitCommand() does (at blanks; double quotes, not
    /// single ones, keep blanks in an argument): the program, then arguments that come before
    /// the event's. Empty for none. Runs already queued keep their command.
    void setCommandLine(const QString& commandLine);
    void setTimeout(std::chrono::milliseconds timeout);

    /// Queues a run for \a event; nothing when no command is set.
    void run(const AlarmEvent& event);

    /// True when nothing runs and nothing waits.
    bool idle() const;

signals:
    /// One run ended; \a success only for exit status 0.
    void finished(const QString& result, bool success);
    /// The same, with the event the run was for; emitted just before finished().
    void eventFinished(const pexumo::AlarmEvent& event, const QString& result, bool success);

private:
    void startNext();
    void readOutput();
    void processEnded(int exitCode, bool crashed);
    void processFailed();
    void report(const AlarmEvent& event, const QString& result, bool success);

    struct Run
    {
        QStringList arguments; ///< the program and all its arguments
        AlarmEvent event;
    };

    QStringList m_commandLine;
    std::chrono::milliseconds m_timeout = DefaultTimeout;
    std::deque<Run> m_queue;
    QProcess* m_process = nullptr; ///< the running one; owned by this object
    AlarmEvent m_running;          ///< the event of the running one
    QTimer m_timer;
    QByteArray m_firstLine; ///< the start of the output, up to its first line end
    bool m_lineComplete = false;
    bool m_timedOut = false;
};

} // namespace pexumo
