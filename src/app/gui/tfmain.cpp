#include "app/gui/tfmain.h"

#include "acquire/gui/linknote.h"
#include "acquire/gui/trendchart.h"
#include "acquire/interval.h"
#include "acquire/runtimer.h"
#include "acquire/windowedseries.h"
#include "app/gui/alarmview.h"
#include "app/gui/application.h"
#include "app/gui/degreemark.h"
#include "app/gui/parameterpage.h"
#include "app/gui/prompts.h"
#include "app/station.h"
#include "base/config.h"
#include "base/numberformat.h"
#include "journal/journal.h"
#include "link/comport.h"
#include "link/gui/setupdialog.h"
#include "link/portmemory.h"
#include "results/gui/resultexporter.h"
#include "results/gui/resultlist.h"
#include "results/resultbook.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
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
        prompts::warning(this, text, detail);
    };
    showSetupDialog = [this] {
        const bool wasConnected = ComPort1->Connected();
        SetupDialog dialog(ComPort1->settings(), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        // A port that failed to open is kept too: it is the user's choice.
        const bool applied = ComPort1->setSettings(dialog.settings());
        remember(m_run->state().periodMs / 1000);
        if (!applied)
            Application::showException(ComPort1->errorString());
        m_run->portSettingsChanged(wasConnected);
    };
    clock = [] { return QDateTime::currentDateTime(); };
    showLineLost = [this](const QString& text, const QString& detail) {
        // Not modal: the sampling and the watch for the meter go on behind it.
        if (m_lineLostBox)
            m_lineLostBox->close();
        m_lineLostBox = prompts::passingWarning(this, text, detail);
    };
    closeLineLost = [this] {
        if (m_lineLostBox)
            m_lineLostBox->close();
    };
    confirmDiscard = [this] {
        return prompts::ask(
            this, tr("Some readings have not been saved yet. Close Pexumo and discard them?"),
            false);
    };
    askRestore = [this](const QString& question) { return prompts::ask(this, question, true); };
    askSaveFirst = askRestore;

    Station::Setup setup;
    if (!m_configPath.isEmpty())
        setup.configPath = m_configPath;
    m_station = new Station(setup, this);
    ComPort1 = &m_station->port();
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    Timer1 = &m_station->sampleTimer();
    Timer1->setObjectName(QStringLiteral("Timer1"));
    m_book = &m_station->book();
    m_run = &m_station->run();
    m_run->clock = [this] { return clock(); };
    m_exporter = new ResultExporter(this);
    // A file that cannot be written is an error of the program's standard error display.
    m_exporter->showError = [](const QString& message) { Application::showException(message); };
    SaveDialog1 = m_exporter->SaveDialog1();

    buildLayout();
    m_alarms = new AlarmView(*m_station, *m_bar, *m_dashboard, m_pages, this);
    wireHandlers();
    wireRun();
    m_bar->showRunState(m_run->state());
    applyRegionalNumberFormat();

    FormCreate(this);
}

TfMain::~TfMain()
{
    if (fMain == this)
        fMain = nullptr;
}

void TfMain::wireRun()
{
    connect(m_run, &MeterRun::runStateChanged, this,
            [this] { m_bar->showRunState(m_run->state()); });
    connect(m_run, &MeterRun::sampled, this, &TfMain::showSample);
    connect(m_run, &MeterRun::linkNoteChanged, this,
            [this] { m_bar->showLinkNotes(m_run->lineNote(), m_run->skippedBytes()); });
    connect(m_run, &MeterRun::lineLost, this, &TfMain::showLineLostBox);
    connect(m_run, &MeterRun::lineBack, this, [this] { closeLineLost(); });
    connect(m_run, &MeterRun::staleChanged, this, [this](bool stale) {
        if (!stale)
            return; // the next sample shows itself
        m_dashboard->showStale(m_run->staleSince());
        for (ParameterPage* page : m_pages)
            page->breakLine(); // the histories show the time without readings as a gap
    });
    connect(m_station, &Station::publishingChanged, m_bar, &ControlBar::showPublishing);
}

// ---------------------------------------------------------------- start-up and shutdown

void TfMain::FormCreate(QObject*)
{
    const AppConfig& config = m_station->config();
    m_changeDecimal = config.changeDecimal;
    if (m_changeDecimal) {
        NumberFormat::setCurrent({u',', u'.'});
        relabelCharts(*this);
    }
    setCaption(config.formCaption);
    // The port chosen last time, still closed: the first Connect is the user's.
    ComPort1->setSettings(PortMemory::load());
    Label4->clear();
    Label5->clear();
    Shape1->hide();
    PageControl1->setCurrentWidget(TabAll);
}

void TfMain::FormClose(QObject*)
{
    m_station->stop(m_journalCloseWaitMs);
}

void TfMain::setCaption(const QString& caption)
{
    // The window system shows the program's name in place of an empty title; a blank keeps
    // the title bar empty, as an empty caption asks.
    setWindowTitle(caption.isEmpty() ? QStringLiteral(" ") : caption);
}

void TfMain::closeEvent(QCloseEvent* event)
{
    // Readings the journal could not write (another program holds its file) live only in the
    // lists: the user may keep the window to save them.
    Journal* journal = m_station->journal();
    if (journal && journal->isOn() && !journal->flush(JournalCloseWaitMs)) {
        const QString question = tr("%1 readings could not be written to the journal: %2. Save "
                                    "the lists first?")
                                     .arg(journal->pendingRows())
                                     .arg(journal->stallReason());
        if (askSaveFirst && askSaveFirst(question)) {
            event->ignore();
            return;
        }
        m_journalCloseWaitMs = 0; // waited already: the session stays open, to be offered again
    } else if (m_book->hasUnsaved() && confirmDiscard && !confirmDiscard()) {
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

void TfMain::btnConnClick(QObject*)
{
    int seconds = 0;
    if (!takeInterval(seconds))
        return;
    const MeterRun::ConnectResult result = m_run->connectOrDisconnect(seconds);
    if (result == MeterRun::ConnectResult::Opened)
        remember(seconds);
    if (result == MeterRun::ConnectResult::OpenFailed) {
        showWarning(QStringLiteral("Please set the ComPort and Re-plug the USB Cable."),
                    ComPort1->errorString());
        showSetupDialog();
    }
}

void TfMain::remember(int seconds)
{
    // The next start, and pexumo-logger, take the port and the interval the user chose last.
    QString file;
    if (!PortMemory::save(ComPort1->settings(), &file) || !rememberInterval(seconds, &file))
        showWarning(tr("The port settings could not be kept for the next start."), file);
}

void TfMain::showLineLostBox(const QString& reason, bool waiting)
{
    for (ParameterPage* page : m_pages)
        page->breakLine(); // the histories show the time away as a gap
    // Waiting, the box does not hold the run: it closes by itself when the meter is back.
    (waiting ? showLineLost : showWarning)(QStringLiteral("USB has been ejected."), reason);
}

// ---------------------------------------------------------------- sampling and run control

void TfMain::showSample(Parameter parameter, const SamplePlan& plan, const ResultRecord& row)
{
    m_dashboard->chart(parameter)->addWindowedPoint(plan.y, SmallChartWindow);
    m_pages[indexOf(parameter)]->showSample(plan, row);
    m_dashboard->showSample(plan, m_run->reading());
    m_alarms->readoutShows(parameter);
}

void TfMain::Button1Click(QObject*)
{
    int seconds = 0;
    if (!takeInterval(seconds))
        return;
    m_run->set(seconds);
    remember(seconds);
}

void TfMain::Button2Click(QObject*)
{
    if (m_run->stopOrGo() == RunControl::StopGo::RefusedPortClosed)
        showWarning(QStringLiteral("Please connect the ComPort."), QString());
}

// ---------------------------------------------------------------- navigation

void TfMain::showParameterPage(Parameter parameter)
{
    PageControl1->setCurrentWidget(m_pages[indexOf(parameter)]);
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

void TfMain::saveList(ListId list)
{
    qint64 rows = 0;
    if (!m_exporter->save(*m_book->list(list), &rows).isEmpty())
        m_book->markSaved(list, rows);
}

} // namespace pexumo
