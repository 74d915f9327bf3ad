#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace pexumo::test {

/// A meter script: time for the window to connect first, then one live reading of every route,
/// each given a second to be sampled (ample even under a sanitizer on a busy machine), then a
/// download of three records and a halt.
extern const char kEveryRouteThenDownload[];

/// The built pexumo-meter-sim as a child process that plays a meter into a pseudo-terminal.
/// Started with --pty, it prints the terminal's path as its first line; start() reads it.
/// The destructor kills a simulator that is still running.
class MeterSim
{
public:
    MeterSim() = default;
    ~MeterSim();
    MeterSim(const MeterSim&) = delete;
    MeterSim& operator=(const MeterSim&) = delete;

    /// Path of the built simulator.
    static QString program();
    /// False when the simulator was not built (the test should skip).
    static bool isBuilt();

    /// Starts the simulator with \a args (--pty among them) and waits up to \a timeoutMs for
    /// the terminal's path; false, with errorString(), when it does not come.
    bool start(const QStringList& args, int timeoutMs = 5000);
    /// Writes \a script to \a scriptPath and starts the simulator on it behind a terminal, with
    /// \a more arguments (faults).
    bool startScript(const QString& scriptPath, const QByteArray& script,
                     const QStringList& more = {});

    /// Path of the terminal the simulator serves, such as "/dev/pts/3".
    QString portPath() const { return m_portPath; }
    QString errorString() const { return m_error; }
    /// The process itself, for what it prints later (a plug back in prints a new path).
    QProcess& process() { return m_process; }

    /// Asks the simulator to end, so that it removes its link; false when it does not.
    bool stop();
    /// Ends the simulator at once.
    void kill();

private:
    QProcess m_process;
    QString m_portPath;
    QString m_error;
};

} // namespace pexumo::test
