#include "base/commandline.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace pexumo {

namespace {

/// The name the program was started by, as messages and --version give it ("pexumo"), whatever
/// the application's name (the window program's is "Pexumo", its X11 window class).
QString commandName()
{
    const QStringList arguments = QCoreApplication::arguments();
    return arguments.isEmpty() ? QCoreApplication::applicationName()
                               : QFileInfo(arguments.constFirst()).fileName();
}

int printToStdout(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()),
                                     stdout) == static_cast<std::size_t>(bytes.size());
    if (!written || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "%s: cannot write to standard output\n", qPrintable(commandName()));
        return 1;
    }
    return 0;
}

int reportError(const QString& message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(commandName()), qPrintable(message));
    return 2;
}

} // namespace

std::optional<int> readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                   qsizetype maxPositional)
{
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(arguments))
        return reportError(parser.errorText());
    // --help wins over --version and over any other mistake on the same line. --help-all, which
    // a GUI program also offers, lists Qt's own options too: only Qt's printer knows them.
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(arguments);
    if (parser.isSet(help))
        return printToStdout(parser.helpText());
    if (parser.isSet(version)) {
        return printToStdout(commandName() + u' ' + QCoreApplication::applicationVersion() + u'\n');
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > maxPositional)
        return reportError(
            QStringLiteral("Unexpected argument '%1'.").arg(positional.at(maxPositional)));
    return std::nullopt;
}

} // namespace pexumo
