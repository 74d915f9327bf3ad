#pragma once

// Header only: the tool tests link Qt Core and GoogleTest, not the widget support library.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace pexumo::test {

/// What a program that was run to its end left behind.
struct ProgramRun
{
    int exitCode = -1; ///< -1 when it did not start, crashed or ran longer than 30 s
    QByteArray out;
    QByteArray err;
};

/// Runs \a program with \a args in \a process, which the caller has set up (environment,
/// working folder): \a input goes to its standard input, which is then closed, and the program
/// gets 30 s to end; one that takes longer is killed.
inline ProgramRun runProgram(QProcess& process, const QString& program, const QStringList& args,
                             const QByteArray& input = {})
{
    process.start(program, args);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(30000);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    ProgramRun run;
    if (ended && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

/// Runs \a program as runProgram() above does, in this program's environment and folder.
inline ProgramRun runProgram(const QString& program, const QStringList& args,
                             const QByteArray& input = {})
{
    QProcess process;
    return runProgram(process, program, args, input);
}

} // namespace pexumo::test
