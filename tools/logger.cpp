// pexumo-logger: the window's run without a display, for a small computer beside a pond or in a
// plant's cabinet, started by hand or as a service.
//
//   pexumo-logger [--port NAME] [--interval SECONDS] [--config FILE] [--journal FILE]
//                 [--settings FILE] [--demo] [--once]
//
// It samples the meter as the window does and writes every row to the journal (see Logger).
// Without options it reads the port, line settings and interval last chosen in the window
// (else "COM2" and 1 s), config.ini from the working directory, and the alarm limits from the
// user's own settings file. Status lines go to standard error. SIGTERM and SIGINT end it with
// the last rows committed and status 0.
// Exit status 0 after a stop by signal; 1 when the journal cannot be used, fails or keeps rows
// out, when a lost line is not waited for (AutoReconnect=0), or when the port does not open
// under --once; 2 for a wrong command line or Journal=0.

#include "app/logger.h"
#include "acquire/interval.h"
#include "app/stopsignals.h"
#include "base/commandline.h"
#include "base/version.h"
#include "link/portmemory.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using namespace pexumo;

namespace {

constexpr int ExitUsage = 2;

int usageError(const QString& message)
{
    std::fprintf(stderr, "pexumo-logger: %s\n", qUtf8Printable(message));
    return ExitUsage;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PEXUMO_VERSION));
    // Caught before anything else: a stop that comes while the journal opens is acted on as
    // soon as the run has started, never lost.
    StopSignals stopSignals;

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Samples a water-quality meter on a serial port without a display, as the "
                       "window does,\ninto Pexumo's journal. Ends with SIGTERM or SIGINT."));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("The meter's port, such as ttyUSB0 or /dev/ttyUSB0 (default: the port "
                       "last chosen in the window, else COM2)."),
        QStringLiteral("NAME"));
    const QCommandLineOption intervalOption(
        QStringLiteral("interval"),
        QStringLiteral("Seconds between samples, 1 to %1 (default: the interval last applied in "
                       "the window, else 1).")
            .arg(MaxIntervalSeconds),
        QStringLiteral("SECONDS"));
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("The configuration file (default: config.ini in the working directory)."),
        QStringLiteral("FILE"));
    const QCommandLineOption journalOption(
        QStringLiteral("journal"),
        QStringLiteral("The journal file (default: JournalFile of the configuration, else the "
                       "user's journal)."),
        QStringLiteral("FILE"));
    const QCommandLineOption settingsOption(
        QStringLiteral("settings"),
        QStringLiteral("The settings file to read the alarm limits from (default: the user's "
                       "own, ~/.config/Pexumo/Pexumo.conf)."),
        QStringLiteral("FILE"));
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        QStringLiteral("Reads the built-in demo meter."));
    const QCommandLineOption onceOption(
        QStringLiteral("once"),
        QStringLiteral("Ends with status 1 when the port does not open at the start, instead "
                       "of trying again every 5 seconds."));
    parser.addOptions({portOption, intervalOption, configOption, journalOption, settingsOption,
                       demoOption, onceOption});
    if (const auto status = readCommandLine(parser, QCoreApplication::arguments(), 0))
        return *status;

    LoggerSetup setup;
    if (parser.isSet(configOption))
        setup.station.configPath = parser.value(configOption);
    setup.station.journalPath = parser.value(journalOption);
    setup.alarmSettingsPath = parser.value(settingsOption);
    setup.once = parser.isSet(onceOption);
    // The port and interval the user last chose in the window, unless given here.
    setup.port = PortMemory::load();
    if (parser.isSet(portOption) && parser.isSet(demoOption))
        return usageError(QStringLiteral("--port and --demo exclude each other"));
    if (parser.isSet(portOption)) {
        setup.port.name = parser.value(portOption).trimmed();
        if (setup.port.name.isEmpty())
            return usageError(QStringLiteral("--port needs a port name"));
    }
    if (parser.isSet(demoOption))
        setup.port.name = kDemoPortName;
    setup.intervalSeconds = rememberedInterval();
    if (parser.isSet(intervalOption)) {
        const IntervalCheck check = checkInterval(parser.value(intervalOption));
        if (check.result != IntervalCheck::Result::Ok)
            return usageError(QStringLiteral("bad interval \"%1\": %2")
                                  .arg(parser.value(intervalOption), intervalMessage(check)));
        setup.intervalSeconds = check.seconds;
    }
    if (!stopSignals.errorString().isEmpty())
        writeStatusLine(Severity::Warning, stopSignals.errorString());

    Logger logger(setup);
    QObject::connect(&stopSignals, &StopSignals::received, &logger,
                     [&logger](const QString& name) { QCoreApplication::exit(logger.stop(name)); });
    QObject::connect(&logger, &Logger::finished, &app, &QCoreApplication::exit);
    if (const std::optional<int> status = logger.start())
        return *status;
    return QCoreApplication::exec();
}
