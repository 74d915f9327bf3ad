#pragma once

#include "publish/mqttpublisher.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace pexumo {

class LinkNote;
class StatusBadge;
struct RunState;

/// The control bar's widgets by the names the window knows them by; the window holds the same
/// names.
struct ControlBarWidgets
{
    QWidget* Panel1 = nullptr; ///< the bar itself
    QLabel *Label1 = nullptr, *Label6 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;  ///< "Set"
    QPushButton* Button2 = nullptr;  ///< "Stop"/"Go": its caption is the run state
    QPushButton* Button11 = nullptr; ///< "DownloadData"
    QPushButton* Button3 = nullptr;  ///< "MainPage"
    QPushButton *btnSetting = nullptr, *btnConn = nullptr;
    LinkNote* lblLinkStatus = nullptr; ///< the lost line and the damaged bytes, without a box
    /// Notes of the journal, in the link note's place, which takes precedence while it shows
    /// something.
    QLabel* lblJournalStatus = nullptr;
    /// Whether every listed reading reaches the journal; its tooltip says why not.
    StatusBadge* lblJournal = nullptr;
    /// Publishing to the MQTT broker: connected, rows waiting, off; the reason in its tooltip.
    StatusBadge* lblMqtt = nullptr;
    /// Opens the Alarm limits dialog.
    QToolButton* btnAlarms = nullptr;
    /// The alarms that are up, over the other notes while there are any.
    QLabel* lblAlarm = nullptr;
};

/// The bar above the pages: the interval, "Set", the run button, page buttons, the notes of the
/// line and the journal, "Setting" and the connect button.
class ControlBar : public QWidget, public ControlBarWidgets
{
    Q_OBJECT
public:
    explicit ControlBar(QWidget* parent = nullptr);

    /// The run button's caption and whether it takes clicks, and the connect button's caption.
    void showRunState(const RunState& state);
    /// The line's notes (see LinkNote).
    void showLinkNotes(const QString& lineNote, qint64 skippedBytes);
    /// A note of the journal, such as "Journal off: the disk is full".
    void showJournalNote(const QString& note);
    /// The notes of the alarms that are up ("ALARM DO 3.10 mg/L below 4.0 since 02:13:07"),
    /// none when all is well.
    void showAlarms(const QStringList& notes);
    /// The state of publishing to the MQTT broker.
    void showPublishing(const MqttStatus& status);
    /// Something to mend in the [Mqtt] section (see Station::publishingWarning): a line of the
    /// M's tooltip from now on.
    void showPublishingWarning(const QString& warning);
    /// The last run of the alarm command; a failure stays in sight until one succeeds.
    void showAlarmCommand(const QString& result, bool success);

private:
    /// Which note shows in the note area: alarms first, then the journal's, then the line's.
    void arrangeNotes();

    QStringList m_alarmNotes;
    QString m_commandResult;
    QString m_mqttWarning;
    MqttStatus m_mqttStatus;
    bool m_commandFailed = false;
};

} // namespace pexumo
