// pexumo-journal: lists the runs kept in Pexumo's journal and writes any list of any run to a
// text file, byte for byte as the program's own "SaveResult" writes it.
//
//   pexumo-journal [--journal FILE] list
//   pexumo-journal [--journal FILE] export [--csv] SESSION LIST [OUTPUT]
//   pexumo-journal [--journal FILE] alarms SESSION
//   pexumo-journal [--journal FILE] prune --older-than DAYS [--session N] [--force]
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
//   CLEAR-RESULT  CAUSE
// with SIDE "below", "above" or "silent" (no reading), numbers always with "." and the alarm
// command's results empty where none ran; CAUSE, of a no-reading alarm, is "silent", "lost" or
// "unopened" (the latest while it was up), empty for the other alarms and where the journal did
// not keep it. "prune" removes the closed sessions that ended more
// than DAYS days ago (only session N with --session), one line for each session it removes or
// keeps: it never touches a session still being written, and keeps a session with rows that
// were neither saved to a file nor acknowledged by the MQTT broker unless --force is given. The
// file is then compacted (VACUUM), unless a program is writing the journal.
// Exit status 0; 2 for wrong arguments or a missing journal, session or list; 1 when the
// journal cannot be read or the output cannot be written, or prune kept the session N it was
// given.

#include "alarm/alarmmonitor.h"
#include "alarm/alarmsettings.h"
#include "base/commandline.h"
#include "base/config.h"
#include "base/numberformat.h"
#include "journal/journalexport.h"
#include "journal/journalfile.h"
#include "journal/journalprune.h"
#include "journal/journalreader.h"
#include "results/listid.h"
#include "results/textexport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <map>

using namespace pexumo;

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
/// The most days --older-than takes: some 270 years, as far as JournalKeepDays goes.
constexpr qint64 MaxPruneDays = 100000;

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
                                 alarmSideWord(a.side),
                                 p ? alarmLimitText(*p, a.limit, Dot) : FormatNumber(a.limit, Dot),
                                 p ? alarmValueText(*p, a.worst, Dot) : FormatNumber(a.worst, Dot),
                                 a.unit(),
                                 a.raiseResult,
                                 a.clearResult,
                                 a.cause ? noReadingCauseWord(*a.cause) : QString()};
        out += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return writeStdout(out) ? 0 : fail(ExitFailed, QStringLiteral("cannot write the output"));
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

    const QByteArray bytes = exportSessionList(reader, session->id, *list, format, &error);
    if (!error.isEmpty())
        return fail(ExitFailed, error);
    if (args.size() < 4)
        return writeStdout(bytes) ? 0 : fail(ExitFailed, QStringLiteral("cannot write the output"));
    const WriteResult written = writeFileAtomically(args[3], bytes);
    return written.ok ? 0 : fail(ExitFailed, written.error);
}

/// What prune is asked to do.
struct PruneRequest
{
    qint64 days = 0;
    std::optional<qint64> session;
    bool force = false;
};

/// "pexumo-logger, 2026-05-01 10:00:00 to 2026-05-31 10:00:00, 120 rows", or for a session
/// that did not close "pexumo-logger, from 2026-05-01 10:00:00, did not close, 120 rows".
QString sessionText(const OldSession& s)
{
    const QString when =
        s.ended ? QStringLiteral("%1 to %2").arg(timeText(s.started), timeText(*s.ended))
                : QStringLiteral("from %1, did not close").arg(timeText(s.started));
    return QStringLiteral("%1, %2, %3 rows").arg(s.program, when).arg(s.rows);
}

/// Megabytes of 1024 x 1024 bytes, as df -m and MinFreeMB count them, with one decimal.
QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1) + QStringLiteral(" MB");
}

/// The size of the journal with its log: what the file system holds for it.
qint64 journalBytes(const QString& path)
{
    return QFileInfo(path).size() + QFileInfo(path + QLatin1String("-wal")).size();
}

int pruneSessions(const QString& path, const PruneRequest& request, QDateTime now)
{
    switch (inspectJournalFile(path)) {
    case JournalFileKind::New:
        return fail(ExitUsage,
                    QStringLiteral("no journal at %1").arg(QDir::toNativeSeparators(path)));
    case JournalFileKind::Foreign:
        return fail(ExitFailed, notAJournalReason(path));
    case JournalFileKind::Unreadable:
        return fail(ExitFailed,
                    QStringLiteral("cannot open %1").arg(QDir::toNativeSeparators(path)));
    case JournalFileKind::Ours:
    case JournalFileKind::Unmarked:
        break;
    }
    if (const QString refused = rootMustNotOpen(path, QLatin1StringView("prune"));
        !refused.isEmpty())
        return fail(ExitFailed, refused);

    const QString connection = QStringLiteral("pexumo-journal-prune");
    int status = 0;
    {
        const JournalError opened = openJournalConnection(connection, path, false);
        if (!opened.reason.isEmpty())
            return fail(ExitFailed, opened.reason);
        const QSqlDatabase db = QSqlDatabase::database(connection, false);
        const qint64 sizeBefore = journalBytes(path);
        const qint64 cutoff = now.toMSecsSinceEpoch() - request.days * 24 * 3600 * 1000;
        QString error;
        const std::vector<OldSession> old = findOldSessions(db, cutoff, request.session, &error);
        if (!error.isEmpty())
            return fail(ExitFailed, error);

        // One line per session, in the order of the sessions, once the removal is done.
        std::map<qint64, QString> lines;
        if (request.session && old.empty()) {
            JournalReader reader;
            const bool known = reader.open(path).isEmpty() && reader.session(*request.session);
            if (!known)
                return fail(ExitUsage,
                            QStringLiteral("no session %1 in the journal").arg(*request.session));
            lines[*request.session] = QStringLiteral("kept session %1: it ended less than %2 "
                                                     "days ago")
                                          .arg(*request.session)
                                          .arg(request.days);
            status = ExitFailed;
        }
        std::vector<qint64> remove;
        int kept = 0;
        for (const OldSession& s : old) {
            const QString head = QStringLiteral("session %1 (%2)").arg(s.id).arg(sessionText(s));
            if (s.running) {
                lines[s.id] = QStringLiteral("kept %1: still being written by process %2 on %3")
                                  .arg(head)
                                  .arg(s.writer.pid)
                                  .arg(s.writer.host);
                ++kept;
            } else if ((s.unkept > 0 || s.unsentAlarms > 0) && !request.force) {
                QStringList unsent;
                if (s.unkept > 0)
                    unsent << QStringLiteral("%1 rows were never saved or published").arg(s.unkept);
                if (s.unsentAlarms == 1)
                    unsent << QStringLiteral("1 alarm event was never published");
                else if (s.unsentAlarms > 1)
                    unsent << QStringLiteral("%1 alarm events were never published")
                                  .arg(s.unsentAlarms);
                lines[s.id] = QStringLiteral("kept %1: %2; --force removes them")
                                  .arg(head, unsent.join(QStringLiteral(", ")));
                ++kept;
            } else {
                remove.push_back(s.id);
                lines[s.id] = QStringLiteral("removed ") + head;
            }
        }
        if (request.session && kept > 0)
            status = ExitFailed;
        if (const QString reason = removeSessions(db, remove); !reason.isEmpty())
            return fail(ExitFailed, reason);
        QByteArray out;
        for (const auto& [id, line] : lines)
            out += line.toUtf8() + '\n';
        QString summary =
            QStringLiteral("sessions removed: %1, kept: %2").arg(remove.size()).arg(kept);
        if (!remove.empty()) {
            // Copying the whole file would hold every writer off for as long as it takes.
            if (journalBeingWritten(db, &error)) {
                summary += QStringLiteral("; the file keeps its size while a program writes the "
                                          "journal, and new rows reuse the space");
            } else {
                // In WAL mode the copy goes through the log: the checkpoint brings it home
                // and empties the log.
                QSqlQuery vacuum(db);
                if (!vacuum.exec(QStringLiteral("VACUUM")) ||
                    !vacuum.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")))
                    summary += QStringLiteral("; the file could not be compacted: %1")
                                   .arg(journalError(vacuum.lastError(), path).reason);
                else
                    summary += QStringLiteral("; the file shrank from %1 to %2")
                                   .arg(megabytes(sizeBefore), megabytes(journalBytes(path)));
            }
        }
        out += summary.toUtf8() + '\n';
        if (!writeStdout(out))
            status = fail(ExitFailed, QStringLiteral("cannot write the output"));
    }
    QSqlDatabase::removeDatabase(connection);
    return status;
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
        "                                 clear, and why no reading came (silent,\n"
        "                                 lost, unopened)\n"
        "  prune --older-than DAYS        removes the closed sessions that\n"
        "        [--session N] [--force]  ended more than DAYS days ago (only\n"
        "                                 session N); a session with rows\n"
        "                                 never saved or published only with\n"
        "                                 --force"));
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
    const QCommandLineOption olderOption(
        QStringLiteral("older-than"),
        QStringLiteral("prune: the sessions that ended more than DAYS days ago."),
        QStringLiteral("DAYS"));
    parser.addOption(olderOption);
    const QCommandLineOption sessionOption(
        QStringLiteral("session"), QStringLiteral("prune: only session N."), QStringLiteral("N"));
    parser.addOption(sessionOption);
    const QCommandLineOption forceOption(
        QStringLiteral("force"),
        QStringLiteral("prune: also the sessions with rows never saved or published."));
    parser.addOption(forceOption);
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, export, alarms or prune"));
    if (const auto status = readCommandLine(parser, QCoreApplication::arguments(), 4))
        return *status;

    const QStringList args = parser.positionalArguments();
    const bool isList = !args.isEmpty() && args[0] == QLatin1String("list") && args.size() == 1;
    const bool isExport = !args.isEmpty() && args[0] == QLatin1String("export") &&
                          (args.size() == 3 || args.size() == 4);
    const bool isAlarms = !args.isEmpty() && args[0] == QLatin1String("alarms") && args.size() == 2;
    const bool isPrune = !args.isEmpty() && args[0] == QLatin1String("prune") && args.size() == 1 &&
                         parser.isSet(olderOption);
    const bool pruneOptions =
        parser.isSet(olderOption) || parser.isSet(sessionOption) || parser.isSet(forceOption);
    if ((!isList && !isExport && !isAlarms && !isPrune) || (pruneOptions && !isPrune))
        return fail(ExitUsage, QStringLiteral("usage: pexumo-journal [--journal FILE] list | "
                                              "export [--csv] SESSION LIST [OUTPUT] | "
                                              "alarms SESSION | "
                                              "prune --older-than DAYS [--session N] [--force]"));
    PruneRequest prune;
    if (isPrune) {
        const std::optional<qint64> days = parseWholeNumber(parser.value(olderOption));
        if (!days || *days < 0 || *days > MaxPruneDays)
            return fail(ExitUsage, QStringLiteral("--older-than takes a whole number of days, 0 "
                                                  "to %1: %2")
                                       .arg(MaxPruneDays)
                                       .arg(parser.value(olderOption)));
        prune.days = *days;
        if (parser.isSet(sessionOption)) {
            bool ok = false;
            prune.session = parser.value(sessionOption).toLongLong(&ok);
            if (!ok || *prune.session <= 0)
                return fail(ExitUsage, QStringLiteral("--session takes a session number: %1")
                                           .arg(parser.value(sessionOption)));
        }
        prune.force = parser.isSet(forceOption);
    }

    // config.ini of the working directory, as the program reads it: where the journal is, and
    // whether numbers are written with a decimal comma.
    const QString configPath = defaultConfigPath();
    const AppConfig config = readConfig(configPath);
    NumberFormat::setCurrent(config.changeDecimal ? NumberFormat{u',', u'.'}
                                                  : NumberFormat::regional());
    QString path = parser.value(journalOption);
    if (path.isEmpty())
        path = journalPathOf(config, configPath);
    if (isPrune)
        return pruneSessions(path, prune, QDateTime::currentDateTime());
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
