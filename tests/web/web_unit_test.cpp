// The parts of pexumo-web that need no socket: the gate's reading of request heads, the listen
// address, the login's lock-out, and the journal's views (the chart's reduction is the window's
// own, the site's alarm text is the window's bar's).
#include "journalfixture.h"
#include "web/httpgate.h"
#include "web/journalviews.h"
#include "web/seriescache.h"
#include "web/serieswarmer.h"
#include "web/journaldesk.h"
#include "web/webauth.h"
#include "web/webconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pexumo;
using namespace pexumo::test;

namespace {

TEST(HeadScanner, CountsHeadsAndSkipsBodiesAcrossAnySplit)
{
    struct Case
    {
        const char* name;
        QByteArray bytes;
        HeadScanner::Verdict verdict;
        qint64 requests;
    };
    const GateLimits limits; // 16 KiB heads, 16 KiB bodies
    const QByteArray get = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    const QByteArray post = "POST /login HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcde";
    const std::vector<Case> cases{
        {"one request", get, HeadScanner::Verdict::Fine, 1},
        {"two pipelined", get + get, HeadScanner::Verdict::Fine, 2},
        {"a body is not a head", post + get, HeadScanner::Verdict::Fine, 2},
        {"bare line feeds", "GET / HTTP/1.1\nHost: x\n\n", HeadScanner::Verdict::Fine, 1},
        {"head of 16384 bytes", "GET / HTTP/1.1\r\nX: " + QByteArray(16384 - 23, 'a') + "\r\n\r\n",
         HeadScanner::Verdict::Fine, 1},
        {"head of 16385 bytes", "GET / HTTP/1.1\r\nX: " + QByteArray(16385 - 23, 'a') + "\r\n\r\n",
         HeadScanner::Verdict::HeadTooLarge, 0},
        {"a head that never ends", QByteArray(20000, 'a'), HeadScanner::Verdict::HeadTooLarge, 0},
        {"body of 16384 bytes",
         "POST / HTTP/1.1\r\ncontent-length: 16384\r\n\r\n" + QByteArray(16384, 'b'),
         HeadScanner::Verdict::Fine, 1},
        {"body of 16385 bytes", "POST / HTTP/1.1\r\nContent-Length: 16385\r\n\r\n",
         HeadScanner::Verdict::BodyTooLarge, 0},
        {"chunked", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
         HeadScanner::Verdict::Malformed, 0},
        {"two lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
         HeadScanner::Verdict::Malformed, 0},
        {"negative length", "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
         HeadScanner::Verdict::Malformed, 0},
    };
    for (const Case& c : cases) {
        for (const qsizetype chunk : {qsizetype(1), qsizetype(7), c.bytes.size()}) {
            HeadScanner scanner(limits);
            HeadScanner::Verdict verdict = HeadScanner::Verdict::Fine;
            for (qsizetype at = 0; at < c.bytes.size() && verdict == HeadScanner::Verdict::Fine;
                 at += chunk)
                verdict = scanner.feed(
                    QByteArrayView(c.bytes).sliced(at, std::min(chunk, c.bytes.size() - at)));
            EXPECT_EQ(verdict, c.verdict) << c.name << ", chunks of " << chunk;
            EXPECT_EQ(scanner.requests(), c.requests) << c.name << ", chunks of " << chunk;
        }
    }
    HeadScanner half(limits);
    half.feed("GET / HTTP/1.1\r\n");
    EXPECT_TRUE(half.midRequest());
}

TEST(ListenAddress, ReadsAddressesAndNeverLooksUpANAme)
{
    struct Case
    {
        const char* text;
        const char* address; ///< "" when refused
        int port;
        bool loopback;
    };
    const std::vector<Case> cases{
        {"127.0.0.1:8080", "127.0.0.1", 8080, true},
        {"localhost:80", "127.0.0.1", 80, true},
        {"0.0.0.0:8080", "0.0.0.0", 8080, false},
        {"192.168.1.20:443", "192.168.1.20", 443, false},
        {"[::1]:8080", "::1", 8080, true},
        {"[::]:0", "::", 0, false},
        {"::1:8080", "", 0, false},
        {"[127.0.0.1]:80", "", 0, false},
        {"pond.local:8080", "", 0, false},
        {"127.0.0.1", "", 0, false},
        {"127.0.0.1:", "", 0, false},
        {"127.0.0.1:65536", "", 0, false},
        {"127.0.0.1:+80", "", 0, false},
        {":8080", "", 0, false},
    };
    for (const Case& c : cases) {
        const std::optional<ListenAddress> a = parseListenAddress(QString::fromLatin1(c.text));
        if (!*c.address) {
            EXPECT_FALSE(a) << c.text;
            continue;
        }
        ASSERT_TRUE(a) << c.text;
        EXPECT_EQ(a->address.toString(), QString::fromLatin1(c.address)) << c.text;
        EXPECT_EQ(a->port, c.port) << c.text;
        EXPECT_EQ(a->loopback(), c.loopback) << c.text;
    }
    EXPECT_EQ((ListenAddress{QHostAddress(QStringLiteral("::1")), 8080}).text(),
              QStringLiteral("[::1]:8080"));
}

TEST(WebAuth, FiveWrongPasswordsLockAnAddressOutForAMinute)
{
    qint64 now = 1'000'000;
    WebAuth auth(hashPassword("correct horse"), [&] { return now; });
    ASSERT_TRUE(auth.required());
    const QHostAddress guesser(QStringLiteral("192.168.1.50"));
    const QHostAddress other(QStringLiteral("192.168.1.51"));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(auth.login(guesser, "wrong", nullptr), WebAuth::Login::Refused) << i;
    EXPECT_EQ(auth.lockedForSeconds(guesser), 0);
    EXPECT_EQ(auth.login(guesser, "wrong", nullptr), WebAuth::Login::Refused);
    EXPECT_EQ(auth.lockedForSeconds(guesser), 60);
    QByteArray token;
    EXPECT_EQ(auth.login(guesser, "correct horse", &token), WebAuth::Login::LockedOut);
    EXPECT_TRUE(token.isEmpty());
    // Another address is not locked out.
    EXPECT_EQ(auth.login(other, "correct horse", &token), WebAuth::Login::Granted);
    EXPECT_EQ(token.size(), 64);
    now += 59'999;
    EXPECT_EQ(auth.lockedForSeconds(guesser), 1);
    EXPECT_EQ(auth.login(guesser, "correct horse", nullptr), WebAuth::Login::LockedOut);
    now += 1;
    EXPECT_EQ(auth.login(guesser, "correct horse", nullptr), WebAuth::Login::Granted);
    // A session is forgotten after 12 hours without a request, and at logout.
    EXPECT_TRUE(auth.valid(token));
    now += WebAuth::SessionIdleMs;
    EXPECT_TRUE(auth.valid(token));
    now += WebAuth::SessionIdleMs + 1;
    EXPECT_FALSE(auth.valid(token));
    QByteArray second;
    ASSERT_EQ(auth.login(other, "correct horse", &second), WebAuth::Login::Granted);
    auth.logout(second);
    EXPECT_FALSE(auth.valid(second));
    EXPECT_FALSE(auth.valid(""));
}

TEST(WebAuth, ChecksUnderWayCountAsWrongPasswordsUntilTheyEnd)
{
    qint64 now = 1'000'000;
    // The check itself runs elsewhere: finishLogin() is told what it found.
    WebAuth auth(QByteArray("$argon2id$kept"), [&] { return now; });
    const QHostAddress guesser(QStringLiteral("192.168.1.50"));
    const QHostAddress other(QStringLiteral("192.168.1.51"));
    const auto begin = [&](const QHostAddress& peer) {
        const std::variant<QByteArray, WebAuth::Login> begun = auth.beginLogin(peer);
        if (const QByteArray* hash = std::get_if<QByteArray>(&begun))
            return *hash == "$argon2id$kept" ? QStringLiteral("check") : QStringLiteral("bad hash");
        switch (std::get<WebAuth::Login>(begun)) {
        case WebAuth::Login::LockedOut:
            return QStringLiteral("locked out");
        case WebAuth::Login::Busy:
            return QStringLiteral("busy");
        default:
            return QStringLiteral("other");
        }
    };
    // Five guesses at once are checked; a sixth is not, while they are under way.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(begin(guesser), QStringLiteral("check")) << i;
    EXPECT_EQ(begin(guesser), QStringLiteral("busy"));
    EXPECT_EQ(begin(other), QStringLiteral("check"));
    EXPECT_EQ(auth.finishLogin(other, true, nullptr), WebAuth::Login::Granted);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(auth.finishLogin(guesser, false, nullptr), WebAuth::Login::Refused) << i;
        EXPECT_EQ(begin(guesser), QStringLiteral("busy")) << i;
    }
    EXPECT_EQ(auth.lockedForSeconds(guesser), 0);
    EXPECT_EQ(auth.finishLogin(guesser, false, nullptr), WebAuth::Login::Refused);
    EXPECT_EQ(auth.lockedForSeconds(guesser), 60);
    EXPECT_EQ(begin(guesser), QStringLiteral("locked out"));
    now += 60'000;
    // The right password forgives the wrong ones; the checks still under way still count.
    EXPECT_EQ(begin(guesser), QStringLiteral("check"));
    EXPECT_EQ(auth.finishLogin(guesser, false, nullptr), WebAuth::Login::Refused);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(begin(guesser), QStringLiteral("check")) << i;
    QByteArray token;
    EXPECT_EQ(auth.finishLogin(guesser, true, &token), WebAuth::Login::Granted);
    EXPECT_EQ(token.size(), 64);
    EXPECT_TRUE(auth.valid(token));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(begin(guesser), QStringLiteral("check")) << i;
    EXPECT_EQ(begin(guesser), QStringLiteral("busy"));
}

TEST(WebAuth, AtMostSixtyFourChecksAreUnderWayOverAllAddresses)
{
    WebAuth auth(QByteArray("$argon2id$kept"), [] { return qint64(1'000'000); });
    int checks = 0;
    for (int a = 1; a <= 13; ++a)
        for (int i = 0; i < 5; ++i)
            checks += std::holds_alternative<QByteArray>(
                auth.beginLogin(QHostAddress(QStringLiteral("10.0.0.%1").arg(a))));
    EXPECT_EQ(checks, 64);
    auth.finishLogin(QHostAddress(QStringLiteral("10.0.0.1")), false, nullptr);
    EXPECT_TRUE(std::holds_alternative<QByteArray>(
        auth.beginLogin(QHostAddress(QStringLiteral("10.0.0.14")))));
}

TEST(JournalViews, TheChartIsTheWindowsReductionWithAGapWhereTheMeterWasAway)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("j.sqlite"));
    // Ten rows a second apart (1.00 .. 10.00), 91 s away, ten more (20.00 .. 29.00).
    const qint64 session = writeSession(path, QStringLiteral("ttyUSB0"), 0, {}, [](Journal& j) {
        for (int i = 0; i < 10; ++i)
            j.add(ListId::PH, phRow(FixtureStartMs + 1000 * i, QStringLiteral("%1.00").arg(1 + i)));
        for (int i = 0; i < 10; ++i)
            j.add(ListId::PH,
                  phRow(FixtureStartMs + 100000 + 1000 * i, QStringLiteral("%1.00").arg(20 + i)));
    });
    JournalReader reader;
    ASSERT_EQ(reader.open(path), QString());
    SeriesCache cache;
    QString error;
    const JournalEntry entry{journalIdOf(path), path};
    const QJsonObject view = seriesView(cache, entry, reader, session, ListId::PH, FixtureStartMs,
                                        FixtureStartMs + 109000, 2, &error);
    EXPECT_EQ(error, QString());
    const auto numbers = [](const QJsonValue& v) {
        QStringList out;
        for (const QJsonValue x : v.toArray())
            out << (x.isNull() ? QStringLiteral("null") : QString::number(x.toDouble(), 'f', 0));
        return out.join(u' ');
    };
    const qint64 t0 = FixtureStartMs;
    EXPECT_EQ(numbers(view[QStringLiteral("x")]), QStringLiteral("%1 %2 %3 %4 %5")
                                                      .arg(t0)
                                                      .arg(t0 + 9000)
                                                      .arg(t0 + 54500)
                                                      .arg(t0 + 100000)
                                                      .arg(t0 + 109000));
    EXPECT_EQ(numbers(view[QStringLiteral("v")]), QStringLiteral("1 10 null 20 29"));
    EXPECT_EQ(numbers(view[QStringLiteral("lo")]), QStringLiteral("1 1 null 20 20"));
    EXPECT_EQ(numbers(view[QStringLiteral("hi")]), QStringLiteral("10 10 null 29 29"));
    EXPECT_EQ(view[QStringLiteral("unit")].toString(), QStringLiteral("pH"));
    EXPECT_EQ(view[QStringLiteral("samples")].toDouble(), 20);

    // Each sample its own column: the rows as they are; the row under a time is the nearest.
    const QJsonObject wide =
        seriesView(cache, entry, reader, session, ListId::PH, t0 + 2000, t0 + 4000, 3, &error);
    EXPECT_EQ(numbers(wide[QStringLiteral("v")]), QStringLiteral("2 3 4 5 6"));
    const QJsonObject row = rowView(cache, entry, reader, session, ListId::PH, t0 + 100400, &error);
    EXPECT_EQ(row[QStringLiteral("value")].toString(), QStringLiteral("20.00"));
    EXPECT_EQ(row[QStringLiteral("time")].toString(), QStringLiteral("10:01:40"));
    EXPECT_EQ(row[QStringLiteral("at")].toString(), QStringLiteral("2026-12-09T10:01:40+01:00"));
    EXPECT_EQ(cache.samples(), 20);
}

TEST(JournalViews, TheLineBreaksWhereTwoSamplesLieMoreThanThreeStepsApart)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("j.sqlite"));
    // A second apart up to 7 s, then 3 s (three steps: the line goes on), then 4 s (it breaks).
    const std::vector<qint64> at{0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 10000, 14000};
    const qint64 session = writeSession(path, QStringLiteral("ttyUSB0"), 0, {}, [&](Journal& j) {
        for (std::size_t i = 0; i < at.size(); ++i)
            j.add(ListId::PH, phRow(FixtureStartMs + at[i], QStringLiteral("%1.00").arg(i + 1)));
    });
    JournalReader reader;
    ASSERT_EQ(reader.open(path), QString());
    SeriesCache cache;
    QString error;
    const QJsonObject view =
        seriesView(cache, {journalIdOf(path), path}, reader, session, ListId::PH, FixtureStartMs,
                   FixtureStartMs + 14000, 15, &error);
    QStringList v;
    for (const QJsonValue x : view[QStringLiteral("v")].toArray())
        v << (x.isNull() ? QStringLiteral("null") : QString::number(x.toDouble()));
    EXPECT_EQ(v.join(u' '), QStringLiteral("1 2 3 4 5 6 7 8 9 null 10"));
}

namespace {

/// Opens \a journal at \a path as a logger's, its session begun at the fixture's start.
QString openFixtureLogger(Journal& journal, const QString& path)
{
    return journal.open(path, 30,
                        QDateTime::fromMSecsSinceEpoch(FixtureStartMs, Qt::OffsetFromUTC,
                                                       FixtureOffsetSec),
                        QString::fromLatin1(LoggerProgram));
}

/// A logger session on \a port begun \a startMs, with \a ph pH rows and \a cond COND rows
/// (us) a second apart; none of either when 0.
qint64 addSession(const QString& path, const QString& port, qint64 startMs, int ph, int cond)
{
    Journal journal;
    if (!journal.open(path, 30, QDateTime::fromMSecsSinceEpoch(startMs, Qt::OffsetFromUTC, 3600),
                      QString::fromLatin1(LoggerProgram))
             .isEmpty())
        return 0;
    journal.setPort(port);
    for (int i = 0; i < ph; ++i)
        journal.add(ListId::PH, phRow(startMs + 1000 * qint64(i), QStringLiteral("7.%1").arg(i)));
    for (int i = 0; i < cond; ++i) {
        ResultRecord r = phRow(startMs + 1000 * qint64(i), QStringLiteral("14%1").arg(i));
        r.Type = QStringLiteral("COND");
        r.Unit = QStringLiteral("us");
        journal.add(ListId::COND, r);
    }
    const qint64 session = journal.session();
    journal.close(true);
    return session;
}

QStringList targetTexts(const std::vector<WarmTarget>& targets)
{
    QStringList out;
    for (const WarmTarget& t : targets)
        out << QStringLiteral("%1 %2 %3").arg(t.session).arg(listName(t.list)).arg(t.rows);
    return out;
}

} // namespace

TEST(SeriesWarmer, ReadsTheNewestSessionOfEachPortAheadAsFarAsThereIsRoom)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("j.sqlite"));
    const qint64 hour = 3600000;
    ASSERT_EQ(addSession(path, QStringLiteral("ttyUSB0"), FixtureStartMs, 5, 0), 1);
    ASSERT_EQ(addSession(path, QStringLiteral("ttyUSB1"), FixtureStartMs + hour, 4, 0), 2);
    ASSERT_EQ(addSession(path, QStringLiteral("ttyUSB0"), FixtureStartMs + 2 * hour, 3, 2), 3);
    ASSERT_EQ(addSession(path, QStringLiteral("ttyUSB1"), FixtureStartMs + 3 * hour, 0, 0), 4);
    JournalReader reader;
    ASSERT_EQ(reader.open(path), QString());
    // Session 4 ended without rows: the site page shows ttyUSB1's session 2.
    EXPECT_EQ(targetTexts(warmTargets(path, reader)),
              (QStringList{"3 pH 3", "3 COND 2", "2 pH 4"}));

    // Room for all three: read, nothing else; a second pass finds nothing new.
    SeriesCache roomy(100);
    {
        SeriesWarmer warmer(roomy);
        warmer.warm({{journalIdOf(path), path}});
        warmer.waitIdle();
        EXPECT_EQ(roomy.samples(), 9);
        warmer.warm({{journalIdOf(path), path}});
        warmer.waitIdle();
        EXPECT_EQ(warmer.passes(), 2);
    }
    EXPECT_EQ(roomy.samples(), 9);
    EXPECT_TRUE(roomy.keeps(path, 3, ListId::PH));
    EXPECT_TRUE(roomy.keeps(path, 3, ListId::COND));
    EXPECT_TRUE(roomy.keeps(path, 2, ListId::PH));
    EXPECT_FALSE(roomy.keeps(path, 1, ListId::PH));

    // Room for 5: session 3 (the newest) first, 3 + 2 fill it; session 2's 4 rows do not fit.
    SeriesCache tight(5);
    SeriesWarmer warmer(tight);
    warmer.warm({{journalIdOf(path), path}});
    warmer.waitIdle();
    EXPECT_EQ(tight.samples(), 5);
    EXPECT_TRUE(tight.keeps(path, 3, ListId::PH));
    EXPECT_TRUE(tight.keeps(path, 3, ListId::COND));
    EXPECT_FALSE(tight.keeps(path, 2, ListId::PH));
}

TEST(SeriesWarmer, TheDeskReadsTheNewestRunAheadOnceTheWatchHasSeenItsJournal)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("j.sqlite"));
    ASSERT_EQ(addSession(path, QStringLiteral("ttyUSB0"), FixtureStartMs, 7, 0), 1);
    JournalDesk desk({path}, {});
    // Nobody asked for a chart: the watch's first look at the journal starts the read ahead.
    QElapsedTimer clock;
    clock.start();
    while (desk.series().samples() < 7 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    desk.warmer().waitIdle();
    EXPECT_TRUE(desk.series().keeps(QDir::cleanPath(path), 1, ListId::PH));
    EXPECT_EQ(desk.series().samples(), 7);
}

TEST(SeriesCache, AReadAheadNeverPushesOutALookAndGoesFirstWhenALookNeedsRoom)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("j.sqlite"));
    const qint64 hour = 3600000;
    ASSERT_EQ(addSession(path, QStringLiteral("a"), FixtureStartMs, 6, 0), 1);
    ASSERT_EQ(addSession(path, QStringLiteral("b"), FixtureStartMs + hour, 6, 0), 2);
    ASSERT_EQ(addSession(path, QStringLiteral("c"), FixtureStartMs + 2 * hour, 3, 0), 3);
    JournalReader reader;
    ASSERT_EQ(reader.open(path), QString());
    SeriesCache cache(10);
    int looked = 0;
    const auto look = [&](qint64 session) {
        looked = 0;
        return cache.with(path, reader, session, ListId::PH,
                          [&](const HistorySeries& series, const SeriesCache::Rows& rows) {
                              looked = int(series.size());
                              EXPECT_EQ(rows.size(), std::size_t(series.size()));
                          });
    };
    EXPECT_EQ(cache.warm(path, reader, 1, ListId::PH, 6), QString());
    EXPECT_EQ(cache.samples(), 6);
    // 6 more do not fit in 10: not read, and session 1 stays.
    EXPECT_EQ(cache.warm(path, reader, 2, ListId::PH, 6), QString());
    EXPECT_EQ(cache.samples(), 6);
    EXPECT_FALSE(cache.keeps(path, 2, ListId::PH));
    // A look makes room: the read ahead goes.
    EXPECT_EQ(look(2), QString());
    EXPECT_EQ(looked, 6);
    EXPECT_EQ(cache.samples(), 6);
    EXPECT_FALSE(cache.keeps(path, 1, ListId::PH));
    EXPECT_TRUE(cache.keeps(path, 2, ListId::PH));
    EXPECT_EQ(cache.warm(path, reader, 3, ListId::PH, 3), QString());
    EXPECT_EQ(cache.samples(), 9);
    // Session 1 again: session 3 (read ahead) goes first, then session 2 (looked at before).
    EXPECT_EQ(look(1), QString());
    EXPECT_EQ(looked, 6);
    EXPECT_EQ(cache.samples(), 6);
    EXPECT_TRUE(cache.keeps(path, 1, ListId::PH));
    EXPECT_FALSE(cache.keeps(path, 2, ListId::PH));
    EXPECT_FALSE(cache.keeps(path, 3, ListId::PH));
    // A list larger than all the room is still drawn, and kept until a look needs the room.
    SeriesCache small(4);
    EXPECT_EQ(small.with(path, reader, 1, ListId::PH,
                         [&](const HistorySeries& series, const SeriesCache::Rows&) {
                             looked = int(series.size());
                         }),
              QString());
    EXPECT_EQ(looked, 6);
    EXPECT_TRUE(small.keeps(path, 1, ListId::PH));
    EXPECT_EQ(small.samples(), 6);
    // A list without rows (a request may name any) is not kept.
    EXPECT_EQ(cache.with(path, reader, 3, ListId::DO, [](const HistorySeries&, const SeriesCache::Rows&) {}),
              QString());
    EXPECT_FALSE(cache.keeps(path, 3, ListId::DO));
    EXPECT_EQ(cache.samples(), 6);
}

TEST(NewestEvents, KeepsOnlyTheNewestAndCountsThemAll)
{
    // Times in the order added; of equal times the one added first is the newer.
    NewestEvents newest(3);
    const std::pair<qint64, const char*> added[] = {{50, "a"}, {10, "b"}, {70, "c"}, {50, "d"},
                                                    {20, "e"}, {70, "f"}, {60, "g"}, {60, "h"}};
    for (const auto& [time, name] : added) {
        QJsonObject event;
        event[QStringLiteral("name")] = QString::fromLatin1(name);
        newest.add(time, event);
    }
    QStringList names;
    for (const QJsonValue v : newest.newestFirst())
        names << v[QStringLiteral("name")].toString();
    EXPECT_EQ(names.join(u' '), QStringLiteral("c f g"));
    EXPECT_EQ(newest.seen(), 8);
    EXPECT_FALSE(newest.wants(60));
    EXPECT_TRUE(newest.wants(61));
    EXPECT_TRUE(NewestEvents(1).wants(0));
    EXPECT_FALSE(NewestEvents(0).wants(100));
}

TEST(JournalViews, TheSiteShowsTheLatestRowsAndTheAlarmAsTheWindowsBarDoes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("j.sqlite"));
    Journal journal;
    ASSERT_EQ(openFixtureLogger(journal, path), QString());
    journal.setPort(QStringLiteral("/dev/ttyUSB0"));
    for (int i = 0; i < 5; ++i)
        journal.add(ListId::PH, phRow(FixtureStartMs + 2000 * i, QStringLiteral("7.0%1").arg(i)));
    AlarmEvent rise;
    rise.alarm.parameter = AlarmParameter::DO;
    rise.alarm.side = AlarmSide::Below;
    rise.alarm.value = 3.1;
    rise.alarm.limit = 4.0;
    rise.alarm.worst = 3.1;
    rise.alarm.sinceMs =
        FixtureStartMs + 4 * 3600000 - 7 * 3600000 + 13 * 60000 + 7000; // 07:13:07 local
    rise.alarm.raisedMs = rise.alarm.sinceMs + 10000;
    rise.alarm.utcOffsetSec = FixtureOffsetSec;
    rise.atMs = rise.alarm.raisedMs;
    rise.utcOffsetSec = FixtureOffsetSec;
    journal.alarmRaised(rise);
    journal.alarmCommandFinished(
        rise, QStringLiteral("alarm command: exit 0: <script>alert(1)</script>"));
    // The disk of the journal filling up, raised before the DO alarm.
    AlarmEvent disk = rise;
    disk.alarm.parameter.reset();
    disk.alarm.disk = true;
    disk.alarm.value = 150;
    disk.alarm.limit = 200;
    disk.alarm.worst = 150;
    disk.alarm.raisedMs = rise.alarm.raisedMs - 5000;
    disk.atMs = disk.alarm.raisedMs;
    journal.alarmRaised(disk);
    ASSERT_TRUE(journal.flush());

    JournalReader reader;
    ASSERT_EQ(reader.open(path), QString());
    const QJsonObject site = siteJournal({QStringLiteral("abc"), path}, &reader, QString());
    const QJsonObject meter = site[QStringLiteral("meters")].toArray().at(0).toObject();
    EXPECT_EQ(meter[QStringLiteral("port")].toString(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_TRUE(meter[QStringLiteral("running")].toBool());
    EXPECT_EQ(meter[QStringLiteral("step_ms")].toDouble(), 2000);
    const QJsonObject ph = meter[QStringLiteral("params")].toArray().at(0).toObject();
    EXPECT_EQ(ph[QStringLiteral("value")].toString(), QStringLiteral("7.04"));
    EXPECT_EQ(ph[QStringLiteral("time")].toString(), QStringLiteral("10:00:08"));
    EXPECT_EQ(ph[QStringLiteral("at_ms")].toDouble(), double(FixtureStartMs + 8000));
    QStringList alarmTexts;
    for (const QJsonValue& a : meter[QStringLiteral("alarms")].toArray())
        alarmTexts << a[QStringLiteral("text")].toString();
    alarmTexts.sort();
    EXPECT_EQ(alarmTexts,
              QStringList({QStringLiteral("ALARM DO 3.10 mg/L below 4.0 since 07:13:07"),
                           QStringLiteral("ALARM Disk 150 MB free, below 200 MB since 07:13:07")}));

    QString error;
    const auto events = [&](const QString& parameter) {
        NewestEvents newest(10);
        alarmEvents({QStringLiteral("abc"), path}, reader, parameter, newest, &error);
        return newest.newestFirst();
    };
    const QJsonArray all = events(QString());
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0][QStringLiteral("event")].toString(), QStringLiteral("rise"));
    EXPECT_EQ(all[0][QStringLiteral("parameter")].toString(), QStringLiteral("DO"));
    EXPECT_EQ(all[0][QStringLiteral("result")].toString(),
              QStringLiteral("alarm command: exit 0: <script>alert(1)</script>"));
    EXPECT_EQ(all[1][QStringLiteral("parameter")].toString(), QStringLiteral("Disk"));
    EXPECT_EQ(events(QStringLiteral("pH")).size(), 0);
    EXPECT_EQ(events(QStringLiteral("Disk")).size(), 1);

    journal.close(true);
    JournalReader after;
    ASSERT_EQ(after.open(path), QString());
    const QJsonObject ended = siteJournal({QStringLiteral("abc"), path}, &after, QString());
    const QJsonObject stopped = ended[QStringLiteral("meters")].toArray().at(0).toObject();
    EXPECT_FALSE(stopped[QStringLiteral("running")].toBool());
    EXPECT_TRUE(stopped[QStringLiteral("alarms")].toArray().isEmpty());
}

// The no-reading alarm reads on the site page and on the alarms page as in the window's bar,
// with why no frame came: the latest cause the journal kept, none where it kept none.
TEST(JournalViews, TheNoReadingAlarmSaysWhyAsTheWindowsBarDoes)
{
    struct Case
    {
        std::optional<NoReadingCause> raisedWith;
        std::optional<NoReadingCause> changedTo;
        QString text;
    };
    const QString since = QStringLiteral("ALARM no reading since 10:13:07");
    const std::vector<Case> cases{
        {NoReadingCause::NotOpen, std::nullopt, since + QStringLiteral(": the port does not open")},
        {NoReadingCause::Silent, NoReadingCause::LineLost,
         since + QStringLiteral(": the line is lost")},
        {std::nullopt, std::nullopt, since}, // as a journal of an earlier version kept it
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("j.sqlite"));
        Journal journal;
        ASSERT_EQ(openFixtureLogger(journal, path), QString());
        journal.setPort(QStringLiteral("/dev/ttyUSB0"));
        journal.add(ListId::PH, phRow(FixtureStartMs, QStringLiteral("7.00")));
        const qint64 sinceMs = FixtureStartMs + 13 * 60000 + 7000; // 10:13:07 local
        ActiveAlarm silence{std::nullopt,     AlarmSide::NoReading, 60, 60, 60, sinceMs,
                            sinceMs + 60000, FixtureOffsetSec,     c.raisedWith};
        journal.alarmRaised({AlarmChange::Raise, silence, silence.raisedMs, FixtureOffsetSec});
        if (c.changedTo) {
            silence.cause = c.changedTo;
            journal.alarmCauseChanged(silence);
        }
        ASSERT_TRUE(journal.flush());

        JournalReader reader;
        ASSERT_EQ(reader.open(path), QString());
        const QJsonObject meter = siteJournal({QStringLiteral("abc"), path}, &reader, QString())
                                      [QStringLiteral("meters")]
                                          .toArray()
                                          .at(0)
                                          .toObject();
        const QJsonArray up = meter[QStringLiteral("alarms")].toArray();
        ASSERT_EQ(up.size(), 1);
        EXPECT_EQ(up[0][QStringLiteral("text")].toString(), c.text);
        QString error;
        NewestEvents newest(10);
        alarmEvents({QStringLiteral("abc"), path}, reader, QString(), newest, &error);
        const QJsonArray events = newest.newestFirst();
        ASSERT_EQ(events.size(), 1);
        EXPECT_EQ(events[0][QStringLiteral("text")].toString(), c.text);
        journal.close(true);
    }
}

} // namespace
