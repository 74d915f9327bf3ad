#include "publish/mqttconfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <utility>
#include <vector>

namespace pexumo {
namespace {

struct MqttConfigCase
{
    const char* name;
    QByteArray ini;
    /// Files made beside config.ini; a name ending in "/" is a folder.
    std::vector<std::pair<const char*, QByteArray>> files;
    /// "host:port topic client-id user password CA-file", or "off: <problem>"; "@" stands for
    /// the folder of config.ini.
    const char* expected;
};

void PrintTo(const MqttConfigCase& c, std::ostream* os)
{
    *os << c.name;
}

QString describe(const MqttConfig& c)
{
    if (!c.isOn())
        return QStringLiteral("off: ") + c.problem;
    return QStringLiteral("%1:%2 %3 %4 %5 %6 %7")
        .arg(c.host)
        .arg(c.port)
        .arg(c.topic, c.clientId, c.user, c.password, c.caFile);
}

class ReadMqttConfig : public ::testing::TestWithParam<MqttConfigCase>
{
};

TEST_P(ReadMqttConfig, Reads)
{
    QTemporaryDir dir;
    for (const auto& [name, content] : GetParam().files) {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile file(dir.filePath(name));
        if (!QByteArrayView(name).endsWith('/')) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) >= 0);
        }
    }
    const MqttConfig config =
        mqttConfigFrom(parseConfigSection(GetParam().ini, QLatin1StringView("Mqtt")),
                       dir.filePath("config.ini"), {"lab-pc", "anna", {}, {}});
    EXPECT_EQ(describe(config), QString::fromUtf8(GetParam().expected).replace(u'@', dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadMqttConfig,
    ::testing::Values(
        MqttConfigCase{"no_host_is_off", "[Mqtt]\nPort=1884\nTopic=farm\n", {}, "off: "},
        MqttConfigCase{"host_of_another_section", "[Pexumo]\nHost=broker.lan\n", {}, "off: "},
        MqttConfigCase{"defaults",
                       "[Mqtt]\nHost=broker.lan\n",
                       {},
                       "broker.lan:1883 pexumo/lab-pc pexumo-lab-pc-anna   "},
        MqttConfigCase{"every_key_in_any_case",
                       "[mqtt]\nHOST=10.0.0.5\nport=$75B\ntopic=\"farm/tank 3/\"\nClientID=m-7\n"
                       "user=anna\npasswordfile=secret/pw\nHost=ignored\n",
                       {{"secret/pw", "s3cret\r\nsecond line\n"}},
                       "10.0.0.5:1883 farm/tank 3 m-7 anna s3cret "},
        MqttConfigCase{"ca_file_moves_the_default_port",
                       "[Mqtt]\nHost=broker.lan\nCaFile=certs/ca.pem\n",
                       {{"certs/ca.pem", "PEM"}},
                       "broker.lan:8883 pexumo/lab-pc pexumo-lab-pc-anna   @/certs/ca.pem"},
        MqttConfigCase{"port_beats_the_tls_default",
                       "[Mqtt]\nHost=[fd00::1]\nCaFile=ca.pem\nPort=9883\n",
                       {{"ca.pem", "PEM"}},
                       "fd00::1:9883 pexumo/lab-pc pexumo-lab-pc-anna   @/ca.pem"},
        MqttConfigCase{"port_zero",
                       "[Mqtt]\nHost=b\nPort=0\n",
                       {},
                       "off: Port \"0\": not a port number from 1 to 65535"},
        MqttConfigCase{"port_too_big",
                       "[Mqtt]\nHost=b\nPort=65536\n",
                       {},
                       "off: Port \"65536\": not a port number from 1 to 65535"},
        MqttConfigCase{"host_as_url",
                       "[Mqtt]\nHost=mqtt://b.lan\n",
                       {},
                       "off: Host \"mqtt://b.lan\": not a host name or address (the port goes in "
                       "Port)"},
        MqttConfigCase{"host_with_port",
                       "[Mqtt]\nHost=b.lan:1883\n",
                       {},
                       "off: Host \"b.lan:1883\": not a host name or address (the port goes in "
                       "Port)"},
        MqttConfigCase{"topic_wildcard",
                       "[Mqtt]\nHost=b\nTopic=farm/+/pH\n",
                       {},
                       "off: Topic \"farm/+/pH\": \"+\" and \"#\" are wildcards for subscribers, "
                       "not part of a topic to publish to"},
        MqttConfigCase{"topic_of_the_broker",
                       "[Mqtt]\nHost=b\nTopic=$SYS/farm\n",
                       {},
                       "off: Topic \"$SYS/farm\": topics that start with \"$\" belong to the "
                       "broker"},
        MqttConfigCase{"password_without_user",
                       "[Mqtt]\nHost=b\nPasswordFile=pw\n",
                       {{"pw", "s3cret\n"}},
                       "off: PasswordFile is set but User is not: a password goes with a user "
                       "name"},
        MqttConfigCase{"password_file_missing",
                       "[Mqtt]\nHost=b\nUser=anna\nPasswordFile=pw\n",
                       {},
                       "off: password file @/pw: no such file"},
        MqttConfigCase{"password_file_empty",
                       "[Mqtt]\nHost=b\nUser=anna\nPasswordFile=pw\n",
                       {{"pw", "\r\n"}},
                       "off: password file @/pw: empty first line"},
        MqttConfigCase{"ca_file_missing",
                       "[Mqtt]\nHost=b\nCaFile=certs/ca.pem\n",
                       {},
                       "off: CA file @/certs/ca.pem: no such file"},
        MqttConfigCase{"ca_file_is_a_folder",
                       "[Mqtt]\nHost=b\nCaFile=certs\n",
                       {{"certs/", ""}},
                       "off: CA file @/certs: a folder, not a file"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pexumo

namespace pexumo {
namespace {

// One logger per meter: each is a client of its own unless config.ini names one for all.
TEST(MqttClientId, TakesTheInstanceUnlessConfigured)
{
    const auto clientId = [](const char* ini) {
        return mqttConfigFrom(parseConfigSection(ini, QLatin1StringView("Mqtt")), "config.ini",
                              {"lab-pc", "pexumo", "ttyUSB1", "ttyUSB1"})
            .clientId;
    };
    EXPECT_EQ(clientId("[Mqtt]\nHost=broker\n"), "pexumo-lab-pc-pexumo-ttyUSB1");
    EXPECT_EQ(clientId("[Mqtt]\nHost=broker\nClientId=pond-3\n"), "pond-3");
}

// Two loggers of one machine read one config.ini: by default each has a topic of its own, and a
// Topic of one's own choosing names the meter with {port} and the machine with {host}.
struct TopicCase
{
    const char* topic;    ///< the Topic key; null for none
    const char* instance; ///< a logger's port, "" for the window
    const char* port;     ///< the port's name
    const char* expected;
};

TEST(MqttTopic, OfEachProgram)
{
    const TopicCase cases[] = {
        {nullptr, "ttyUSB0", "ttyUSB0", "pexumo/lab-pc/ttyUSB0"},
        {nullptr, "ttyUSB1", "ttyUSB1", "pexumo/lab-pc/ttyUSB1"},
        {nullptr, "", "COM2", "pexumo/lab-pc"},
        {"plant/{host}/{port}", "ttyUSB1", "ttyUSB1", "plant/lab-pc/ttyUSB1"},
        {"plant/{port}/raw/{port}", "", "ttyACM0", "plant/ttyACM0/raw/ttyACM0"},
        {"plant/basin1", "ttyUSB0", "ttyUSB0", "plant/basin1"},
        // A name with a topic's special characters cannot split or widen the topic.
        {"plant/{port}", "meter #2+", "meter #2+", "plant/meter__2_"},
    };
    for (const TopicCase& c : cases) {
        const QByteArray ini = "[Mqtt]\nHost=broker\n" +
                               (c.topic ? "Topic=" + QByteArray(c.topic) + "\n" : QByteArray());
        const MqttConfig config =
            mqttConfigFrom(parseConfigSection(ini, QLatin1StringView("Mqtt")), "config.ini",
                           {"lab-pc", "pexumo", c.instance, c.port});
        EXPECT_EQ(config.topic, c.expected) << (c.topic ? c.topic : "(none)") << " " << c.port;
        EXPECT_TRUE(config.isOn()) << config.problem.toStdString();
    }
}

// A password that every user of the machine can read is told, but used; the group may read it
// (a service reads its password through its group).
TEST(MqttPasswordFile, ThatEveryUserCanReadIsWarnedOf)
{
    const std::pair<QFile::Permissions, bool> cases[] = {
        {QFile::ReadOwner | QFile::WriteOwner, false},
        {QFile::ReadOwner | QFile::ReadGroup, false},
        {QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther, true},
        {QFile::ReadOwner | QFile::ReadOther, true},
    };
    for (const auto& [permissions, warned] : cases) {
        QTemporaryDir dir;
        QFile file(dir.filePath("pw"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("s3cret\n") == 7);
        file.close();
        ASSERT_TRUE(file.setPermissions(permissions));
        const MqttConfig config = mqttConfigFrom(
            parseConfigSection("[Mqtt]\nHost=b\nUser=anna\nPasswordFile=pw\n",
                               QLatin1StringView("Mqtt")),
            dir.filePath("config.ini"), {"lab-pc", "anna", {}, {}});
        EXPECT_EQ(config.password, "s3cret");
        EXPECT_EQ(config.warning,
                  warned ? "password file " + dir.path() +
                               "/pw can be read by every user of this computer: chmod o-r " +
                               dir.path() + "/pw"
                         : QString())
            << int(permissions);
    }
}

} // namespace
} // namespace pexumo
