#include "base/commandline.h"

#include <QCoreApplication>

#include <cstdio>

namespace pexumo {

namespace {

int printToStdout(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()),
                                     stdout) == static_cast<std::size_t>(bytes.size());
    if (!written || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "%s: cannot write to standard output\n",
                     qPrintable(QCoreApplication::applicationName()));
        return 1;
    }
    return 0;
}

int reportError(const QString& message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
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
        return printToStdout(QCoreApplication::applicationName() + u' ' +
                             QCoreApplication::applicationVersion() + u'\n');
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > maxPositional)
        return reportError(
            QStringLiteral("Unexpected argument '%1'.").arg(positional.at(maxPositional)));
    return std::nullopt;
}

} // namespace pexumo
