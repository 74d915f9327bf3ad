#include "app/gui/tfmain.h"

#include "acquire/gui/trendchart.h"
#include "acquire/interval.h"
#include "acquire/runcontrol.h"
#include "acquire/windowedseries.h"
#include "app/gui/application.h"
#include "app/gui/degreemark.h"
#include "base/config.h"
#include "base/numberformat.h"
#include "journal/journal.h"
#include "link/comport.h"
#include "link/gui/setupdialog.h"
#include "link/portmemory.h"
#include "results/celltext.h"
#include "results/gui/resultexporter.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

namespace pexumo {

namespace {
// Charts label their axes when they are built, before the window knows its number format;
// those still without points would otherwise keep the separator they were built with.
void relabelCharts(QWidget& window)
{
    for (TrendChart* chart : window.findChildren<TrendChart*>())
        chart->applyNumberFormat();
}
} // namespace

TfMain* fMain = nullptr;

TfMain::TfMain(QWidget* parent, const QString& configPath)
    : QMainWindow(parent), m_configPath(configPath)
{
    fMain = this;
    setObjectName(QStringLiteral("fMain"));

    showWarning = [this](const QString& text, const QString& detail) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning!"), text, QMessageBox::Ok,
                        this);
        if (!detail.isEmpty())
            box.setInformativeText(detail);
        box.exec();
    };
    showSetupDialog = [this] {
        // A setting the open port refuses, or a chosen port that cannot be opened, is told at once.
        const bool wasConnected = ComPort1->Connected();
        SetupDialog dialog(ComPort1->settings(), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        // A port that failed to open is kept too: it is the user's choice.
        const bool applied = ComPort1->setSettings(dialog.settings());
        rememberPortSettings();
        if (!applied)
            Application::showException(ComPort1->errorString());
        // Another port that would not open leaves the link closed: say so on the bar.
        if (wasConnected && !ComPort1->Connected()) {
            m_run.disconnected(m_run.state().periodMs / 1000);
            applyRunState();
        }
    };
    clock = [] { return QDateTime::currentDateTime(); };
    showLineLost = [this](const QString& text, const QString& detail) {
        // Not exec(): the event loop, the sampling and the watch for the meter go on behind it.
        if (m_lineLostBox)
            m_lineLostBox->close();
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Warning!"), text,
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        if (!detail.isEmpty())
            box->setInformativeText(detail);
        m_lineLostBox = box;
        box->show();
    };
    closeLineLost = [this] {
        if (m_lineLostBox)
            m_lineLostBox->close();
    };
    confirmDiscard = [this] {
        return QMessageBox::question(
                   this, QStringLiteral("Pexumo"),
                   tr("Some readings have not been saved yet. Close Pexumo and discard them?"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    askRestore = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Pexumo"), question,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };

    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    m_lineWatch = new QTimer(this);
    m_lineWatch->setObjectName(QStringLiteral("lineWatch"));
    m_lineWatch->setInterval(1000);
    connect(m_lineWatch, &QTimer::timeout, this, &TfMain::lineWatchTimer);
    m_exporter = new ResultExporter(this);
    // A file that cannot be written is an error of the program's standard error display.
    m_exporter->showError = [](const QString& message) { Application::showException(message); };
    SaveDialog1 = m_exporter->SaveDialog1();

    buildLayout();
    applyRunState();
    wireHandlers();
    applyRegionalNumberFormat();

    FormCreate(this);
}

TfMain::~TfMain()
{
    if (fMain == this)
        fMain = nullptr;
}

// ---------------------------------------------------------------- start-up and shutdown

void TfMain::FormCreate(QObject*)
{
    const QString path = m_configPath.isEmpty() ? defaultConfigPath() : m_configPath;
    if (QFileInfo::exists(path)) {
        const AppConfig config = readConfig(path);
        m_changeDecimal = config.changeDecimal;
        m_autoReconnect = config.autoReconnect;
        if (m_changeDecimal) {
            NumberFormat::setCurrent({u',', u'.'});
            relabelCharts(*this);
        }
        setCaption(config.formCaption);
        m_journalEnabled = config.journal;
        m_journalFile = journalPathOf(config, path);
        m_journalKeepDays = config.journalKeepDays;
    } else {
        setCaption(QString());
        m_journalFile = journalPathOf(AppConfig{}, path);
    }
    // The port chosen last time, still closed: the first Connect is the user's.
    ComPort1->setSettings(PortMemory::load());
    m_reading = CurrentReading{};
    Label4->clear();
    Label5->clear();
    Shape1->hide();
    PageControl1->setCurrentWidget(TabAll);
}

void TfMain::FormClose(QObject*)
{
    m_lineWatch->stop();
    ComPort1->Close();
    Timer1->stop();
    if (m_journal)
        m_journal->close(true);
}

void TfMain::setCaption(const QString& caption)
{
    // The window system shows the program's name in place of an empty title; a blank keeps
    // the title bar empty, as an empty caption asks.
    setWindowTitle(caption.isEmpty() ? QStringLiteral(" ") : caption);
}

bool TfMain::hasUnsavedRows() const
{
    for (std::size_t i = 0; i < m_lists.size(); ++i)
        if (m_lists[i]->list()->size() > m_savedRows[i])
            return true;
    return vtSaveData->list()->size() > m_savedRows[indexOf(ListId::Records)];
}

void TfMain::closeEvent(QCloseEvent* event)
{
    if (hasUnsavedRows() && confirmDiscard && !confirmDiscard()) {
        event->ignore();
        return;
    }
    FormClose(this);
    event->accept();
}

void TfMain::changeEvent(QEvent* event)
{
    // The user changed the regional settings: take their separators again, but a decimal comma
    // asked for in config.ini stays in force until the program ends.
    if (event->type() == QEvent::LocaleChange && !m_changeDecimal)
        applyRegionalNumberFormat();
    QMainWindow::changeEvent(event);
}

void TfMain::applyRegionalNumberFormat()
{
    NumberFormat::setCurrent(NumberFormat::regional());
    relabelCharts(*this);
}

// ---------------------------------------------------------------- link

bool TfMain::takeInterval(int& seconds)
{
    const IntervalCheck check = checkInterval(Edit1->text());
    if (check.result != IntervalCheck::Result::Ok) {
        showWarning(intervalMessage(check), QString());
        Edit1->setText(QStringLiteral("1"));
        Edit1->setFocus();
        return false;
    }
    seconds = check.seconds;
    return true;
}

void TfMain::applyRunState()
{
    const RunState& state = m_run.state();
    if (Timer1->interval() != state.periodMs)
        Timer1->setInterval(state.periodMs); // restarts a running timer: a full period from now
    if (state.timerEnabled && !Timer1->isActive())
        Timer1->start();
    else if (!state.timerEnabled && Timer1->isActive())
        Timer1->stop();
    Button2->setText(state.runCaption);
    Button2->setEnabled(state.runEnabled);
    btnConn->setText(state.connCaption);
}

void TfMain::btnConnClick(QObject*)
{
    int seconds = 0;
    if (!takeInterval(seconds))
        return;
    // While waiting for a lost meter the button reads "Disconnect": the click ends the waiting.
    if (waitingForMeter()) {
        endWaiting();
        m_run.disconnected(seconds);
        applyRunState();
        return;
    }
    // The port's state decides, not the caption: after a halt frame the port is still open.
    if (ComPort1->Connected()) {
        ComPort1->Close();
        m_run.disconnected(seconds);
        applyRunState();
        return;
    }
    if (ComPort1->Open()) {
        if (m_journal)
            m_journal->setPort(ComPort1->settings().name);
        m_run.connectSucceeded(seconds);
        applyRunState();
        return;
    }
    m_run.connectFailed(seconds);
    applyRunState();
    showWarning(QStringLiteral("Please set the ComPort and Re-plug the USB Cable."),
                ComPort1->errorString());
    showSetupDialog();
}

void TfMain::btnSettingClick(QObject*)
{
    showSetupDialog();
}

void TfMain::onConnectionLost(const QString& reason)
{
    // The port is already closed and every byte that arrived before the pull is decoded.
    if (m_autoReconnect) {
        // Wait for the same meter, keeping whether the run was sampling or paused; nothing is
        // recorded meanwhile, and the box does not hold the run when the meter is back.
        m_run.lineLost();
        applyRunState();
        m_lostAt = clock().toString(QStringLiteral("hh:mm:ss"));
        m_lineNote = tr("Line lost %1, waiting for the meter").arg(m_lostAt);
        updateLinkStatus();
        m_lineWatch->start();
        showLineLost(QStringLiteral("USB has been ejected."), reason);
        return;
    }
    // Go to the disconnected state with everything kept, ready to be saved or to connect again.
    m_run.connectionLost();
    applyRunState();
    showWarning(QStringLiteral("USB has been ejected."), reason);
}

bool TfMain::waitingForMeter() const
{
    return m_lineWatch->isActive();
}

void TfMain::lineWatchTimer()
{
    if (!ComPort1->reopenSameMeter())
        return;
    m_lineWatch->stop();
    // The reading from before the loss is no reading of now: the next row waits for a frame
    // from the meter that came back.
    m_reading = CurrentReading{};
    m_run.lineBack();
    applyRunState();
    m_lineNote =
        tr("Line lost %1, back %2").arg(m_lostAt, clock().toString(QStringLiteral("hh:mm:ss")));
    updateLinkStatus();
    closeLineLost();
}

void TfMain::endWaiting()
{
    m_lineWatch->stop();
    m_lineNote = tr("Line lost %1").arg(m_lostAt);
    updateLinkStatus();
}

void TfMain::rememberPortSettings()
{
    QString file;
    if (!PortMemory::save(ComPort1->settings(), &file))
        showWarning(tr("The port settings could not be kept for the next start."), file);
}

void TfMain::ComPort1RxChar(QObject*, int)
{
    // A partial frame left from a line that was closed or replaced is no damage on this one.
    if (m_streamSession != ComPort1->session()) {
        m_stream = FrameStream{};
        m_streamSession = ComPort1->session();
    }
    char buffer[4096];
    for (;;) {
        const qint64 n = ComPort1->Read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_stream.append(QByteArrayView(buffer, n));
    }
    const qint64 skippedBefore = m_skippedBytes;
    while (auto item = m_stream.next()) {
        if (item->kind == FrameStream::Item::Kind::Skipped)
            m_skippedBytes += item->skipped;
        else
            DecodeFrame(decodeFrame(item->frame));
    }
    if (m_skippedBytes != skippedBefore)
        updateLinkStatus();
}

void TfMain::DecodeFrame(const FrameEvent& event)
{
    m_run.frameArrived(event.timer, event.kind == FrameEvent::Kind::Halt);
    applyRunState();
    switch (event.kind) {
    case FrameEvent::Kind::Live:
        m_reading = event.live;
        break;
    case FrameEvent::Kind::Record: {
        ResultRecord record = event.record;
        stampRow(record);
        vtSaveData->list()->add(record);
        journalRow(ListId::Records, record);
        break;
    }
    case FrameEvent::Kind::Halt:
        break;
    case FrameEvent::Kind::Dropped:
        if (event.reason == FrameEvent::DropReason::BadDigits) {
            m_skippedBytes += static_cast<qint64>(kFrameSize);
            updateLinkStatus();
        }
        break;
    }
}

void TfMain::updateLinkStatus()
{
    // The line's notes, each on a line of its own in the control bar's free space (about 156 px):
    // when a lost line came back, and the count of damaged bytes skipped (exact up to five digits,
    // larger counts rounded to kB/MB so the line still fits). Both at once take a pixel smaller
    // font; the tooltip keeps everything whole.
    QStringList lines;
    QString tip;
    if (!m_lineNote.isEmpty()) {
        lines << m_lineNote;
        tip += tr("<p>%1: the meter's line was lost, and the run went on by itself when the "
                  "same meter came back. No reading was recorded while it was away.</p>")
                   .arg(m_lineNote.toHtmlEscaped());
    }
    if (const qint64 n = m_skippedBytes; n > 0) {
        const QString count = n == 1 ? tr("1 byte")
                              : n < 100000
                                  ? tr("%1 bytes").arg(n)
                                  : QLocale::c().formattedDataSize(n, 0, QLocale::DataSizeSIFormat);
        lines << tr("Line noise: %1 skipped").arg(count);
        // Rich text, so that the tooltip wraps into a paragraph.
        tip += tr("<p>Damaged bytes skipped on the serial line since the program started: %1.</p>"
                  "<p>They come from electrical noise, a lost byte or a frame with unreadable "
                  "digits. Reading went on with the next whole frame, so every value shown and "
                  "recorded comes from an intact frame. Nothing needs to be done; if the count "
                  "keeps growing, check the cable and its plug.</p>")
                   .arg(n);
    }
    QFont labelFont = font();
    if (lines.size() > 1 && labelFont.pixelSize() > 1)
        labelFont.setPixelSize(labelFont.pixelSize() - 1);
    lblLinkStatus->setFont(labelFont);
    lblLinkStatus->setText(lines.join(u'\n'));
    lblLinkStatus->setToolTip(tip);
    lblJournalStatus->setVisible(lblLinkStatus->text().isEmpty() &&
                                 !lblJournalStatus->text().isEmpty());
}

// ---------------------------------------------------------------- sampling and run control

void TfMain::Timer1Timer(QObject*)
{
    switch (m_run.tick(ComPort1->Connected())) {
    case RunControl::Tick::PortClosed:
        applyRunState(); // sampling ends here after a Disconnect
        return;
    case RunControl::Tick::Paused:
        return;
    case RunControl::Tick::Sample:
        break;
    }
    const std::optional<SamplePlan> plan = planSample(m_reading);
    if (!plan)
        return;

    const std::size_t i = indexOf(plan->target);
    m_smallCharts[i]->addWindowedPoint(plan->y, SmallChartWindow);
    m_bigCharts[i]->addWindowedPoint(plan->y, BigChartWindow);
    ResultRecord row = plan->row;
    row.TimeOrNo = stampRow(row).toString(QStringLiteral("hh:mm:ss"));
    m_lists[i]->list()->add(row);
    journalRow(listOf(plan->target), row);

    if (plan->hasTemp) {
        ChartTemp->addWindowedPoint(plan->tempY, SmallChartWindow);
        Edit3->setText(m_reading.FMeasTemp);
        if (m_reading.FTempUnit == QLatin1String("C") ||
            m_reading.FTempUnit == QLatin1String("F")) {
            Label5->setText(QLatin1Char(' ') + m_reading.FTempUnit);
            Shape1->show();
        }
    } else {
        Edit3->clear();
        Label5->clear();
        Shape1->hide();
    }
    Edit2->setText(plan->readoutValue);
    Label2->setText(m_reading.FMeasType);
    Label4->setText(m_reading.FMeasUnit);
}

QDateTime TfMain::stampRow(ResultRecord& row) const
{
    const QDateTime now = clock ? clock() : QDateTime::currentDateTime();
    row.StampMs = now.toMSecsSinceEpoch();
    row.UtcOffsetSec = now.offsetFromUtc();
    return now;
}

void TfMain::Button1Click(QObject*)
{
    int seconds = 0;
    if (!takeInterval(seconds))
        return;
    if (m_run.set(seconds, ComPort1->Connected()))
        applyRunState();
}

void TfMain::Button2Click(QObject*)
{
    if (m_run.stopOrGo(ComPort1->Connected()) == RunControl::StopGo::RefusedPortClosed) {
        showWarning(QStringLiteral("Please connect the ComPort."), QString());
        return;
    }
    applyRunState();
}

// ---------------------------------------------------------------- navigation

void TfMain::showParameterPage(Parameter parameter)
{
    PageControl1->setCurrentWidget(m_pages[static_cast<std::size_t>(parameter)]);
}

void TfMain::ChartPHClick(QObject*)
{
    showParameterPage(Parameter::PH);
}
void TfMain::ChartORPClick(QObject*)
{
    showParameterPage(Parameter::ORP);
}
void TfMain::ChartCONDClick(QObject*)
{
    showParameterPage(Parameter::COND);
}
void TfMain::ChartTDSClick(QObject*)
{
    showParameterPage(Parameter::TDS);
}
void TfMain::ChartSaltClick(QObject*)
{
    showParameterPage(Parameter::Salt);
}
void TfMain::ChartDOClick(QObject*)
{
    showParameterPage(Parameter::DO);
}
void TfMain::ChartO2Click(QObject*)
{
    showParameterPage(Parameter::O2);
}
void TfMain::Button3Click(QObject*)
{
    PageControl1->setCurrentWidget(TabAll);
}
void TfMain::Button11Click(QObject*)
{
    PageControl1->setCurrentWidget(TabSaveData);
}

// ---------------------------------------------------------------- saving

void TfMain::saveList(ResultList* list)
{
    const qsizetype rows = list->list()->size();
    if (m_exporter->save(*list->list()).isEmpty())
        return;
    const auto it = std::find(m_lists.begin(), m_lists.end(), list);
    const std::size_t index = it == m_lists.end() ? indexOf(ListId::Records)
                                                  : static_cast<std::size_t>(it - m_lists.begin());
    m_savedRows[index] = rows;
    if (m_journal)
        m_journal->markSaved(AllLists[index], rows);
}

void TfMain::Button4Click(QObject*)
{
    saveList(vtPH);
}
void TfMain::Button5Click(QObject*)
{
    saveList(vtORP);
}
void TfMain::Button6Click(QObject*)
{
    saveList(vtCOND);
}
void TfMain::Button7Click(QObject*)
{
    saveList(vtTDS);
}
void TfMain::Button8Click(QObject*)
{
    saveList(vtSalt);
}
void TfMain::Button9Click(QObject*)
{
    saveList(vtDO);
}
void TfMain::Button10Click(QObject*)
{
    saveList(vtO2);
}
void TfMain::Button12Click(QObject*)
{
    saveList(vtSaveData);
}

// ---------------------------------------------------------------- cell texts

void TfMain::vtPHGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
{
    applySampleRule(Node, Column, CellText);
}
void TfMain::vtORPGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
{
    applyOrpRule(Node, Column, CellText);
}
void TfMain::vtCONDGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
{
    applySampleRule(Node, Column, CellText);
}
void TfMain::vtTDSGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
{
    applySampleRule(Node, Column, CellText);
}
void TfMain::vtSaltGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
{
    applySampleRule(Node, Column, CellText);
}
void TfMain::vtDOGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
{
    applySampleRule(Node, Column, CellText);
}
void TfMain::vtO2GetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
{
    applySampleRule(Node, Column, CellText);
}
void TfMain::vtSaveDataGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
{
    applyDownloadedRule(Node, Column, CellText);
}

} // namespace pexumo
