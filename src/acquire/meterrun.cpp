#include "acquire/meterrun.h"

#include "acquire/runtimer.h"
#include "link/comport.h"
#include "results/resultbook.h"

#include <QElapsedTimer>

#include <memory>
#include <utility>

namespace pexumo {

/// The line watch looks for a lost meter this often.
constexpr int LineWatchMs = 1000;

MeterRun::MeterRun(TComPort& port, ResultBook& book, RunTimer& sampleTimer, RunTimer& watchTimer,
                   QObject* parent)
    : QObject(parent), m_port(port), m_book(book), m_sampleTimer(sampleTimer),
      m_watchTimer(watchTimer)
{
    clock = [] { return QDateTime::currentDateTime(); };
    monotonicMs = [since = std::make_shared<QElapsedTimer>()] {
        if (!since->isValid())
            since->start();
        return since->elapsed();
    };
    m_watchTimer.setInterval(LineWatchMs);
    applyRunState();
}

void MeterRun::setAlarmSettings(const AlarmSettings& settings)
{
    report(m_alarms.setSettings(settings, clock().toMSecsSinceEpoch()));
}

void MeterRun::report(const AlarmMonitor::Events& events)
{
    for (const AlarmEvent& event : events)
        emit alarmChanged(event);
}

std::optional<ActiveAlarm> MeterRun::noReadingAlarm() const
{
    for (const ActiveAlarm& alarm : m_alarms.active())
        if (alarm.side == AlarmSide::NoReading)
            return alarm;
    return std::nullopt;
}

void MeterRun::reportCauseChange(const std::optional<ActiveAlarm>& before)
{
    if (!before)
        return;
    const std::optional<ActiveAlarm> now = noReadingAlarm();
    // The same alarm (a clear and a new rise are events of their own) with another cause.
    if (now && now->raisedMs == before->raisedMs && now->cause != before->cause)
        emit noReadingCauseChanged(*now);
}

void MeterRun::watch(bool on)
{
    if (on) {
        if (!m_watchTimer.isActive())
            m_watchTimer.start();
        return;
    }
    m_watchTimer.stop();
    m_waiting = false;
    m_awaitingPort = false;
    // No longer connected nor waiting: no frame is missed from now on.
    if (m_alarms.settings().noReadingSeconds > 0)
        report(m_alarms.check(clock().toMSecsSinceEpoch(), false));
}

void MeterRun::applyRunState()
{
    const RunState& state = m_control.state();
    if (m_sampleTimer.interval() != state.periodMs)
        m_sampleTimer.setInterval(state.periodMs); // restarts a running timer: a full period
    if (state.timerEnabled && !m_sampleTimer.isActive())
        m_sampleTimer.start();
    else if (!state.timerEnabled && m_sampleTimer.isActive())
        m_sampleTimer.stop();
    emit runStateChanged();
}

QString MeterRun::timeOfDay() const
{
    return clock().toString(QStringLiteral("hh:mm:ss"));
}

QDateTime MeterRun::stampRow(ResultRecord& row) const
{
    const QDateTime now = clock();
    row.StampMs = now.toMSecsSinceEpoch();
    row.UtcOffsetSec = now.offsetFromUtc();
    return now;
}

MeterRun::ConnectResult MeterRun::connectOrDisconnect(int seconds)
{
    // While waiting for a lost meter the button reads "Disconnect": the click ends the waiting.
    if (waitingForMeter()) {
        watch(false);
        m_lineNote = tr("Line lost %1").arg(m_lostAt);
        emit linkNoteChanged();
        m_control.disconnected(seconds);
        applyRunState();
        return ConnectResult::StoppedWaiting;
    }
    // After a halt frame the port is still open although the button reads "Connect".
    if (m_port.Connected()) {
        m_port.Close();
        watch(false);
        m_control.disconnected(seconds);
        applyRunState();
        return ConnectResult::Closed;
    }
    if (m_port.Open()) {
        // A fresh start for the line's notes: the noise of an earlier connection is no news.
        m_skippedBytes = 0;
        emit linkNoteChanged();
        emit portOpened(m_port.settings().name);
        m_awaitingPort = false;
        watch(true);
        m_control.connectSucceeded(seconds);
        applyRunState();
        return ConnectResult::Opened;
    }
    m_control.connectFailed(seconds);
    applyRunState();
    return ConnectResult::OpenFailed;
}

bool MeterRun::set(int seconds)
{
    if (!m_control.set(seconds, m_port.Connected()))
        return false;
    applyRunState();
    return true;
}

RunControl::StopGo MeterRun::stopOrGo()
{
    const RunControl::StopGo result = m_control.stopOrGo(m_port.Connected());
    if (result != RunControl::StopGo::RefusedPortClosed)
        applyRunState();
    return result;
}

void MeterRun::portSettingsChanged(bool wasConnected)
{
    if (wasConnected && !m_port.Connected()) {
        watch(false);
        m_control.disconnected(m_control.state().periodMs / 1000);
        applyRunState();
    }
}

void MeterRun::stop()
{
    // The run ends with its alarms as they are: one that is up was not cleared by anything.
    m_watchTimer.stop();
    m_waiting = false;
    m_awaitingPort = false;
    m_port.Close();
    m_sampleTimer.stop();
}

void MeterRun::awaitPort()
{
    if (m_port.Connected() || m_waiting)
        return;
    m_awaitingPort = true;
    watch(true);
}

void MeterRun::receive()
{
    // A partial frame left from a line that was closed or replaced is no damage on this one.
    if (m_streamSession != m_port.session()) {
        m_stream = FrameStream{};
        m_streamSession = m_port.session();
        m_framedThisSession = false;
    }
    char buffer[4096];
    for (;;) {
        const qint64 n = m_port.Read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_stream.append(QByteArrayView(buffer, n));
    }
    const qint64 skippedBefore = m_skippedBytes;
    while (const std::optional<FrameStream::Item> item = m_stream.next()) {
        if (item->kind == FrameStream::Item::Kind::Frame) {
            m_framedThisSession = true;
            applyFrame(decodeFrame(item->frame));
        } else if (m_framedThisSession) {
            m_skippedBytes += item->skipped;
        }
    }
    if (m_skippedBytes != skippedBefore)
        emit linkNoteChanged();
}

void MeterRun::applyFrame(const FrameEvent& event)
{
    m_control.frameArrived(event.timer, event.kind == FrameEvent::Kind::Halt);
    // Without a user nothing but a halt pauses the run: a live frame is the meter sending again.
    if (m_goOnLiveAfterHalt && event.kind == FrameEvent::Kind::Live && m_control.paused())
        m_control.stopOrGo(true);
    applyRunState();
    m_framedSinceWatch = true;
    switch (event.kind) {
    case FrameEvent::Kind::Live:
        m_reading = event.live;
        m_readingSession = m_port.session();
        m_readingAtMs = monotonicMs();
        break;
    case FrameEvent::Kind::Record: {
        ResultRecord record = memoryRecordRow(event.recordNo, event.record);
        stampRow(record);
        m_book.add(ListId::Records, record);
        emit recordReceived(record);
        break;
    }
    case FrameEvent::Kind::Halt:
        break;
    case FrameEvent::Kind::Dropped:
        if (event.reason == FrameEvent::DropReason::BadDigits) {
            m_skippedBytes += static_cast<qint64>(kFrameSize);
            emit linkNoteChanged();
        }
        break;
    }
}

void MeterRun::tick()
{
    switch (m_control.tick(m_port.Connected())) {
    case RunControl::Tick::PortClosed:
        applyRunState(); // sampling ends here after a Disconnect
        return;
    case RunControl::Tick::Paused:
        return;
    case RunControl::Tick::Sample:
        break;
    }
    // A row is only ever a reading that arrived on this connection: after any open of the port
    // (Connect, another port, the meter back) the reading from before is no reading of now.
    if (m_readingSession != m_port.session())
        m_reading = CurrentReading{};
    const std::optional<SamplePlan> plan = planSample(m_reading);
    if (!plan)
        return;
    // The meter fell silent with the port open: its last reading is no measurement of now.
    if (isStale()) {
        setStale(true);
        return;
    }
    setStale(false);
    ResultRecord row = plan->row;
    row.TimeOrNo = stampRow(row).toString(QStringLiteral("hh:mm:ss"));
    m_book.add(listOf(plan->target), row);
    emit sampled(plan->target, *plan, row);
    report(m_alarms.sample(plan->target, plan->y, row.StampMs));
    if (plan->hasTemp)
        report(m_alarms.temperature(plan->tempY, plan->row.TempUnit, row.StampMs));
}

bool MeterRun::isStale() const
{
    return m_staleMs > 0 && monotonicMs() - m_readingAtMs > m_staleMs;
}

void MeterRun::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    // The instant the reading came, on the clock the rows are stamped with.
    m_staleSince = stale ? clock().addMSecs(m_readingAtMs - monotonicMs()) : QDateTime();
    emit staleChanged(stale);
}

void MeterRun::connectionLost(const QString& reason)
{
    // The port is already closed and every byte that arrived before the pull is decoded.
    if (m_autoReconnect) {
        // Wait for the same meter, keeping whether the run was sampling or paused; nothing is
        // recorded meanwhile.
        m_control.lineLost();
        applyRunState();
        m_lostAt = timeOfDay();
        m_lineNote = tr("Line lost %1, waiting for the meter").arg(m_lostAt);
        emit linkNoteChanged();
        m_waiting = true;
        watch(true);
        emit lineLost(reason, true);
        return;
    }
    // The disconnected state with everything kept, ready to be saved or to connect again.
    m_control.connectionLost();
    applyRunState();
    if (m_alarmWhenLineEnds) {
        // The run ends with the line: no frame can come any more, and the alarm says so now.
        m_watchTimer.stop();
        const qint64 now = clock().toMSecsSinceEpoch();
        if (std::exchange(m_framedSinceWatch, false))
            report(m_alarms.frameArrived(now)); // the meter sent up to the pull
        const std::optional<ActiveAlarm> before = noReadingAlarm();
        report(m_alarms.lineEnded(now, NoReadingCause::LineLost));
        reportCauseChange(before); // silent until the pull, lost now
    } else {
        watch(false);
    }
    emit lineLost(reason, false);
}

void MeterRun::watchLine()
{
    if (m_waiting && m_port.reopenSameMeter()) {
        m_waiting = false;
        m_control.lineBack();
        applyRunState();
        m_lineNote = tr("Line lost %1, back %2").arg(m_lostAt, timeOfDay());
        emit linkNoteChanged();
        emit lineBack();
    }
    if (m_alarms.settings().noReadingSeconds <= 0)
        return;
    const bool framed = std::exchange(m_framedSinceWatch, false);
    const bool framedBefore = std::exchange(m_framedLastLook, framed);
    // While frames keep coming there is nothing to look at: the clock is asked only once the
    // line falls silent, or to clear an alarm of silence.
    if (framed && !noReadingAlarm())
        return;
    const qint64 now = clock().toMSecsSinceEpoch();
    if (framed)
        report(m_alarms.frameArrived(now));
    else if (framedBefore)
        report(m_alarms.frameArrived(now - LineWatchMs)); // within the last look
    const NoReadingCause cause = m_waiting               ? NoReadingCause::LineLost
                                 : m_port.Connected()    ? NoReadingCause::Silent
                                                         : NoReadingCause::NotOpen;
    const std::optional<ActiveAlarm> before = noReadingAlarm();
    report(m_alarms.check(now, m_waiting || m_awaitingPort || m_port.Connected(), cause));
    reportCauseChange(before);
}

} // namespace pexumo
