#pragma once

#include "support/mqttbroker.h"
#include "support/mqttsubscriber.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <utility>
#include <vector>

namespace pexumo::test {

/// A row as a subscriber names it: (session, seq).
using RowId = std::pair<qint64, qint64>;

/// What a test of publishing from the journal needs, in-process or from a program it starts: a
/// broker, a subscriber to "site/#", and a folder whose config.ini keeps the journal in the
/// folder and publishes to the broker under the topic "site". A program started in the folder
/// publishes exactly as a Station made with configPath() does.
class MqttRig
{
public:
    /// Starts the broker and the subscriber and writes config.ini with \a extraLines in its
    /// [Pexumo] section; false with errorString() when any of it fails.
    bool start(const QByteArray& extraLines = {});

    QString folder() const { return m_dir.path(); }
    QString configPath() const { return m_dir.filePath(QStringLiteral("config.ini")); }
    QString journalPath() const { return m_dir.filePath(QStringLiteral("journal.sqlite")); }
    QString errorString() const { return m_error; }

    MqttBroker broker;
    MqttSubscriber subscriber;

    /// The rows received so far, each at its first arrival: a row sent again after a lost
    /// connection may come twice, but a list equal to the rows journaled means none was skipped
    /// or overtaken.
    std::vector<RowId> rows() const;
    /// Waits until \a count distinct rows arrived; false after 60 s.
    bool waitForRows(std::size_t count);
    /// The payloads received on "site/<\a subtopic>", in order.
    std::vector<QByteArray> payloadsOn(const QByteArray& subtopic) const;

private:
    QTemporaryDir m_dir;
    QString m_error;
};

/// (session, first) ... (session, last) after \a before.
std::vector<RowId> rowRange(qint64 session, qint64 first, qint64 last,
                            std::vector<RowId> before = {});

} // namespace pexumo::test
