// pexumo-web: a read-only web view of Pexumo's journals, for a phone or a desktop browser on the
// site's network.
//
//   pexumo-web [--listen ADDR:PORT] [--journal FILE]... [--journals DIR]... [--config FILE]
//              [--settings FILE]
//   pexumo-web [--config FILE] --set-password
//
// It prints the address to open on standard output, and warnings on standard error. Listening
// on an address other than loopback needs a password (--set-password); without TLS there it
// warns once that the password crosses the network in clear. Exit status 0 after SIGTERM or
// SIGINT; 1 when it cannot start (no password, the port is taken, a certificate that does not
// load); 2 for a wrong option.

#include "alarm/alarmsettings.h"
#include "app/stopsignals.h"
#include "base/commandline.h"
#include "base/config.h"
#include "base/numberformat.h"
#include "base/version.h"
#include "web/webauth.h"
#include "web/webconfig.h"
#include "web/webserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

using namespace pexumo;

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int fail(int status, const QString& message)
{
    std::fprintf(stderr, "pexumo-web: %s\n", qUtf8Printable(message));
    return status;
}

/// One line of standard input, without echo on a terminal.
QByteArray readSecretLine(const char* prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved = {};
    if (terminal) {
        std::fprintf(stderr, "%s", prompt);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    for (int c; (c = std::getchar()) != EOF && c != '\n';)
        if (line.size() < 4096)
            line.append(char(c));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

int setPassword(const QString& path)
{
    const QByteArray password = readSecretLine("New password: ");
    if (password.size() < 8)
        return fail(ExitUsage, QStringLiteral("the password needs at least 8 characters"));
    if (::isatty(STDIN_FILENO) == 1 && readSecretLine("Again: ") != password)
        return fail(ExitUsage, QStringLiteral("the two passwords differ; nothing was changed"));
    const QByteArray hash = hashPassword(password);
    if (hash.isEmpty())
        return fail(ExitFailed, QStringLiteral("cannot hash the password (out of memory?)"));
    if (const QString error = writePasswordFile(path, hash); !error.isEmpty())
        return fail(ExitFailed, error);
    std::printf("password set in %s\n", qUtf8Printable(path));
    return 0;
}

std::optional<QSslConfiguration> loadTls(const WebSettings& s, QString* error)
{
    QFile certFile(s.certFile);
    QFile keyFile(s.keyFile);
    if (!certFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read CertFile %1").arg(s.certFile);
        return std::nullopt;
    }
    if (!keyFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read KeyFile %1").arg(s.keyFile);
        return std::nullopt;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyBytes = keyFile.readAll();
    QSslKey key(keyBytes, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyBytes, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty()) {
        *error = QStringLiteral("CertFile %1 holds no PEM certificate").arg(s.certFile);
        return std::nullopt;
    }
    if (key.isNull()) {
        *error = QStringLiteral("KeyFile %1 holds no PEM key (RSA or EC)").arg(s.keyFile);
        return std::nullopt;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    return config;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pexumo")); // the user's folders
    QCoreApplication::setApplicationVersion(QStringLiteral(PEXUMO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A read-only web view of Pexumo's journals: every meter's latest readings, charts, "
        "alarms and downloads, in any browser."));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("Where to listen, ADDRESS:PORT (default: Listen of [Web], else "
                       "127.0.0.1:8080). Any address but loopback needs a password."),
        QStringLiteral("ADDR:PORT"));
    const QCommandLineOption journalOption(
        QStringLiteral("journal"),
        QStringLiteral("A journal to show; may be given more than once (default: Journals of "
                       "[Web], else your own journal)."),
        QStringLiteral("FILE"));
    const QCommandLineOption journalsOption(
        QStringLiteral("journals"),
        QStringLiteral("A folder whose *.sqlite journals are shown, new ones as they appear."),
        QStringLiteral("DIR"));
    const QCommandLineOption configOption(
        QStringLiteral("config"), QStringLiteral("The configuration file (default: ./config.ini)."),
        QStringLiteral("FILE"));
    const QCommandLineOption settingsOption(
        QStringLiteral("settings"),
        QStringLiteral("Where the alarm limits the charts draw are read (default: your settings "
                       "file, ~/.config/Pexumo/Pexumo.conf)."),
        QStringLiteral("FILE"));
    const QCommandLineOption passwordOption(
        QStringLiteral("set-password"),
        QStringLiteral("Reads a new password from standard input and keeps its hash in "
                       "PasswordFile of [Web] (default ~/.config/Pexumo/web-password)."));
    parser.addOptions(
        {listenOption, journalOption, journalsOption, configOption, settingsOption, passwordOption});
    if (const auto status = readCommandLine(parser, QCoreApplication::arguments(), 0))
        return *status;

    const QString configPath =
        parser.isSet(configOption) ? parser.value(configOption) : defaultConfigPath();
    QStringList problems;
    WebSettings settings = readWebSettings(configPath, &problems);
    if (parser.isSet(passwordOption))
        return setPassword(settings.passwordFile);
    for (const QString& problem : std::as_const(problems))
        std::fprintf(stderr, "pexumo-web: %s\n", qUtf8Printable(problem));
    if (parser.isSet(listenOption)) {
        QString problem;
        const std::optional<ListenAddress> listen =
            parseListenAddress(parser.value(listenOption), &problem);
        if (!listen)
            return fail(ExitUsage, QStringLiteral("--listen: %1").arg(problem));
        settings.listen = *listen;
    }
    if (parser.isSet(journalOption) || parser.isSet(journalsOption)) {
        settings.journalFiles = parser.values(journalOption);
        settings.journalFolders = parser.values(journalsOption);
    }
    NumberFormat::setCurrent(settings.decimalComma ? NumberFormat{u',', u'.'}
                                                   : NumberFormat::regional());

    WebServer::Setup setup;
    setup.settings = settings;
    const AlarmSettingsRead limits = loadAlarmSettings(parser.value(settingsOption));
    setup.limits = limits.settings;
    if (!settings.listen.loopback()) {
        QString error;
        setup.passwordHash = readPasswordFile(settings.passwordFile, &error);
        if (!setup.passwordHash)
            return fail(ExitFailed,
                        QStringLiteral("listening on %1 needs a password: %2")
                            .arg(settings.listen.address.toString(), error));
    }
    if (!settings.certFile.isEmpty() && !settings.keyFile.isEmpty()) {
        QString error;
        setup.tls = loadTls(settings, &error);
        if (!setup.tls)
            return fail(ExitFailed, error);
    } else if (!settings.listen.loopback()) {
        std::fprintf(stderr,
                     "pexumo-web: warning: no CertFile and KeyFile: the password and the "
                     "readings cross the network in clear; use TLS or a reverse proxy\n");
    }

    WebServer server(std::move(setup));
    if (const QString error = server.start(); !error.isEmpty())
        return fail(ExitFailed, error);
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &app, [](const QString&) {
        QCoreApplication::quit();
    });
    std::printf("pexumo-web: open %s://%s/\n", server.gate().tls() ? "https" : "http",
                qUtf8Printable(server.address().text()));
    std::fflush(stdout);
    return app.exec();
}
