#include "support/mqttrig.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>

namespace pexumo::test {

namespace {

using Messages = std::vector<MqttSubscriber::Message>;

std::vector<RowId> firstArrivals(const Messages& messages)
{
    std::vector<RowId> rows;
    std::set<RowId> seen;
    for (const auto& m : messages) {
        if (m.topic == "site/status" || m.topic == "site/alarm")
            continue;
        const QJsonObject row = QJsonDocument::fromJson(m.payload).object();
        const RowId id{row["session"].toInteger(), row["seq"].toInteger()};
        if (seen.insert(id).second)
            rows.push_back(id);
    }
    return rows;
}

} // namespace

bool MqttRig::start(const QByteArray& extraLines)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    if (!broker.start()) {
        m_error = broker.errorString();
        return false;
    }
    if (!subscriber.start(broker.port(), "site/#")) {
        m_error = QStringLiteral("the subscriber did not connect");
        return false;
    }
    const QByteArray ini = "[Pexumo]\nJournalFile=journal.sqlite\n" + extraLines +
                           "\n[Mqtt]\nHost=127.0.0.1\nPort=" + QByteArray::number(broker.port()) +
                           "\nTopic=site\nClientId=pexumo-test\n";
    QFile file(configPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size() || !file.flush()) {
        m_error = QStringLiteral("cannot write config.ini");
        return false;
    }
    return true;
}

std::vector<RowId> MqttRig::rows() const
{
    return firstArrivals(subscriber.messages());
}

bool MqttRig::waitForRows(std::size_t count)
{
    return subscriber.waitFor(
        [count](const Messages& m) { return firstArrivals(m).size() >= count; },
        std::chrono::seconds(60));
}

std::vector<QByteArray> MqttRig::payloadsOn(const QByteArray& subtopic) const
{
    std::vector<QByteArray> payloads;
    for (const auto& m : subscriber.messages())
        if (m.topic == "site/" + subtopic)
            payloads.push_back(m.payload);
    return payloads;
}

std::vector<RowId> rowRange(qint64 session, qint64 first, qint64 last, std::vector<RowId> before)
{
    for (qint64 seq = first; seq <= last; ++seq)
        before.emplace_back(session, seq);
    return before;
}

} // namespace pexumo::test
