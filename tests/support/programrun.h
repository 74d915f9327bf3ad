#pragma once

// Header only: the tool tests link Qt Core and GoogleTest, not the widget support library.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
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

enum class Display
{
    None,
    Offscreen
};

/// This program's environment with HOME, XDG_RUNTIME_DIR and the XDG data, config, cache and
/// state folders (data/, config/, cache/, state/) all inside \a home, so that a program under
/// test never reads or writes the user's files; with Display::None it also gets no display.
inline QProcessEnvironment privateHome(const QString& home, Display display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (display == Display::Offscreen)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home); // must be 0700, as QTemporaryDir makes it
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/state"));
    return env;
}

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
