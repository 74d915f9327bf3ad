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
    return {"10:00:00", "pH", QString::number(i), "pH", "25.0", "C", 0, 1796821387000, 3600};
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
    outbox.add(7, ListId::ORP, {"14:03:08", "ORP", "-123", "mV", "", "", 0, 1796821388000, 3600});
    outbox.add(7, ListId::Records, {"3", "pH", "7,1", "pH", "25,0", "C", -1, 1796821389000, 3600});
    for (int i = 4; i <= 40; ++i)
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
    EXPECT_EQ(firstPayloadOn(messages, "site/ORP"),
              R"({"session":7,"seq":2,"time":"2026-12-09T14:03:08+01:00","type":"ORP",)"
              R"("value":-123,"unit":"mV"})");
    EXPECT_EQ(firstPayloadOn(messages, "site/Records"),
              R"({"session":7,"seq":3,"record":3,"time":"2026-12-09T14:03:09+01:00",)"
              R"("type":"pH","value":-7.1,"unit":"pH","temp":25,"temp_unit":"C"})");
    EXPECT_EQ(firstPayloadOn(messages, "site/alarm"), R"({"alarm":"pH high","state":"rise"})");
    EXPECT_EQ(firstPayloadOn(messages, "site/status"), "online");
}

TEST_F(MqttPublisherTest, NextPublisherSendsTheBacklogOfOneEndedWhileTheBrokerWasDown)
{
    for (int i = 1; i <= 10; ++i)
        outbox.add(1, ListId::PH, sample(i));
    {
        MqttPublisher first(outbox, Fast);
        first.start(configFor(broker.port()));
        ASSERT_TRUE(outbox.waitAcknowledged({1, 10}, 30s));
        broker.stop();
        for (int i = 11; i <= 15; ++i)
            outbox.add(1, ListId::PH, sample(i));
        for (int i = 1; i <= 5; ++i)
            outbox.add(2, ListId::DO, sample(i));
        ASSERT_TRUE(waitForStatus(first, [](MqttStatus s) {
            return s.state == MqttState::Disconnected && s.waiting == 10;
        }));
        EXPECT_EQ(mqttStatusText(first.status()), "MQTT: 10 rows waiting");
        EXPECT_FALSE(first.stop()) << "no broker to take \"offline\"";
    }
    ASSERT_TRUE(broker.start()) << broker.errorString().toStdString();
    MqttPublisher second(outbox, Fast);
    second.start(configFor(broker.port()));
    ASSERT_TRUE(outbox.waitAcknowledged({2, 5}, 30s));
    const std::vector<OutboxPosition> listed = rowsOf(2, 5, rowsOf(1, 15));
    subscriber.waitFor([&](const Messages& m) { return firstArrivals(m).size() == listed.size(); });
    EXPECT_EQ(firstArrivals(subscriber.messages()), listed);
}

/// A connection the broker refuses, or a configuration that keeps the publisher off.
struct RefusalCase
{
    const char* name;
    /// Sets up the broker (stopped when \a running is false) and makes the configuration.
    std::function<MqttConfig(MqttBroker&, const QTemporaryDir&)> setUp;
    MqttState state;
    const char* reason; ///< "@" stands for the temporary folder
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class Refusal : public ::testing::TestWithParam<RefusalCase>
{
};

MqttConfig loginAs(MqttBroker& broker, const char* password)
{
    EXPECT_TRUE(broker.requireLogin("meter", "right"));
    EXPECT_TRUE(broker.start()) << broker.errorString().toStdString();
    MqttConfig config = configFor(broker.port());
    config.user = QStringLiteral("meter");
    config.password = QString::fromLatin1(password);
    return config;
}

TEST_P(Refusal, SaysWhy)
{
    if (!MqttBroker::isInstalled())
        GTEST_SKIP() << "mosquitto is not installed";
    MqttBroker broker;
    QTemporaryDir dir;
    MemoryOutbox outbox;
    MqttPublisher publisher(outbox, Fast);
    publisher.start(GetParam().setUp(broker, dir));
    const MqttStatus expected{GetParam().state, 0,
                              QString::fromUtf8(GetParam().reason).replace(u'@', dir.path())};
    EXPECT_TRUE(waitForStatus(publisher, [&](MqttStatus s) { return s == expected; }))
        << publisher.status().reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Connections, Refusal,
    ::testing::Values(RefusalCase{"right_password",
                                  [](MqttBroker& broker, const QTemporaryDir&) {
                                      return loginAs(broker, "right");
                                  },
                                  MqttState::Connected, ""},
                      RefusalCase{"wrong_password",
                                  [](MqttBroker& broker, const QTemporaryDir&) {
                                      return loginAs(broker, "wrong");
                                  },
                                  MqttState::Disconnected,
                                  "not authorised: check User and PasswordFile"},
                      RefusalCase{"no_broker_listening",
                                  [](MqttBroker& broker, const QTemporaryDir&) {
                                      EXPECT_TRUE(broker.start());
                                      broker.stop();
                                      return configFor(broker.port());
                                  },
                                  MqttState::Disconnected, "connection refused"},
                      RefusalCase{"missing_ca_file",
                                  [](MqttBroker&, const QTemporaryDir& dir) {
                                      QFile ini(dir.filePath("config.ini"));
                                      EXPECT_TRUE(
                                          ini.open(QIODevice::WriteOnly) &&
                                          ini.write("[Mqtt]\nHost=127.0.0.1\nCaFile=ca.pem\n") > 0);
                                      ini.close();
                                      return readMqttConfig(ini.fileName());
                                  },
                                  MqttState::Off, "CA file @/ca.pem: no such file"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pexumo

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the publisher's status arrives as a queued call
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
