#include "publish/mqttconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <arpa/inet.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pexumo {

namespace {

// A password is a string of the protocol, whose length field has 16 bits.
constexpr qint64 MaxPasswordBytes = 65535;

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

// Host names of letters, digits, dots, hyphens (and the underscores some local networks use), or
// an IPv6 address, with or without its brackets. Anything else is a slip such as a URL or a
// "host:port" the broker would never answer to.
bool isHostName(QString& host)
{
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.sliced(1, host.size() - 2);
    in6_addr address{};
    if (::inet_pton(AF_INET6, host.toLatin1().constData(), &address) == 1)
        return true;
    for (QChar c : std::as_const(host)) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
              u == u'.' || u == u'-' || u == u'_'))
            return false;
    }
    return true;
}

// What keeps \a file from being read, or "" when it can be.
QString fileProblem(QFile& file)
{
    const QFileInfo info(file.fileName());
    if (!info.exists())
        return QStringLiteral("no such file");
    if (info.isDir())
        return QStringLiteral("a folder, not a file");
    if (!file.open(QIODevice::ReadOnly))
        return lowerFirst(file.errorString());
    return {};
}

// A password every user of the machine can read is no secret; the group is left alone, since a
// service reads its file through its group (root:pexumo, 0640).
QString exposure(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !(st.st_mode & S_IROTH))
        return {};
    return QStringLiteral("password file %1 can be read by every user of this computer: "
                          "chmod o-r %1")
        .arg(path);
}

// A topic level from a name: the characters a topic gives a meaning to become "_".
QString topicLevel(QString name)
{
    for (QChar& c : name)
        if (c == u'/' || c == u'+' || c == u'#' || c == u' ')
            c = u'_';
    return name;
}

// The first line of the password file, its line end dropped; sets \a problem when there is none.
QString readPassword(const QString& path, QString& problem)
{
    QFile file(path);
    QString why = fileProblem(file);
    QByteArray line;
    if (why.isEmpty()) {
        line = file.readLine(MaxPasswordBytes + 2);
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > MaxPasswordBytes)
            why = QStringLiteral("the first line is longer than 65535 bytes");
        else if (line.isEmpty())
            why = QStringLiteral("empty first line");
    }
    if (!why.isEmpty())
        problem = QStringLiteral("password file %1: %2").arg(path, why);
    return QString::fromUtf8(line);
}

QString valueOf(const ConfigSection& keys, const char* name)
{
    return keys.value(QLatin1StringView(name)).value_or(QString());
}

// The first problem of \a config's values, or "".
QString check(MqttConfig& config, const QString& portText, const QString& passwordFile)
{
    if (!isHostName(config.host))
        return QStringLiteral("Host %1: not a host name or address (the port goes in Port)")
            .arg(quoted(config.host));
    if (!portText.isEmpty()) {
        const std::optional<qint64> port = parseWholeNumber(portText);
        if (!port || *port < 1 || *port > 65535)
            return QStringLiteral("Port %1: not a port number from 1 to 65535")
                .arg(quoted(portText));
        config.port = int(*port);
    }
    if (config.topic.contains(u'+') || config.topic.contains(u'#'))
        return QStringLiteral("Topic %1: \"+\" and \"#\" are wildcards for subscribers, not "
                              "part of a topic to publish to")
            .arg(quoted(config.topic));
    if (config.topic.startsWith(u'$'))
        return QStringLiteral("Topic %1: topics that start with \"$\" belong to the broker")
            .arg(quoted(config.topic));
    if (!passwordFile.isEmpty() && config.user.isEmpty())
        return QStringLiteral("PasswordFile is set but User is not: a password goes with a user "
                              "name");
    QString problem;
    if (!passwordFile.isEmpty()) {
        config.password = readPassword(passwordFile, problem);
        config.warning = exposure(passwordFile);
    }
    if (problem.isEmpty() && !config.caFile.isEmpty()) {
        QFile file(config.caFile);
        const QString why = fileProblem(file);
        if (!why.isEmpty())
            problem = QStringLiteral("CA file %1: %2").arg(config.caFile, why);
    }
    return problem;
}

} // namespace

MqttMachine MqttMachine::current()
{
    MqttMachine machine{QSysInfo::machineHostName(), {}, {}, {}};
    // The account the process runs as, not $USER, which a service started by the system lacks.
    if (const passwd* user = ::getpwuid(::geteuid()))
        machine.userName = QString::fromLocal8Bit(user->pw_name);
    if (machine.userName.isEmpty())
        machine.userName = QString::number(::geteuid());
    return machine;
}

MqttConfig mqttConfigFrom(const ConfigSection& keys, const QString& configPath,
                          const MqttMachine& machine)
{
    MqttConfig config;
    config.host = valueOf(keys, "Host");
    if (config.host.isEmpty())
        return config;
    const QDir base = QFileInfo(configPath).absoluteDir();
    const auto pathOf = [&base](const QString& name) {
        return name.isEmpty() ? name : QDir::cleanPath(base.absoluteFilePath(name));
    };
    config.caFile = pathOf(valueOf(keys, "CaFile"));
    if (!config.caFile.isEmpty())
        config.port = DefaultMqttTlsPort;
    config.topic = valueOf(keys, "Topic");
    while (config.topic.endsWith(u'/'))
        config.topic.chop(1);
    // Several loggers of one machine read one config.ini: each keeps to a topic of its own.
    if (config.topic.isEmpty())
        config.topic = machine.instance.isEmpty() ? QStringLiteral("pexumo/{host}")
                                                  : QStringLiteral("pexumo/{host}/{port}");
    config.topic.replace(QLatin1StringView("{host}"), topicLevel(machine.hostName))
        .replace(QLatin1StringView("{port}"),
                 topicLevel(machine.port.isEmpty() ? machine.instance : machine.port));
    config.clientId = valueOf(keys, "ClientId");
    if (config.clientId.isEmpty())
        config.clientId = QStringLiteral("pexumo-%1-%2").arg(machine.hostName, machine.userName) +
                          (machine.instance.isEmpty() ? QString() : u'-' + machine.instance);
    config.user = valueOf(keys, "User");
    config.problem = check(config, valueOf(keys, "Port"), pathOf(valueOf(keys, "PasswordFile")));
    return config;
}

MqttConfig readMqttConfig(const QString& configPath, const MqttMachine& machine)
{
    return mqttConfigFrom(readConfigSection(configPath, QLatin1StringView("Mqtt")), configPath,
                          machine);
}

} // namespace pexumo
