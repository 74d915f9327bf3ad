#include "web/webconfig.h"

#include "base/config.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace pexumo {

QString ListenAddress::text() const
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

std::optional<ListenAddress> parseListenAddress(QStringView text, QString* problem)
{
    const auto refuse = [&](const QString& why) -> std::optional<ListenAddress> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return refuse(QStringLiteral("\"%1\" is not ADDRESS:PORT").arg(text));
    QStringView host = text.left(colon);
    const QStringView portText = text.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok, 10);
    if (!ok || port > 65535 || portText.startsWith(u'+'))
        return refuse(QStringLiteral("\"%1\" is no port (0 to 65535)").arg(portText));
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    ListenAddress listen;
    listen.port = quint16(port);
    if (!bracketed && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        listen.address = QHostAddress(QHostAddress::LocalHost);
        return listen;
    }
    QHostAddress address;
    // An IPv6 address needs its brackets, so that "::1:8080" cannot be read two ways.
    if (!address.setAddress(host.toString()) ||
        (address.protocol() == QAbstractSocket::IPv6Protocol) != bracketed)
        return refuse(QStringLiteral("\"%1\" is no IP address (a host name is not looked up; "
                                     "IPv6 goes in brackets: [::1]:8080)")
                          .arg(host));
    listen.address = address;
    return listen;
}

QString defaultPasswordFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Pexumo/web-password"));
}

WebSettings readWebSettings(const QString& configPath, QStringList* problems)
{
    WebSettings s;
    const AppConfig app = readConfig(configPath);
    const ConfigSection web = readConfigSection(configPath, QLatin1StringView("Web"));
    const QDir base = QFileInfo(configPath).absoluteDir();
    const auto fileKey = [&](const char* key) {
        const std::optional<QString> v = web.value(QLatin1StringView(key));
        return v && !v->isEmpty() ? base.absoluteFilePath(*v) : QString();
    };
    if (const std::optional<QString> listen = web.value(QLatin1StringView("Listen"))) {
        QString problem;
        if (const std::optional<ListenAddress> a = parseListenAddress(*listen, &problem))
            s.listen = *a;
        else if (problems)
            *problems << QStringLiteral("[Web] Listen: %1").arg(problem);
    }
    if (const std::optional<QString> journals = web.value(QLatin1StringView("Journals"))) {
        for (const QString& entry : journals->split(u';', Qt::SkipEmptyParts)) {
            const QString path = base.absoluteFilePath(entry.trimmed());
            (QFileInfo(path).isDir() ? s.journalFolders : s.journalFiles) << path;
        }
    }
    if (s.journalFiles.isEmpty() && s.journalFolders.isEmpty())
        s.journalFiles << journalPathOf(app, configPath);
    s.certFile = fileKey("CertFile");
    s.keyFile = fileKey("KeyFile");
    s.passwordFile = fileKey("PasswordFile");
    if (s.passwordFile.isEmpty())
        s.passwordFile = defaultPasswordFile();
    s.title = web.value(QLatin1StringView("Title")).value_or(app.formCaption);
    s.decimalComma = app.changeDecimal;
    if (s.certFile.isEmpty() != s.keyFile.isEmpty() && problems)
        *problems << QStringLiteral("[Web] needs both CertFile and KeyFile for TLS");
    return s;
}

} // namespace pexumo
