#include "app/gui/controlbar.h"

#include "acquire/gui/linknote.h"
#include "acquire/runcontrol.h"
#include "app/gui/layoutparts.h"
#include "app/gui/statusbadge.h"
#include "publish/mqttpublisher.h"

#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace pexumo {

using namespace layout;

ControlBar::ControlBar(QWidget* parent) : QWidget(parent)
{
    Panel1 = this;
    setObjectName(QStringLiteral("Panel1"));
    setFixedHeight(41);
    Label1 = makeLabel(this, "Label1", QStringLiteral("Interval :"), 8, 12, 65, 13);
    Label1->setFont(uiFont(13, true));
    Edit1 = named(new QLineEdit(QStringLiteral("1"), this), "Edit1");
    Edit1->setGeometry(72, 8, 33, 21);
    Label6 = makeLabel(this, "Label6", QStringLiteral("sec"), 112, 12, 25, 13);
    Label6->setFont(uiFont(13, true));
    Button1 = makeButton(this, "Button1", QStringLiteral("Set"), 160, 8, 49, 25);
    Button2 = makeButton(this, "Button2", QStringLiteral("Stop"), 208, 8, 49, 25);
    Button2->setEnabled(false);
    // The state of the services, in the gap between the run button and the page buttons.
    lblJournal = named(new StatusBadge(u'J', this), "lblJournal");
    lblJournal->setGeometry(262, 11, 19, 19);
    lblMqtt = named(new StatusBadge(u'M', this), "lblMqtt");
    lblMqtt->setGeometry(283, 11, 19, 19);
    lblMqtt->setState(StatusBadge::State::Off, tr("MQTT off"));
    Button11 = makeButton(this, "Button11", QStringLiteral("DownloadData"), 304, 8, 89, 25);
    Button3 = makeButton(this, "Button3", QStringLiteral("MainPage"), 392, 8, 75, 25);
    // Notes, not alarms: the line noise count and a lost line that came back, each on a line of
    // its own, centred on the buttons' row.
    lblLinkStatus = named(new LinkNote(this), "lblLinkStatus");
    lblLinkStatus->setGeometry(472, 2, 156, 37);
    lblJournalStatus = makeLabel(this, "lblJournalStatus", QString(), 472, 4, 156, 33);
    lblJournalStatus->setWordWrap(true);
    setTextColor(lblJournalStatus, Qt::red);
    lblJournalStatus->hide();
    lblAlarm = makeLabel(this, "lblAlarm", QString(), 472, 2, 156, 37);
    lblAlarm->setWordWrap(true);
    lblAlarm->setFont(uiFont(11, true));
    setTextColor(lblAlarm, QColor(0xb7, 0x1c, 0x1c));
    lblAlarm->hide();
    btnAlarms = named(new QToolButton(this), "btnAlarms");
    btnAlarms->setGeometry(138, 8, 21, 25);
    btnAlarms->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    btnAlarms->setToolTip(tr("Alarm limits... (Ctrl+L)"));
    btnAlarms->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    // Reached by its shortcut: the bar's keyboard order stays as it was.
    btnAlarms->setFocusPolicy(Qt::NoFocus);
    btnSetting = makeButton(this, "btnSetting", QStringLiteral("Setting"), 632, 8, 75, 25);
    btnConn = makeButton(this, "btnConn", QStringLiteral("Connect"), 710, 8, 75, 25);

    // The bar's own keyboard order; the bar as a whole follows the page area, built before it.
    setTabOrder(Edit1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button11);
    setTabOrder(Button11, Button1);
    setTabOrder(Button1, btnSetting);
    setTabOrder(btnSetting, btnConn);
}

void ControlBar::showRunState(const RunState& state)
{
    Button2->setText(state.runCaption);
    Button2->setEnabled(state.runEnabled);
    btnConn->setText(state.connCaption);
}

void ControlBar::showLinkNotes(const QString& lineNote, qint64 skippedBytes)
{
    lblLinkStatus->setNotes(lineNote, skippedBytes);
    arrangeNotes();
}

void ControlBar::showJournalNote(const QString& note)
{
    lblJournalStatus->setText(note);
    lblJournalStatus->setToolTip(note);
    arrangeNotes();
}

void ControlBar::showAlarms(const QStringList& notes)
{
    m_alarmNotes = notes;
    arrangeNotes();
}

void ControlBar::showPublishingWarning(const QString& warning)
{
    m_mqttWarning = warning;
    showPublishing(m_mqttStatus);
}

void ControlBar::showPublishing(const MqttStatus& status)
{
    m_mqttStatus = status;
    StatusBadge::State state = StatusBadge::State::Waiting;
    switch (status.state) {
    case MqttState::Off:
        state = StatusBadge::State::Off;
        break;
    case MqttState::Connected:
        state = status.waiting > 0 ? StatusBadge::State::Waiting : StatusBadge::State::On;
        break;
    case MqttState::Connecting:
        break;
    case MqttState::Disconnected:
        state = StatusBadge::State::Failed;
        break;
    }
    QString text = mqttStatusText(status);
    if (!status.reason.isEmpty())
        text += QStringLiteral(": ") + status.reason;
    if (!m_mqttWarning.isEmpty())
        text += u'\n' + m_mqttWarning;
    lblMqtt->setState(state, text);
}

void ControlBar::showAlarmCommand(const QString& result, bool success)
{
    m_commandResult = result;
    m_commandFailed = !success;
    arrangeNotes();
}

void ControlBar::arrangeNotes()
{
    QString text;
    if (!m_alarmNotes.isEmpty()) {
        text = m_alarmNotes.front();
        if (m_alarmNotes.size() > 1)
            text += tr(" (+%1 more)").arg(m_alarmNotes.size() - 1);
    } else if (m_commandFailed) {
        text = m_commandResult;
    }
    QStringList tip = m_alarmNotes;
    if (!m_commandResult.isEmpty())
        tip << m_commandResult;
    lblAlarm->setText(text);
    lblAlarm->setToolTip(tip.join(u'\n'));
    lblAlarm->setVisible(!text.isEmpty());
    lblLinkStatus->setVisible(text.isEmpty());
    lblJournalStatus->setVisible(text.isEmpty() && lblLinkStatus->text().isEmpty() &&
                                 !lblJournalStatus->text().isEmpty());
}

} // namespace pexumo
