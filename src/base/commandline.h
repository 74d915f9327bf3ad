#pragma once

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

namespace pexumo {

/// Reads a program's command line the same way in every Pexumo program. \a parser carries the
/// program's own description, options and positional arguments; --help (-h) and --version (-v)
/// are added here, so that all programs word them alike. NAME is the file name the program was
/// started by, VERSION QCoreApplication's applicationVersion.
///
/// Returns the exit status when the program is to end at once:
/// - 0 after the help text, or "NAME VERSION" for --version, went to standard output;
/// - 2 after a wrong option, an option without its value or more than \a maxPositional
///   positional arguments, reported as one line "NAME: MESSAGE" on standard error;
/// - 1 when the help or the version could not be written (a closed or full standard output).
/// Returns nothing when the program is to go on with what \a parser has read.
std::optional<int> readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                   qsizetype maxPositional);

} // namespace pexumo
