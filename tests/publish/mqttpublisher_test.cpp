// The publisher against a real broker started by the test, with a subscriber of the test's own.
#include "publish/memoryoutbox.h"
#include "publish/mqttpublisher.h"

#include "support/mqttbroker.h"
#include "support/mqttsubscriber.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

namespace pexumo {

void PrintTo(const OutboxPosition& p, std::ostream* os)
{
    *os << p.session << '/' << p.seq;
}

namespace {

using namespace std::chrono_literals;
using test::MqttBroker;
using test::MqttSubscriber;
using Messages = std::vector<MqttSubscriber::Message>;

// Short waits between attempts, so that a broker's return is noticed within half a second.
constexpr MqttTiming Fast{100ms, 400ms, 10000ms, 5000ms, 30};

MqttConfig configFor(quint16 port)
{
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = port;
    config.topic = QStringLiteral("site");
    config.clientId = QStringLiteral("pexumo-test");
    return config;
}

ResultRecord sample(int i)
{
    return {"14:03:07", "pH", QString::number(i), "pH", "25.0", "C", 0, 1796821387000, 3600};
}

bool waitForStatus(const MqttPublisher& publisher, const std::function<bool(MqttStatus)>& done)
{
    return QTest::qWaitFor([&] { return done(publisher.status()); }, 30000);
}

// (session, seq) of the rows received, each at its first arrival: a row sent again after a lost
// connection may come twice, but equal to the rows listed means none was skipped or overtaken.
std::vector<OutboxPosition> firstArrivals(const Messages& messages)
{
    std::vector<OutboxPosition> rows;
    for (const auto& m : messages) {
        if (m.topic == "site/status" || m.topic == "site/alarm")
            continue;
        const QJsonObject row = QJsonDocument::fromJson(m.payload).object();
        const OutboxPosition position{row["session"].toInteger(), row["seq"].toInteger()};
        if (std::find(rows.begin(), rows.end(), position) == rows.end())
            rows.push_back(position);
    }
    return rows;
}

std::vector<OutboxPosition> rowsOf(qint64 session, qint64 last,
                                   std::vector<OutboxPosition> before = {})
{
    for (qint64 seq = 1; seq <= last; ++seq)
        before.push_back({session, seq});
    return before;
}

QByteArray firstPayloadOn(const Messages& messages, const QByteArray& topic)
{
    for (const auto& m : messages)
        if (m.topic == topic)
            return m.payload;
    return {};
}

class MqttPublisherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MqttBroker::isInstalled())
            GTEST_SKIP() << "mosquitto is not installed";
        ASSERT_TRUE(broker.start()) << broker.errorString().toStdString();
        ASSERT_TRUE(subscriber.start(broker.port(), "site/#"));
    }

    MqttBroker broker;
    MqttSubscriber subscriber;
    MemoryOutbox outbox;
};

TEST_F(MqttPublisherTest, EveryRowArrivesInOrderAcrossABrokerRestart)
{
    MqttPublisher publisher(outbox, Fast);
    publisher.start(configFor(broker.port()));
    outbox.add(7, ListId::PH,
               {"14:03:07", "pH", "7.12", "pH", "25.3", "C", 0, 1796821387000, 3600});
    for (int i = 2; i <= 40; ++i)
        outbox.add(7, ListId::PH, sample(i));
    ASSERT_TRUE(outbox.waitAcknowledged({7, 40}, 30s));
    ASSERT_TRUE(waitForStatus(publisher, [](MqttStatus s) {
        return s == MqttStatus{MqttState::Connected, 0, ""};
    }));
    EXPECT_EQ(mqttStatusText(publisher.status()), "MQTT connected");

    // The broker goes down while rows stream: some are in flight, some not sent yet.
    for (int i = 41; i <= 3000; ++i)
        outbox.add(7, ListId::PH, sample(i));
    broker.stop();
    publisher.publishAlarm(R"({"alarm":"pH high","state":"rise"})");
    for (int i = 3001; i <= 3040; ++i)
        outbox.add(7, ListId::PH, sample(i));
    // Still trying: the attempts after the loss are refused.
    ASSERT_TRUE(waitForStatus(publisher, [](MqttStatus s) {
        return s.state == MqttState::Disconnected && s.waiting >= 40 &&
               s.reason == "connection refused";
    }));
    ASSERT_TRUE(broker.start()) << broker.errorString().toStdString();
    ASSERT_TRUE(outbox.waitAcknowledged({7, 3040}, 30s));
    EXPECT_TRUE(publisher.stop()) << "the broker took \"offline\"";
    EXPECT_EQ(publisher.status(), (MqttStatus{MqttState::Off, 0, "stopped"}));
    // The broker's shutdown sent the last will "offline" already; this one comes after the rows.
    subscriber.waitFor([](const Messages& m) {
        return firstArrivals(m).size() == 3040 && m.back().payload == "offline";
    });

    const Messages messages = subscriber.messages();
    EXPECT_EQ(firstArrivals(messages), rowsOf(7, 3040));
    EXPECT_EQ(firstPayloadOn(messages, "site/pH"),
              R"({"session":7,"seq":1,"time":"2026-12-09T14:03:07+01:00","type":"pH",)"
              R"("value":7.12,"unit":"pH","temp":25.3,"temp_unit":"C"})");
    EXPECT_EQ(firstPayloadOn(messages, "site/alarm"), R"({"alarm":"pH high","state":"rise"})");
    EXPECT_EQ(firstPayloadOn(messages, "site/status"), "online");
}

/// A login, TLS, and whether a broker listens; the status the publisher settles in.
struct RefusalCase
{
    const char* name;
    const char* password; ///< for the user "meter", whose password is "right"; null: no login
    bool tls;
    bool listening;
    MqttStatus status;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class Refusal : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(Refusal, SaysWhy)
{
    if (!MqttBroker::isInstalled())
        GTEST_SKIP() << "mosquitto is not installed";
    const RefusalCase& c = GetParam();
    MqttBroker broker;
    MqttConfig config = configFor(0);
    ASSERT_TRUE(!c.password || broker.requireLogin("meter", "right"));
    if (c.tls)
        config.caFile = broker.requireTls();
    ASSERT_TRUE(broker.start()) << broker.errorString().toStdString();
    if (!c.listening)
        broker.stop();
    config.port = broker.port();
    config.user = c.password ? "meter" : "";
    config.password = QString::fromLatin1(c.password);
    MemoryOutbox outbox;
    MqttPublisher publisher(outbox, Fast);
    publisher.start(config);
    EXPECT_TRUE(waitForStatus(publisher, [&](MqttStatus s) { return s == c.status; }))
        << publisher.status().reason.toStdString() << broker.errorString().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Connections, Refusal,
    ::testing::Values(
        // name, password, tls, listening, status
        RefusalCase{"right_password", "right", false, true, {MqttState::Connected, 0, ""}},
        RefusalCase{"wrong_password",
                    "wrong",
                    false,
                    true,
                    {MqttState::Disconnected, 0, "not authorised: check User and PasswordFile"}},
        RefusalCase{"tls_with_the_broker_ca", "right", true, true, {MqttState::Connected, 0, ""}},
        RefusalCase{"no_broker_listening",
                    nullptr,
                    false,
                    false,
                    {MqttState::Disconnected, 0, "connection refused"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The path from config.ini to the indicator: a bad value keeps publishing off and says why.
TEST(MqttPublisherOff, MissingCaFile)
{
    QTemporaryDir dir;
    QFile ini(dir.filePath("config.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly) &&
                ini.write("[Mqtt]\nHost=127.0.0.1\nCaFile=ca.pem\n") > 0 && ini.flush());
    MemoryOutbox outbox;
    MqttPublisher publisher(outbox);
    publisher.start(readMqttConfig(ini.fileName()));
    EXPECT_EQ(publisher.status(),
              (MqttStatus{MqttState::Off, 0, "CA file " + dir.path() + "/ca.pem: no such file"}));
}

} // namespace
} // namespace pexumo

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the publisher's status arrives as a queued call
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
