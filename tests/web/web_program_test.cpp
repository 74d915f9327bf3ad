// pexumo-web as a program: the limits every connection lives under, on real sockets; the
// refusals at start; the login; TLS; journals that are not ours, damaged or newer are listed
// with their reason and never written; every request parameter is checked.
#include "journalfixture.h"
#include "journal/journalfile.h"
#include "web/journalviews.h"
#include "web/webauth.h"
#include "webrig.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace pexumo;
using namespace pexumo::test;

namespace {

const QByteArray ContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

/// A GET request whose line and headers take exactly \a bytes bytes.
QByteArray requestOfSize(qsizetype bytes)
{
    const QByteArray start = "GET /static/style.css HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";
    const QByteArray end = "\r\n\r\n";
    return start + QByteArray(bytes - start.size() - end.size(), 'a') + end;
}

class WebProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        journal = home.filePath(QStringLiteral("ttyUSB0.sqlite"));
        session = writeSession(journal, QStringLiteral("/dev/ttyUSB0"), 30,
                               [](int i) { return QStringLiteral("7.%1").arg(10 + i); });
        ASSERT_EQ(session, 1);
    }
    QTemporaryDir home;
    QString journal;
    qint64 session = 0;
};

TEST_F(WebProgramTest, EveryLimitHoldsOnARealSocket)
{
    WebProgram web(home.path());
    ASSERT_TRUE(web.start({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                           QStringLiteral("--journal"), journal}))
        << web.errors().constData();
    const quint16 port = web.port();

    // Two that never bring a whole request: one silent, one a byte a second.
    QElapsedTimer since;
    since.start();
    const int idle = connectTo(port);
    const int slow = connectTo(port);
    ASSERT_GE(idle, 0);
    ASSERT_GE(slow, 0);
    std::atomic<qint64> slowClosedAtMs{-1};
    std::thread dripping([&] {
        sendAll(slow, "GET / HTTP/1.1\r\nX-Slow: ");
        for (int i = 0; i < 40; ++i) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            if (!sendAll(slow, "a") || readFrom(slow, 1).closed) {
                slowClosedAtMs = since.elapsed();
                return;
            }
        }
    });

    // The request line and headers may take 16 KiB; one byte more is answered 431 and closed.
    struct HeadCase
    {
        qsizetype bytes;
        int status;
        bool closed;
    };
    for (const HeadCase c : {HeadCase{16384, 200, false}, HeadCase{16385, 431, true},
                             HeadCase{100000, 431, true}}) {
        const int fd = connectTo(port);
        sendAll(fd, requestOfSize(c.bytes));
        const Received r = readFrom(fd, 5000, c.closed ? QByteArray() : QByteArray("}"));
        EXPECT_EQ(statusOf(r.bytes), c.status) << c.bytes << " bytes";
        EXPECT_EQ(r.closed, c.closed) << c.bytes << " bytes";
        ::close(fd);
    }
    // A body beyond 16 KiB, a chunked one, a Content-Length that does not read.
    struct BodyCase
    {
        QByteArray head;
        int status;
    };
    for (const BodyCase& c :
         {BodyCase{"POST /login HTTP/1.1\r\nHost: x\r\nContent-Length: 16385\r\n\r\n", 413},
          BodyCase{"POST /login HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
          BodyCase{"POST /login HTTP/1.1\r\nHost: x\r\nContent-Length: 12x\r\n\r\n", 400}}) {
        const int fd = connectTo(port);
        sendAll(fd, c.head);
        const Received r = readFrom(fd, 5000);
        EXPECT_EQ(statusOf(r.bytes), c.status) << c.head.constData();
        EXPECT_TRUE(r.closed) << c.head.constData();
        ::close(fd);
    }
    // A connection answered and then left idle is closed 30 s after its answer.
    const int answered = connectTo(port);
    sendAll(answered, "GET /static/login.js HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(statusOf(readFrom(answered, 5000, "})();\n").bytes), 200);
    QElapsedTimer sinceAnswer;
    sinceAnswer.start();
    // A kept-alive connection answers request after request; "Connection: close" ends it.
    {
        const int fd = connectTo(port);
        sendAll(fd, "GET /static/login.js HTTP/1.1\r\nHost: x\r\n\r\n");
        const Received first = readFrom(fd, 5000, "})();\n");
        EXPECT_EQ(statusOf(first.bytes), 200);
        EXPECT_FALSE(first.closed);
        sendAll(fd, "GET /static/login.js HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        const Received second = readFrom(fd, 5000);
        EXPECT_EQ(statusOf(second.bytes), 200);
        EXPECT_TRUE(second.closed);
        ::close(fd);
    }
    // At most 200 connections: the three above and 197 more; the next is refused at once, and
    // those it has are still served.
    std::vector<int> held;
    for (int i = 0; i < 197; ++i) {
        held.push_back(connectTo(port));
        ASSERT_GE(held.back(), 0);
    }
    const int extra = connectTo(port);
    const Received refused = readFrom(extra, 5000);
    EXPECT_EQ(statusOf(refused.bytes), 503);
    EXPECT_TRUE(refused.closed);
    ::close(extra);
    sendAll(held.front(), "GET /static/login.js HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(statusOf(readFrom(held.front(), 5000).bytes), 200);
    for (int fd : held)
        ::close(fd);

    // The silent and the slow connection are closed 30 s after they came.
    const Received silent = readFrom(idle, 35000 - int(since.elapsed()));
    EXPECT_TRUE(silent.closed);
    EXPECT_GE(since.elapsed(), 29500);
    EXPECT_LE(since.elapsed(), 33000);
    dripping.join();
    EXPECT_GE(slowClosedAtMs.load(), 29500);
    EXPECT_LE(slowClosedAtMs.load(), 33000);
    const Received left = readFrom(answered, 35000 - int(sinceAnswer.elapsed()));
    EXPECT_TRUE(left.closed);
    EXPECT_GE(sinceAnswer.elapsed(), 29500);
    EXPECT_LE(sinceAnswer.elapsed(), 33000);
    ::close(idle);
    ::close(slow);
    ::close(answered);
    EXPECT_TRUE(web.running());
    EXPECT_EQ(statusOf(get(port, "/static/login.js")), 200);
}

TEST_F(WebProgramTest, RefusesToStartWhereItWouldBeUnsafeOrWrong)
{
    struct Case
    {
        QStringList args;
        int status;
        const char* message;
    };
    const QString missing = home.filePath(QStringLiteral("no-such-cert.pem"));
    QFile config(home.filePath(QStringLiteral("tls.ini")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[Web]\nCertFile=no-such-cert.pem\nKeyFile=no-such-key.pem\n");
    config.close();
    // A password file others may read is not used.
    const QString open = home.filePath(QStringLiteral("open-password"));
    QFile openFile(open);
    ASSERT_TRUE(openFile.open(QIODevice::WriteOnly));
    openFile.write(hashPassword("correct horse") + '\n');
    openFile.close();
    ASSERT_TRUE(QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    QFile openConfig(home.filePath(QStringLiteral("open.ini")));
    ASSERT_TRUE(openConfig.open(QIODevice::WriteOnly));
    openConfig.write("[Web]\nPasswordFile=open-password\nListen=0.0.0.0:0\n");
    openConfig.close();
    const std::vector<Case> cases{
        {{QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0")}, 1,
         "pexumo-web: listening on 0.0.0.0 needs a password: no password is set ("},
        {{QStringLiteral("--config"), openConfig.fileName()}, 1,
         "pexumo-web: listening on 0.0.0.0 needs a password: "},
        {{QStringLiteral("--listen"), QStringLiteral("pond.example.org:8080")}, 2,
         "pexumo-web: --listen: \"pond.example.org\" is no IP address"},
        {{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:65536")}, 2,
         "pexumo-web: --listen: \"65536\" is no port (0 to 65535)"},
        {{QStringLiteral("--listen"), QStringLiteral("::1:8080")}, 2,
         "pexumo-web: --listen: \"::1\" is no IP address"},
        {{QStringLiteral("--config"), config.fileName(), QStringLiteral("--listen"),
          QStringLiteral("127.0.0.1:0")},
         1, "pexumo-web: cannot read CertFile "},
        {{QStringLiteral("--bogus")}, 2, "pexumo-web: "},
    };
    for (const Case& c : cases) {
        WebProgram web(home.path());
        EXPECT_EQ(web.runToEnd(c.args), c.status) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(web.errors().startsWith(c.message))
            << c.args.join(u' ').toStdString() << ": " << web.errors().constData();
    }
    {
        WebProgram web(home.path());
        web.runToEnd({QStringLiteral("--config"), openConfig.fileName()});
        EXPECT_TRUE(web.errors().contains(open.toUtf8() + " can be read by others: chmod 600 it"))
            << web.errors().constData();
    }
    Q_UNUSED(missing);
}

TEST_F(WebProgramTest, ANonLoopbackListenAsksForThePasswordAndLocksOutGuessers)
{
    // --set-password keeps an Argon2id hash, for the user only.
    {
        WebProgram set(home.path());
        ASSERT_EQ(set.runToEnd({QStringLiteral("--set-password")}, "correct horse\n"), 0)
            << set.errors().constData();
    }
    const QString passwordFile = home.filePath(QStringLiteral("config/Pexumo/web-password"));
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(passwordFile).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(fileBytes(passwordFile).startsWith("$argon2id$v=19$m=19456,t=2,p=1$"));
    EXPECT_FALSE(fileBytes(passwordFile).contains("correct horse"));

    WebProgram web(home.path());
    ASSERT_TRUE(web.start({QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0"),
                           QStringLiteral("--journal"), journal}))
        << web.errors().constData();
    const quint16 port = web.port();
    // Without TLS it says once that the password crosses the network in clear.
    EXPECT_EQ(web.errors().count("in clear"), 1);

    // Nothing but the login page and what it needs without a session.
    EXPECT_EQ(statusOf(get(port, "/api/site")), 401);
    EXPECT_EQ(statusOf(get(port, "/events")), 401);
    const QByteArray page = get(port, "/");
    EXPECT_EQ(statusOf(page), 303);
    EXPECT_EQ(headerOf(page, "Location"), "/login");
    EXPECT_EQ(statusOf(get(port, "/login")), 200);

    const auto login = [&](const QByteArray& password) {
        // As a browser sends a form: a blank as "+".
        const QByteArray body =
            "password=" + QUrl::toPercentEncoding(QString::fromUtf8(password)).replace("%20", "+");
        return exchange(port, "POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                              "application/x-www-form-urlencoded\r\nContent-Length: " +
                                  QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
    };
    const QByteArray wrong = login("wrong horse");
    EXPECT_EQ(statusOf(wrong), 303);
    EXPECT_EQ(headerOf(wrong, "Location"), "/login?wrong=1");
    EXPECT_EQ(headerOf(wrong, "Set-Cookie"), "");

    const QByteArray right = login("correct horse");
    EXPECT_EQ(headerOf(right, "Location"), "/");
    const QByteArray cookie = headerOf(right, "Set-Cookie");
    EXPECT_TRUE(cookie.startsWith("pexumo_session="));
    EXPECT_TRUE(cookie.endsWith("; Path=/; HttpOnly; SameSite=Strict")) << cookie.constData();
    const QByteArray session = cookie.left(cookie.indexOf(';'));
    EXPECT_EQ(statusOf(get(port, "/api/site", "Cookie: " + session + "\r\n")), 200);
    EXPECT_EQ(statusOf(get(port, "/api/site", "Cookie: pexumo_session=00ff\r\n")), 401);

    // A form of another site is turned away even with the right password.
    EXPECT_EQ(statusOf(exchange(port, "POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: "
                                      "http://evil.example\r\nContent-Length: 22\r\n"
                                      "Connection: close\r\n\r\npassword=correct+horse")),
              403);

    // The right one forgave the first; five wrong ones in a row lock the address out, and then
    // even the right one is refused for 60 s.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(headerOf(login("nope"), "Location"), "/login?wrong=1") << i;
    EXPECT_EQ(headerOf(login("correct horse"), "Location"), "/login?locked=60");
    // The session already open stays open; logging out ends it.
    EXPECT_EQ(statusOf(get(port, "/api/site", "Cookie: " + session + "\r\n")), 200);
    const QByteArray out = exchange(port, "POST /logout HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " +
                                              session + "\r\nContent-Length: 0\r\nConnection: "
                                              "close\r\n\r\n");
    EXPECT_EQ(headerOf(out, "Location"), "/login");
    EXPECT_EQ(statusOf(get(port, "/api/site", "Cookie: " + session + "\r\n")), 401);
}

TEST_F(WebProgramTest, PasswordsAreCheckedBesideTheServerAndABurstOfGuessesMeetsTheLockOut)
{
    {
        WebProgram set(home.path());
        ASSERT_EQ(set.runToEnd({QStringLiteral("--set-password")}, "correct horse\n"), 0)
            << set.errors().constData();
    }
    WebProgram web(home.path());
    ASSERT_TRUE(web.start({QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0"),
                           QStringLiteral("--journal"), journal}))
        << web.errors().constData();
    const quint16 port = web.port();
    const QByteArray guess = "POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 13\r\n"
                             "Connection: close\r\n\r\npassword=nope";
    // Eight wrong guesses sent at once from 127.0.0.1: five are checked (one after another,
    // each tens of milliseconds), the other three are refused unchecked. Five more from each of
    // 127.0.0.2 to .4 make the checks take a good part of a second.
    std::vector<int> guesses;
    std::vector<int> others;
    for (int i = 0; i < 8 + 15; ++i) {
        const int fd = connectTo(port, i < 8 ? 1 : 2 + (i - 8) / 5);
        ASSERT_GE(fd, 0) << i;
        ASSERT_TRUE(sendAll(fd, guess));
        (i < 8 ? guesses : others).push_back(fd);
    }
    // Meanwhile the server answers: the login script comes before the last guess's answer.
    EXPECT_EQ(statusOf(get(port, "/static/login.js")), 200);
    int unanswered = 0;
    for (int fd : others) {
        pollfd p{fd, POLLIN, 0};
        unanswered += ::poll(&p, 1, 0) == 0;
    }
    EXPECT_GE(unanswered, 1);
    QMap<QByteArray, int> answers;
    for (int fd : guesses) {
        answers[headerOf(readFrom(fd, 20000).bytes, "Location")] += 1;
        ::close(fd);
    }
    EXPECT_EQ(answers.value("/login?wrong=1"), 5);
    EXPECT_EQ(answers.value("/login?busy=1") + answers.value("/login?locked=60"), 3);
    // Five wrong ones: the right one is refused for 60 s (59 once a second has gone by).
    const QByteArray locked =
        headerOf(exchange(port, "POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                                "22\r\nConnection: close\r\n\r\npassword=correct+horse"),
                 "Location");
    EXPECT_TRUE(locked == "/login?locked=60" || locked == "/login?locked=59") << locked.constData();
    // The other addresses had five tries each.
    for (int fd : others) {
        EXPECT_EQ(headerOf(readFrom(fd, 20000).bytes, "Location"), "/login?wrong=1");
        ::close(fd);
    }
}

TEST_F(WebProgramTest, ServesOverTlsWithCertFileAndKeyFile)
{
    const QString cert = home.filePath(QStringLiteral("cert.pem"));
    const QString key = home.filePath(QStringLiteral("key.pem"));
    ASSERT_EQ(runProgram(QStringLiteral("openssl"),
                         {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                          QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                          QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                          QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                          QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-keyout"),
                          key, QStringLiteral("-out"), cert})
                  .exitCode,
              0);
    QFile config(home.filePath(QStringLiteral("config.ini")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[Web]\nListen=0.0.0.0:0\nCertFile=cert.pem\nKeyFile=key.pem\n");
    config.close();
    ASSERT_EQ(writePasswordFile(home.filePath(QStringLiteral("config/Pexumo/web-password")),
                                hashPassword("correct horse")),
              QString());
    WebProgram web(home.path());
    ASSERT_TRUE(web.start({QStringLiteral("--journal"), journal})) << web.errors().constData();
    EXPECT_TRUE(web.output().startsWith("pexumo-web: open https://0.0.0.0:"));
    EXPECT_FALSE(web.errors().contains("in clear"));

    const auto overTls = [&](const QByteArray& request) {
        QSslSocket client;
        client.setPeerVerifyMode(QSslSocket::VerifyNone);
        client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), web.port());
        if (!client.waitForEncrypted(10000))
            return QByteArray();
        client.write(request);
        QByteArray answer;
        while (client.waitForReadyRead(5000))
            answer += client.readAll();
        return answer;
    };
    const QByteArray answer =
        overTls("GET /static/login.js HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(statusOf(answer), 200);
    EXPECT_TRUE(bodyOf(answer).contains("Wrong password."));
    // Under TLS the session cookie travels encrypted only.
    const QByteArray login = overTls("POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                                     "22\r\nConnection: close\r\n\r\npassword=correct+horse");
    EXPECT_TRUE(headerOf(login, "Set-Cookie").endsWith("; Path=/; HttpOnly; SameSite=Strict; Secure"))
        << login.constData();

    // Plain HTTP on the TLS port gets no page.
    const QByteArray plain = get(web.port(), "/static/login.js");
    EXPECT_FALSE(plain.contains("Wrong password."));
}

TEST_F(WebProgramTest, ListsJournalsItCannotShowWithTheReasonAndNeverWritesOne)
{
    const QDir dir(home.filePath(QStringLiteral("journals")));
    ASSERT_TRUE(QDir().mkpath(dir.path()));
    const QString ours = dir.filePath(QStringLiteral("ttyUSB1.sqlite"));
    ASSERT_EQ(writeSession(ours, QStringLiteral("/dev/ttyUSB1"), 5,
                           [](int) { return QStringLiteral("6.50"); }),
              1);
    const QString foreign = dir.filePath(QStringLiteral("foreign.sqlite"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("f"));
        db.setDatabaseName(foreign);
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("CREATE TABLE inventory(item TEXT)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("f"));
    const QString text = dir.filePath(QStringLiteral("notes.sqlite"));
    ASSERT_TRUE(writeBytes(text, "pond 3: check the pump\n"));
    const QString newer = dir.filePath(QStringLiteral("newer.sqlite"));
    ASSERT_TRUE(QFile::copy(ours, newer));
    {
        QByteArray bytes = fileBytes(newer);
        bytes[60 + 3] = char(99); // user_version, big-endian at offset 60
        ASSERT_TRUE(writeBytes(newer, bytes));
    }
    const QString damaged = dir.filePath(QStringLiteral("damaged.sqlite"));
    {
        QByteArray bytes = fileBytes(ours);
        for (int i = 100; i < 4096 && i < bytes.size(); ++i)
            bytes[i] = char(0xA5); // the schema's page
        ASSERT_TRUE(writeBytes(damaged, bytes));
    }
    // Not a journal's name: never looked at.
    ASSERT_TRUE(writeBytes(dir.filePath(QStringLiteral("readme.txt")), "pond 3\n"));
    const QStringList files{ours, foreign, text, newer, damaged};
    std::vector<QByteArray> before;
    for (const QString& f : files)
        before.push_back(fileBytes(f));

    // The folder named in [Web] Journals, relative to the configuration file.
    QFile config(home.filePath(QStringLiteral("config.ini")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[Web]\nJournals=journals\nListen=127.0.0.1:0\n");
    config.close();
    WebProgram web(home.path());
    ASSERT_TRUE(web.start({})) << web.errors().constData();
    QJsonObject site;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        site = QJsonDocument::fromJson(bodyOf(get(web.port(), "/api/site"))).object();
        if (site[QStringLiteral("journals")].toArray().size() == 5)
            break;
        QThread::msleep(100);
    }
    std::map<QString, QString> reasons;
    for (const QJsonValue j : site[QStringLiteral("journals")].toArray())
        reasons[QFileInfo(j[QStringLiteral("file")].toString()).fileName()] =
            j[QStringLiteral("error")].toString();
    const std::map<QString, QString> expected{
        {QStringLiteral("damaged.sqlite"), damaged + QStringLiteral(" is damaged")},
        {QStringLiteral("foreign.sqlite"), foreign + QStringLiteral(" is not a Pexumo journal")},
        {QStringLiteral("newer.sqlite"), newer + QStringLiteral(" was made by a newer Pexumo")},
        {QStringLiteral("notes.sqlite"), text + QStringLiteral(" is not a Pexumo journal")},
        {QStringLiteral("ttyUSB1.sqlite"), QString()}};
    EXPECT_EQ(reasons, expected);

    // A journal that appears later shows without a restart.
    const QString later = dir.filePath(QStringLiteral("ttyUSB2.sqlite"));
    ASSERT_EQ(writeSession(later, QStringLiteral("/dev/ttyUSB2"), 3,
                           [](int) { return QStringLiteral("8.00"); }),
              1);
    deadline.setRemainingTime(10000);
    bool seen = false;
    while (!deadline.hasExpired() && !seen) {
        seen = bodyOf(get(web.port(), "/api/site")).contains("/dev/ttyUSB2");
        QThread::msleep(200);
    }
    EXPECT_TRUE(seen);
    // The folder's *.sqlite files only: not the -wal and -shm beside a journal being read, not
    // any other file.
    QStringList listed;
    for (const QJsonValue j : QJsonDocument::fromJson(bodyOf(get(web.port(), "/api/site")))
                                  .object()[QStringLiteral("journals")]
                                  .toArray())
        listed << QFileInfo(j[QStringLiteral("file")].toString()).fileName();
    EXPECT_EQ(listed.join(u' '), QStringLiteral("damaged.sqlite foreign.sqlite newer.sqlite "
                                                "notes.sqlite ttyUSB1.sqlite ttyUSB2.sqlite"));
    web.stop();
    for (qsizetype i = 0; i < files.size(); ++i)
        EXPECT_EQ(fileBytes(files[i]), before[std::size_t(i)]) << files[i].toStdString();
    // Nothing was made beside the files that are not journals.
    for (const QString& f : {foreign, text})
        for (const char* companion : {"-wal", "-shm", "-journal"})
            EXPECT_FALSE(QFileInfo::exists(f + QLatin1String(companion))) << f.toStdString() << companion;
}

TEST_F(WebProgramTest, ShowsAJournalInAReadOnlyFolderThatNoLoggerHasOpen)
{
    // The system service sees /var/lib/pexumo read-only: SQLite cannot make the -wal and -shm
    // a reader of a journal in WAL mode needs when no logger has them open.
    if (::geteuid() != 0 || runProgram(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")}).exitCode != 0)
        GTEST_SKIP() << "needs root for a mount namespace with a read-only folder";
    const QString folder = QFileInfo(journal).absolutePath();
    const QByteArray before = fileBytes(journal);
    ASSERT_FALSE(QFileInfo::exists(journal + QStringLiteral("-wal")));
    QProcess web;
    web.setProcessEnvironment(privateHome(home.path(), Display::None));
    web.start(QStringLiteral("unshare"),
              {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
               QStringLiteral("mount --bind -o ro \"$0\" \"$0\" && exec \"$1\" --listen "
                              "127.0.0.1:0 --journal \"$2\""),
               folder, QStringLiteral(PEXUMO_WEB_PATH), journal});
    ASSERT_TRUE(web.waitForReadyRead(10000)) << web.readAllStandardError().constData();
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral(":(\\d+)/")).match(QString::fromUtf8(web.readAllStandardOutput()));
    ASSERT_TRUE(m.hasMatch());
    const quint16 port = quint16(m.captured(1).toUInt());
    const QJsonObject site = QJsonDocument::fromJson(bodyOf(get(port, "/api/site"))).object();
    const QJsonObject j = site[QStringLiteral("journals")].toArray().at(0).toObject();
    EXPECT_EQ(j[QStringLiteral("error")].toString(), QString());
    const QJsonObject meter = j[QStringLiteral("meters")].toArray().at(0).toObject();
    EXPECT_EQ(meter[QStringLiteral("params")].toArray().at(0)[QStringLiteral("value")].toString(),
              QStringLiteral("7.39"));
    web.terminate();
    web.waitForFinished(5000);
    EXPECT_EQ(fileBytes(journal), before);
}

TEST_F(WebProgramTest, ChecksEveryParameterAndSendsItsPolicyWithEveryAnswer)
{
    WebProgram web(home.path());
    ASSERT_TRUE(web.start({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                           QStringLiteral("--journal"), journal}))
        << web.errors().constData();
    const QByteArray j = journalIdOf(QFileInfo(journal).absoluteFilePath()).toLatin1();
    const QByteArray other = "0123456789ab";
    struct Case
    {
        QByteArray target;
        int status;
    };
    const std::vector<Case> cases{
        {"/", 200},
        {"/api/site", 200},
        {"/api/meter?j=" + j + "&session=1", 200},
        {"/api/meter?j=" + j + "&session=2", 404},
        {"/api/meter?j=" + j + "&session=0", 400},
        {"/api/meter?j=" + j + "&session=1x", 400},
        {"/api/meter?j=" + other + "&session=1", 400},
        {"/api/meter?j=..%2F..%2Fetc%2Fpasswd&session=1", 400},
        {"/api/meter?session=1", 400},
        {"/api/series?j=" + j + "&session=1&list=pH&from=0&to=9999999999999&width=100", 200},
        {"/api/series?j=" + j + "&session=1&list=ph&from=0&to=9999999999999&width=4096", 200},
        {"/api/series?j=" + j + "&session=1&list=Records&from=0&to=10&width=100", 400},
        {"/api/series?j=" + j + "&session=1&list=pHx&from=0&to=10&width=100", 400},
        {"/api/series?j=" + j + "&session=1&list=pH&from=10&to=10&width=100", 400},
        {"/api/series?j=" + j + "&session=1&list=pH&from=-1&to=10&width=100", 400},
        {"/api/series?j=" + j + "&session=1&list=pH&from=0&to=10&width=0", 400},
        {"/api/series?j=" + j + "&session=1&list=pH&from=0&to=10&width=4097", 400},
        {"/api/series?j=" + j + "&session=1&list=pH&from=0&to=1e99&width=100", 400},
        {"/api/row?j=" + j + "&session=1&list=pH&at=1796806805000", 200},
        {"/api/row?j=" + j + "&session=1&list=pH&at=now", 400},
        {"/api/alarms", 200},
        {"/api/alarms?j=" + j + "&parameter=do", 200},
        {"/api/alarms?parameter=Chlorine", 400},
        {"/api/alarms?j=" + other, 400},
        {"/download?j=" + j + "&session=1&list=pH&format=csv", 200},
        {"/download?j=" + j + "&session=1&list=pH&format=xml", 400},
        {"/download?j=" + j + "&session=3&list=pH&format=text", 404},
        {"/static/site.js", 200},
        {"/static/uplot.min.js", 200},
        {"/static/uplot-license.txt", 200},
        {"/static/../webserver.cpp", 404},
        {"/static/%2e%2e%2fwebserver.cpp", 404},
        {"/static/Site.js", 404},
        {"/nowhere", 404},
    };
    for (const Case& c : cases) {
        const QByteArray answer = get(web.port(), c.target);
        EXPECT_EQ(statusOf(answer), c.status) << c.target.constData();
        EXPECT_EQ(headerOf(answer, "Content-Security-Policy"), ContentSecurityPolicy)
            << c.target.constData();
        EXPECT_EQ(headerOf(answer, "X-Content-Type-Options"), "nosniff") << c.target.constData();
    }
    // Nothing changes anything: other methods are refused.
    EXPECT_EQ(statusOf(exchange(web.port(), "PUT / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n"
                                            "Connection: close\r\n\r\n")),
              405);
    EXPECT_EQ(statusOf(exchange(web.port(), "POST /api/site HTTP/1.1\r\nHost: x\r\n"
                                            "Content-Length: 0\r\nConnection: close\r\n\r\n")),
              405);
}

TEST_F(WebProgramTest, DownloadsAreWhatPexumoJournalExportWrites)
{
    WebProgram web(home.path());
    ASSERT_TRUE(web.start({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                           QStringLiteral("--journal"), journal}))
        << web.errors().constData();
    const QByteArray j = journalIdOf(QFileInfo(journal).absoluteFilePath()).toLatin1();
    for (const char* format : {"csv", "text"}) {
        const QByteArray answer =
            get(web.port(), "/download?j=" + j + "&session=1&list=pH&format=" + format);
        QProcess tool;
        tool.setProcessEnvironment(privateHome(home.path(), Display::None));
        tool.setWorkingDirectory(home.path());
        QStringList args{QStringLiteral("--journal"), journal, QStringLiteral("export")};
        if (qstrcmp(format, "csv") == 0)
            args << QStringLiteral("--csv");
        args << QStringLiteral("1") << QStringLiteral("pH");
        const ProgramRun exported = runProgram(tool, QStringLiteral(PEXUMO_JOURNAL_PATH), args);
        ASSERT_EQ(exported.exitCode, 0) << exported.err.constData();
        EXPECT_EQ(bodyOf(answer), exported.out) << format;
        EXPECT_EQ(headerOf(answer, "Content-Disposition"),
                  QByteArray("attachment; filename=\"ttyUSB0-1-pH.") +
                      (qstrcmp(format, "csv") == 0 ? "csv" : "txt") + '"');
    }
    // The first line of the CSV, worked out from the layout: 10:00:00 UTC+1, 7.10, 25.3 C.
    const QByteArray csv = bodyOf(get(web.port(), "/download?j=" + j + "&session=1&list=pH&format=csv"));
    EXPECT_TRUE(csv.startsWith("Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                               "2026-12-09,10:00:00,pH,7.10,pH,25.3,C\r\n"))
        << csv.left(200).constData();
}

TEST_F(WebProgramTest, ALongSessionDownloadsWhole)
{
    // 30,000 rows of 39 bytes: 1,170,056 bytes, more than a live page may leave unread.
    ASSERT_EQ(writeSession(journal, QStringLiteral("/dev/ttyUSB0"), 30000,
                           [](int) { return QStringLiteral("7.00"); }),
              2);
    WebProgram web(home.path());
    ASSERT_TRUE(web.start({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                           QStringLiteral("--journal"), journal}))
        << web.errors().constData();
    const QByteArray j = journalIdOf(QFileInfo(journal).absoluteFilePath()).toLatin1();
    const QByteArray answer = get(web.port(), "/download?j=" + j + "&session=2&list=pH&format=csv");
    EXPECT_EQ(statusOf(answer), 200);
    EXPECT_EQ(headerOf(answer, "Content-Length"), "1170056");
    const QByteArray csv = bodyOf(answer);
    EXPECT_EQ(csv.size(), 1170056);
    // 29,999 s after 10:00:00.
    EXPECT_TRUE(csv.endsWith("\r\n2026-12-09,18:19:59,pH,7.00,pH,25.3,C\r\n"))
        << csv.right(100).constData();
}

} // namespace
