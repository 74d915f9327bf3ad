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

const MqttMachine Machine{QStringLiteral("lab-pc"), QStringLiteral("anna")};

/// A config.ini holding \a ini and, beside it, \a files (a name ending in "/" is a folder).
struct ConfigFolder
{
    QTemporaryDir dir;
    QString path() const { return dir.filePath("config.ini"); }

    MqttConfig read(const QByteArray& ini,
                    const std::vector<std::pair<const char*, QByteArray>>& files)
    {
        for (const auto& [name, content] : files) {
            QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
            QFile file(dir.filePath(name));
            if (!QByteArrayView(name).endsWith('/')) {
                EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) >= 0);
            }
        }
        return mqttConfigFrom(parseConfigSection(ini, QLatin1StringView("Mqtt")), path(), Machine);
    }
};

struct GoodCase
{
    const char* name;
    QByteArray ini;
    std::vector<std::pair<const char*, QByteArray>> files;
    MqttConfig expected; ///< caFile relative to the folder of config.ini
};

void PrintTo(const GoodCase& c, std::ostream* os)
{
    *os << c.name;
}

class GoodMqttConfig : public ::testing::TestWithParam<GoodCase>
{
};

TEST_P(GoodMqttConfig, Reads)
{
    ConfigFolder folder;
    const GoodCase& c = GetParam();
    MqttConfig expected = c.expected;
    if (!expected.caFile.isEmpty())
        expected.caFile = folder.dir.filePath(expected.caFile);
    const MqttConfig config = folder.read(c.ini, c.files);
    EXPECT_EQ(config, expected) << config.problem.toStdString();
    EXPECT_EQ(config.isOn(), !expected.host.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, GoodMqttConfig,
    ::testing::Values(
        GoodCase{"no_host_is_off", "[Mqtt]\nPort=1884\nTopic=farm\n", {}, {}},
        GoodCase{"host_in_another_section", "[Pexumo]\nHost=broker.lan\n", {}, {}},
        GoodCase{"defaults",
                 "[Mqtt]\nHost=broker.lan\n",
                 {},
                 {"broker.lan", 1883, "pexumo/lab-pc", "pexumo-lab-pc-anna", "", "", "", ""}},
        GoodCase{"every_key_in_any_case",
                 "[mqtt]\nHOST=10.0.0.5\nport=$75B\ntopic=\"farm/tank 3/\"\nClientID=meter-7\n"
                 "user=anna\npasswordfile=secret/pw\nHost=ignored\n",
                 {{"secret/pw", "s3cret\r\nsecond line\n"}},
                 {"10.0.0.5", 1883, "farm/tank 3", "meter-7", "anna", "s3cret", "", ""}},
        GoodCase{"ca_file_moves_the_default_port",
                 "[Mqtt]\nHost=broker.lan\nCaFile=certs/ca.pem\n",
                 {{"certs/ca.pem", "PEM"}},
                 {"broker.lan", 8883, "pexumo/lab-pc", "pexumo-lab-pc-anna", "", "", "certs/ca.pem",
                  ""}},
        GoodCase{"port_beats_the_tls_default",
                 "[Mqtt]\nHost=broker.lan\nCaFile=ca.pem\nPort=9883\n",
                 {{"ca.pem", "PEM"}},
                 {"broker.lan", 9883, "pexumo/lab-pc", "pexumo-lab-pc-anna", "", "", "ca.pem", ""}},
        GoodCase{"ipv6_in_brackets",
                 "[Mqtt]\nHost=[fd00::1]\n",
                 {},
                 {"fd00::1", 1883, "pexumo/lab-pc", "pexumo-lab-pc-anna", "", "", "", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCase
{
    const char* name;
    QByteArray ini;
    std::vector<std::pair<const char*, QByteArray>> files;
    const char* problem; ///< "@" stands for the folder of config.ini
};

void PrintTo(const BadCase& c, std::ostream* os)
{
    *os << c.name;
}

class BadMqttConfig : public ::testing::TestWithParam<BadCase>
{
};

TEST_P(BadMqttConfig, SaysWhyAndIsOff)
{
    ConfigFolder folder;
    const BadCase& c = GetParam();
    const MqttConfig config = folder.read("[Mqtt]\n" + c.ini + "Host=broker.lan\n", c.files);
    EXPECT_EQ(config.problem, QString::fromUtf8(c.problem).replace(u'@', folder.dir.path()));
    EXPECT_FALSE(config.isOn());
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadMqttConfig,
    ::testing::Values(
        BadCase{"port_zero", "Port=0\n", {}, "Port \"0\": not a port number from 1 to 65535"},
        BadCase{"port_too_big",
                "Port=65536\n",
                {},
                "Port \"65536\": not a port number from 1 to 65535"},
        BadCase{
            "port_text", "Port=18 83\n", {}, "Port \"18 83\": not a port number from 1 to 65535"},
        BadCase{"host_as_url",
                "Host=mqtt://broker.lan\n",
                {},
                "Host \"mqtt://broker.lan\": not a host name or address (the port goes in Port)"},
        BadCase{"host_with_port",
                "Host=broker.lan:1883\n",
                {},
                "Host \"broker.lan:1883\": not a host name or address (the port goes in Port)"},
        BadCase{"topic_wildcard",
                "Topic=farm/+/pH\n",
                {},
                "Topic \"farm/+/pH\": \"+\" and \"#\" are wildcards for subscribers, not part of a "
                "topic to publish to"},
        BadCase{"topic_of_the_broker",
                "Topic=$SYS/farm\n",
                {},
                "Topic \"$SYS/farm\": topics that start with \"$\" belong to the broker"},
        BadCase{"password_without_user",
                "PasswordFile=pw\n",
                {{"pw", "s3cret\n"}},
                "PasswordFile is set but User is not: a password goes with a user name"},
        BadCase{"password_file_missing",
                "User=anna\nPasswordFile=pw\n",
                {},
                "password file @/pw: no such file"},
        BadCase{"password_file_empty",
                "User=anna\nPasswordFile=pw\n",
                {{"pw", "\r\n"}},
                "password file @/pw: empty first line"},
        BadCase{
            "ca_file_missing", "CaFile=certs/ca.pem\n", {}, "CA file @/certs/ca.pem: no such file"},
        BadCase{"ca_file_is_a_folder",
                "CaFile=certs\n",
                {{"certs/", ""}},
                "CA file @/certs: a folder, not a file"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pexumo
