// pexumo-journal: lists the runs kept in Pexumo's journal and writes any list of any run to a
// text file, byte for byte as the program's own "SaveResult" writes it.
//
//   pexumo-journal [--journal FILE] list
//   pexumo-journal [--journal FILE] export [--csv] SESSION LIST [OUTPUT]
//   pexumo-journal [--journal FILE] alarms SESSION
//
// The journal is the one Pexumo uses: "JournalFile" of config.ini in the working directory, or
// journal.sqlite in the user's data folder. It is opened read-only, so this works while Pexumo
// runs. "list" prints one session per line, fields separated by one tab:
//   ID  START  END-or-"did not close"  pH=ROWS/UNSAVED  ORP=...  COND=...  TDS=...  Salt=...
//   DO=...  O2=...  Records=...  PROGRAM
// with times as "yyyy-MM-dd hh:mm:ss" in the local time of that run, and the program that wrote
// the session last ("pexumo", or "pexumo-logger" whose rows live in the journal only). "export"
// writes to OUTPUT as given (no ".txt" is added), or to standard output without it. With --csv it
// writes the program's CSV layout instead, with ";" and "," when a decimal comma is in force
// ("ChangeDecimal" = 1 in config.ini of the working directory, or the regional settings), else
// "," and ".". "alarms" prints the alarms of a session in the order they rose, one per line,
// fields separated by one tab:
//   RAISED  CLEARED-or-"not cleared"  PARAMETER  SIDE  LIMIT  WORST  UNIT  RAISE-RESULT
//   CLEAR-RESULT
// with SIDE "below", "above" or "silent" (no reading), numbers always with "." and the alarm
// command's results empty where none ran.
// Exit status 0; 2 for wrong arguments or a missing journal, session or list; 1 when the
// journal cannot be read or the output cannot be written.

#include "alarm/alarmsettings.h"
#include "base/commandline.h"
#include "base/config.h"
#include "base/numberformat.h"
#include "journal/journalfile.h"
#include "journal/journalreader.h"
#include "results/csvexport.h"
#include "results/listid.h"
#include "results/resultlistmodel.h"
#include "results/textexport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

using namespace pexumo;

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

/// The file layouts export can write: those of the program's own save.
enum class ExportFormat
{
    Text,
    Csv
};

int fail(int status, const QString& message)
{
    std::fprintf(stderr, "pexumo-journal: %s\n", qUtf8Printable(message));
    return status;
}

bool writeStdout(const QByteArray& bytes)
{
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout) ==
               static_cast<std::size_t>(bytes.size()) &&
           std::fflush(stdout) == 0;
}

QString timeText(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

int listSessions(const JournalReader& reader)
{
    QString error;
    const std::vector<JournalSession> sessions = reader.sessions(&error);
    if (!error.isEmpty())
        return fail(ExitFailed, error);
    QByteArray out;
    for (const JournalSession& s : sessions) {
        QStringList fields{QString::number(s.id), timeText(s.started),
                           s.ended ? timeText(*s.ended) : QStringLiteral("did not close")};
        for (ListId list : AllLists)
            fields << QStringLiteral("%1=%2/%3")
                          .arg(listName(list))
                          .arg(s.rows[indexOf(list)])
                          .arg(s.unsaved(list));
        fields << s.program;
        out += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return writeStdout(out) ? 0 : fail(ExitFailed, QStringLiteral("cannot write the output"));
}

std::optional<JournalSession> findSession(const JournalReader& reader, const QString& id,
                                          QString& error)
{
    bool ok = false;
    const qint64 number = id.toLongLong(&ok);
    return ok ? reader.session(number, &error) : std::nullopt;
}

QString sideText(AlarmSide side)
{
    switch (side) {
    case AlarmSide::Below:
        return QStringLiteral("below");
    case AlarmSide::Above:
        return QStringLiteral("above");
    case AlarmSide::NoReading:
        break;
    }
    return QStringLiteral("silent");
}

int listAlarms(const JournalReader& reader, const QStringList& args)
{
    QString error;
    const std::optional<JournalSession> session = findSession(reader, args[1], error);
    if (!error.isEmpty())
        return fail(ExitFailed, error);
    if (!session)
        return fail(ExitUsage, QStringLiteral("no session %1 in the journal").arg(args[1]));
    const std::vector<JournalAlarm> alarms = reader.alarms(session->id, &error);
    if (!error.isEmpty())
        return fail(ExitFailed, error);
    // Numbers for scripts: "." whatever the regional settings, as the alarm command gets them.
    constexpr NumberFormat Dot{u'.', u','};
    QByteArray out;
    for (const JournalAlarm& a : alarms) {
        const std::optional<AlarmParameter> p = alarmParameterFromName(a.parameter);
        const QStringList fields{timeText(a.raised),
                                 a.cleared ? timeText(*a.cleared) : QStringLiteral("not cleared"),
                                 a.parameter,
                                 sideText(a.side),
                                 p ? alarmLimitText(*p, a.limit, Dot) : FormatNumber(a.limit, Dot),
                                 p ? alarmValueText(*p, a.worst, Dot) : FormatNumber(a.worst, Dot),
                                 a.unit(),
                                 a.raiseResult,
                                 a.clearResult};
        out += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return writeStdout(out) ? 0 : fail(ExitFailed, QStringLiteral("cannot write the output"));
}

QByteArray render(const ResultListModel& model, ExportFormat format)
{
    switch (format) {
    case ExportFormat::Csv:
        return exportCsvBytes(model);
    case ExportFormat::Text:
        break;
    }
    return exportBytes(model);
}

int exportList(const JournalReader& reader, const QStringList& args, ExportFormat format)
{
    QString error;
    const std::optional<JournalSession> session = findSession(reader, args[1], error);
    if (!error.isEmpty())
        return fail(ExitFailed, error);
    if (!session)
        return fail(ExitUsage, QStringLiteral("no session %1 in the journal").arg(args[1]));
    const std::optional<ListId> list = listFromName(args[2]);
    if (!list)
        return fail(ExitUsage,
                    QStringLiteral("no list %1 (pH, ORP, COND, TDS, Salt, DO, O2 or Records)")
                        .arg(args[2]));

    ResultListModel model(listKind(*list));
    error = reader
                .forEachRow(session->id, *list,
                            [&](ListId, const ResultRecord& record) { model.add(record); })
                .error;
    if (!error.isEmpty())
        return fail(ExitFailed, error);
    const QByteArray bytes = render(model, format);
    if (args.size() < 4)
        return writeStdout(bytes) ? 0 : fail(ExitFailed, QStringLiteral("cannot write the output"));
    const WriteResult written = writeFileAtomically(args[3], bytes);
    return written.ok ? 0 : fail(ExitFailed, written.error);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pexumo")); // the journal's folder
    QCoreApplication::setApplicationVersion(QStringLiteral(PEXUMO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the runs in Pexumo's journal and exports their lists.\n\n"
        "  list                           one line per session: id, start, end or\n"
        "                                 \"did not close\", LIST=rows/unsaved, and\n"
        "                                 the program: pexumo or pexumo-logger\n"
        "  export SESSION LIST [OUTPUT]   a list as the program saves it; LIST is\n"
        "                                 pH, ORP, COND, TDS, Salt, DO, O2 or Records\n"
        "  alarms SESSION                 one line per alarm of the session, in the\n"
        "                                 order they rose: raised, cleared or \"not\n"
        "                                 cleared\", parameter, side (below, above,\n"
        "                                 silent), limit, worst value, unit, the alarm\n"
        "                                 command's result for the rise and for the\n"
        "                                 clear"));
    const QCommandLineOption journalOption(
        QStringLiteral("journal"),
        QStringLiteral("The journal file (default: JournalFile of ./config.ini, else the "
                       "user's journal)."),
        QStringLiteral("FILE"));
    parser.addOption(journalOption);
    const QCommandLineOption csvOption(
        QStringLiteral("csv"),
        QStringLiteral("export writes the CSV layout of the program's save instead of the text "
                       "file."));
    parser.addOption(csvOption);
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, export or alarms"));
    if (const auto status = readCommandLine(parser, QCoreApplication::arguments(), 4))
        return *status;

    const QStringList args = parser.positionalArguments();
    const bool isList = !args.isEmpty() && args[0] == QLatin1String("list") && args.size() == 1;
    const bool isExport = !args.isEmpty() && args[0] == QLatin1String("export") &&
                          (args.size() == 3 || args.size() == 4);
    const bool isAlarms = !args.isEmpty() && args[0] == QLatin1String("alarms") && args.size() == 2;
    if (!isList && !isExport && !isAlarms)
        return fail(ExitUsage, QStringLiteral("usage: pexumo-journal [--journal FILE] list | "
                                              "export [--csv] SESSION LIST [OUTPUT] | "
                                              "alarms SESSION"));

    // config.ini of the working directory, as the program reads it: where the journal is, and
    // whether numbers are written with a decimal comma.
    const QString configPath = defaultConfigPath();
    const AppConfig config = readConfig(configPath);
    NumberFormat::setCurrent(config.changeDecimal ? NumberFormat{u',', u'.'}
                                                  : NumberFormat::regional());
    QString path = parser.value(journalOption);
    if (path.isEmpty())
        path = journalPathOf(config, configPath);
    JournalReader reader;
    const QString error = reader.open(path);
    if (!error.isEmpty())
        return fail(QFileInfo::exists(path) ? ExitFailed : ExitUsage, error);
    if (isList)
        return listSessions(reader);
    if (isAlarms)
        return listAlarms(reader, args);
    return exportList(reader, args,
                      parser.isSet(csvOption) ? ExportFormat::Csv : ExportFormat::Text);
}
