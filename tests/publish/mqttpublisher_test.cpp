// The publisher against a real broker started by the test, with a subscriber of the test's own.
#include "publish/memoryoutbox.h"
#include "publish/mqttpublisher.h"

#include "support/blackhole.h"
#include "support/mqttbroker.h"
#include "support/mqttsubscriber.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
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

// pH 9.5 above a high limit of 9, at 2026-12-09 14:03:07 +01:00.
const AlarmEvent HighPh{AlarmChange::Raise,
                        {AlarmParameter::PH, AlarmSide::Above, 9.5, 9.0, 9.5, 1796821387000,
                         1796821387000, 3600},
                        1796821387000,
                        3600};

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
    publisher.start(configFor(broker.port()), 7);
    outbox.add(7, ListId::PH,
               {"14:03:07", "pH", "7.12", "pH", "25.3", "C", 0, 1796821387000, 3600});
    for (int i = 2; i <= 40; ++i)
        outbox.add(7, ListId::PH, sample(i));
    ASSERT_TRUE(outbox.waitAcknowledged({7, 40}, 30s));
    ASSERT_TRUE(waitForStatus(publisher, [](MqttStatus s) {
        return s.state == MqttState::Connected && s.waiting == 0;
    }));

    // The broker goes down while rows stream: some are in flight, some not sent yet.
    for (int i = 41; i <= 3000; ++i)
        outbox.add(7, ListId::PH, sample(i));
    broker.stop();
    outbox.addAlarm(7, 0, HighPh);
    for (int i = 3001; i <= 3040; ++i)
        outbox.add(7, ListId::PH, sample(i));
    // Still trying: the attempts after the loss are refused.
    ASSERT_TRUE(waitForStatus(publisher, [](MqttStatus s) {
        return s.state == MqttState::Disconnected && s.waiting >= 40 &&
               s.reason == "connection refused";
    }));
    ASSERT_TRUE(broker.start()) << broker.errorString().toStdString();
    ASSERT_TRUE(outbox.waitAcknowledged({7, 3040}, 30s));
    // The rows that waited for the broker are all there: the status says how many went.
    ASSERT_TRUE(waitForStatus(publisher, [](MqttStatus s) {
        return s.state == MqttState::Connected && s.waiting == 0 && s.sent >= 40;
    }));
    EXPECT_TRUE(mqttStatusText(publisher.status()).startsWith("MQTT connected, "));
    EXPECT_TRUE(mqttStatusText(publisher.status()).endsWith(" rows sent"));
    EXPECT_TRUE(publisher.stop()) << "the broker took \"offline\"";
    EXPECT_EQ(publisher.status(), (MqttStatus{MqttState::Off, 0, "stopped", 0}));
    EXPECT_TRUE(outbox.alarmsWaiting({}, 10).empty()) << "the alarm was acknowledged";
    // The broker's shutdown sent the last will "offline" already; this one comes after the rows.
    subscriber.waitFor([](const Messages& m) {
        return firstArrivals(m).size() == 3040 &&
               m.back().payload == R"({"status":"offline","session":7})";
    });

    const Messages messages = subscriber.messages();
    EXPECT_EQ(firstArrivals(messages), rowsOf(7, 3040));
    EXPECT_EQ(firstPayloadOn(messages, "site/pH"),
              R"({"session":7,"seq":1,"port":"","time":"2026-12-09T14:03:07.000+01:00",)"
              R"("ts":1796821387000,"type":"pH","value":7.12,"unit":"pH","temp":25.3,)"
              R"("temp_unit":"C"})");
    EXPECT_EQ(firstPayloadOn(messages, "site/alarm"),
              R"({"session":7,"event":"raise","parameter":"pH","side":"above","value":9.5,)"
              R"("unit":"pH","limit":9,"worst":9.5,"since":"2026-12-09T14:03:07.000+01:00",)"
              R"("raised":"2026-12-09T14:03:07.000+01:00",)"
              R"("time":"2026-12-09T14:03:07.000+01:00","ts":1796821387000})");
    EXPECT_EQ(firstPayloadOn(messages, "site/status"), R"({"status":"online","session":7})");
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
        RefusalCase{"right_password", "right", false, true, {MqttState::Connected, 0, "", 0}},
        RefusalCase{"wrong_password",
                    "wrong",
                    false,
                    true,
                    {MqttState::Disconnected, 0, "not authorised: check User and PasswordFile", 0}},
        RefusalCase{"tls_with_the_broker_ca", "right", true, true, {MqttState::Connected, 0, "", 0}},
        RefusalCase{"no_broker_listening",
                    nullptr,
                    false,
                    false,
                    {MqttState::Disconnected, 0, "connection refused", 0}}),
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
              (MqttStatus{MqttState::Off, 0, "CA file " + dir.path() + "/ca.pem: no such file", 0}));
}

// The rows of the last moments before a stop are sent before "offline", which comes last.
TEST_F(MqttPublisherTest, StopSendsWhatWaitsThenOffline)
{
    MqttPublisher publisher(outbox, Fast);
    publisher.start(configFor(broker.port()), 3);
    ASSERT_TRUE(waitForStatus(publisher, [](MqttStatus s) { return s.state == MqttState::Connected; }));
    for (int i = 1; i <= 300; ++i)
        outbox.add(3, ListId::PH, sample(i));
    outbox.addAlarm(3, 0, HighPh);
    EXPECT_TRUE(publisher.stop());
    EXPECT_EQ(outbox.acknowledgedPosition(), (OutboxPosition{3, 300}));
    EXPECT_TRUE(outbox.alarmsWaiting({}, 10).empty());
    ASSERT_TRUE(subscriber.waitFor([](const Messages& m) {
        return !m.empty() && m.back().payload == R"({"status":"offline","session":3})";
    }));
    EXPECT_EQ(firstArrivals(subscriber.messages()), rowsOf(3, 300));
}

/// A look-up that answers \a addresses, or never (until the test ends) when \a hang.
struct Resolver
{
    std::shared_ptr<std::promise<void>> release = std::make_shared<std::promise<void>>();
    ~Resolver() { release->set_value(); }

    MqttResolver answering(QStringList addresses, QString problem = {})
    {
        return [=](const QString&, int) { return MqttLookup{addresses, problem}; };
    }
    MqttResolver hanging()
    {
        return [wait = release->get_future().share()](const QString&, int) {
            wait.wait();
            return MqttLookup{};
        };
    }
};

// The broker's name is looked up apart from the connection, which takes the address found; the
// system's resolver turns "localhost" into its addresses (::1 finds no broker here, 127.0.0.1
// does: the next address is tried at once).
TEST_F(MqttPublisherTest, ConnectsToTheAddressTheNameHas)
{
    Resolver resolver;
    struct Case
    {
        const char* host;
        MqttResolver resolve;
        MqttStatus status;
    };
    const Case cases[] = {
        {"broker.test", resolver.answering({"127.0.0.1"}), {MqttState::Connected, 0, "", 0}},
        {"broker.test", resolver.answering({"127.0.0.2", "127.0.0.1"}),
         {MqttState::Connected, 0, "", 0}},
        {"nowhere.test", resolver.answering({}, "host \"nowhere.test\" not found"),
         {MqttState::Disconnected, 0, "host \"nowhere.test\" not found", 0}},
        {"localhost", lookUpHost, {MqttState::Connected, 0, "", 0}},
    };
    for (const Case& c : cases) {
        MqttConfig config = configFor(broker.port());
        config.host = c.host;
        MqttPublisher publisher(outbox, Fast);
        publisher.setResolver(c.resolve);
        publisher.start(config);
        EXPECT_TRUE(waitForStatus(publisher, [&](MqttStatus s) { return s == c.status; }))
            << c.host << ": " << publisher.status().reason.toStdString();
    }
    EXPECT_EQ(lookUpHost("nowhere.invalid", 1883).problem, "host \"nowhere.invalid\" not found");

    // A look-up that takes longer than an attempt may is told, and waited for no longer.
    MqttTiming shortAttempt = Fast;
    shortAttempt.connectTimeout = 300ms;
    MqttConfig config = configFor(broker.port());
    config.host = "broker.test";
    MqttPublisher publisher(outbox, shortAttempt);
    publisher.setResolver(resolver.hanging());
    publisher.start(config);
    EXPECT_TRUE(waitForStatus(publisher, [](MqttStatus s) {
        return s == MqttStatus{MqttState::Disconnected, 0,
                               "no answer from the name server for \"broker.test\"", 0};
    })) << publisher.status().reason.toStdString();
}

// Neither a name server that never answers, nor an address that drops every packet, nor a
// broker that hangs keeps the stop beyond its budget.
TEST(MqttPublisherStop, NeverWaitsForTheNetwork)
{
    if (!MqttBroker::isInstalled())
        GTEST_SKIP() << "mosquitto is not installed";
    Resolver resolver;
    test::BlackHole hole;
    ASSERT_NE(hole.port(), 0);
    MqttBroker paused;
    ASSERT_TRUE(paused.start()) << paused.errorString().toStdString();
    struct Case
    {
        const char* name;
        quint16 port;
        MqttResolver resolve;
        MqttState state; ///< when the stop comes
    };
    const Case cases[] = {
        {"name server silent", 1883, resolver.hanging(), MqttState::Connecting},
        {"black hole", hole.port(), lookUpHost, MqttState::Connecting},
        {"broker hangs", paused.port(), lookUpHost, MqttState::Connected},
    };
    for (const Case& c : cases) {
        MemoryOutbox outbox;
        MqttPublisher publisher(outbox, Fast);
        publisher.setResolver(c.resolve);
        publisher.start(configFor(c.port), 1);
        EXPECT_TRUE(waitForStatus(publisher, [&](MqttStatus s) { return s.state == c.state; }))
            << c.name;
        if (c.state == MqttState::Connected)
            paused.pause(true);
        for (int i = 1; i <= 20; ++i)
            outbox.add(1, ListId::PH, sample(i));
        QTest::qWait(300); // the look-up, the attempt, or the rows are well under way
        QElapsedTimer stopping;
        stopping.start();
        EXPECT_FALSE(publisher.stop(1500ms)) << c.name;
        EXPECT_LT(stopping.elapsed(), 1700) << c.name;
        EXPECT_GE(stopping.elapsed(), c.state == MqttState::Connected ? 1400 : 0) << c.name;
    }
    paused.pause(false);
}

// A broker that comes back is tried within 7.5 s of its return however long it was away, and
// one that stays away is tried every 6 to 7.5 s, not more often.
TEST(MqttRetry, FindsAReturningBrokerSoonWithoutHammering)
{
    const MqttTiming timing;
    std::vector<qint64> delays;
    for (std::chrono::milliseconds d{0}; delays.size() < 6;) {
        d = mqttRetryDelay(d, timing);
        delays.push_back(d.count());
    }
    EXPECT_EQ(delays, (std::vector<qint64>{1000, 2000, 4000, 6000, 6000, 6000}));

    // The attempts of an outage that began at 0, each wait its longest (a quarter added) or
    // its shortest; the broker comes back at any moment of the first hour.
    for (const double jitter : {1.0, 1.25}) {
        std::vector<double> attempts{0};
        for (std::chrono::milliseconds d{0}; attempts.back() < 3600e3;) {
            d = mqttRetryDelay(d, timing);
            attempts.push_back(attempts.back() + double(d.count()) * jitter);
        }
        double longestGap = 0;
        for (double back = 0; back < 3600e3; back += 100) {
            const double found = *std::lower_bound(attempts.begin(), attempts.end(), back);
            longestGap = std::max(longestGap, found - back);
        }
        EXPECT_LE(longestGap, 7500) << jitter;
        EXPECT_LE(attempts.size(), 3600u / 6 + 4) << jitter;
    }
}

} // namespace
} // namespace pexumo

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the publisher's status arrives as a queued call
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
