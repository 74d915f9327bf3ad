#pragma once

#include "acquire/meterrun.h"
#include "app/gui/controlbar.h"
#include "app/gui/dashboard.h"
#include "app/station.h"
#include "link/currentreading.h"
#include "link/meterframe.h"
#include "results/celltext.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QFileDialog;
class QLabel;
class QLineEdit;
class QLineSeries;
class QMessageBox;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace pexumo {

class AlarmView;
class DegreeMark;
class Journal;
struct JournalSession;
class LinkNote;
class ParameterPage;
class ResultBook;
class ResultExporter;
class ResultList;
class TComPort;
class TrendChart;

/// The one main window: the control bar, the dashboard, seven parameter pages and the records
/// page. It is a view over the run (MeterRun) and its lists (ResultBook): its handlers hand the
/// user's requests to them, and its slots draw what they report. Widgets are public and carry
/// the names the rest of the program and the tests use.
class TfMain : public QMainWindow, public ControlBarWidgets, public DashboardWidgets
{
    Q_OBJECT
public:
    /// Where the window looks for its configuration; empty means "config.ini" in the working
    /// directory at the moment the window is created.
    explicit TfMain(QWidget* parent = nullptr, const QString& configPath = QString());
    ~TfMain() override;

    // The control bar's and the dashboard's widgets come from ControlBarWidgets and
    // DashboardWidgets.

    // --- Pages
    QStackedWidget* PageControl1 = nullptr;
    QWidget *TabAll = nullptr, *TabPH = nullptr, *TabORP = nullptr, *TabCOND = nullptr,
            *TabTDS = nullptr, *TabSalt = nullptr, *TabDO = nullptr, *TabO2 = nullptr,
            *TabSaveData = nullptr;

    // --- Parameter pages
    TrendChart *ChartPH_Big = nullptr, *ChartORP_Big = nullptr, *ChartCOND_Big = nullptr,
               *ChartTDS_Big = nullptr, *ChartSalt_Big = nullptr, *ChartDO_Big = nullptr,
               *ChartO2_Big = nullptr;
    QLineSeries *LinePH_Big = nullptr, *LineORP_Big = nullptr, *LineCOND_Big = nullptr,
                *LineTDS_Big = nullptr, *LineSalt_Big = nullptr, *LineDO_Big = nullptr,
                *LineO2_Big = nullptr;
    ResultList *vtPH = nullptr, *vtORP = nullptr, *vtCOND = nullptr, *vtTDS = nullptr,
               *vtSalt = nullptr, *vtDO = nullptr, *vtO2 = nullptr;
    QPushButton *Button4 = nullptr, *Button5 = nullptr, *Button6 = nullptr, *Button7 = nullptr,
                *Button8 = nullptr, *Button9 = nullptr, *Button10 = nullptr;

    // --- Records page
    ResultList* vtSaveData = nullptr;
    QPushButton* Button12 = nullptr;

    // --- Non-visual parts
    TComPort* ComPort1 = nullptr;
    QTimer* Timer1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

    /// The run the window shows, and its lists.
    MeterRun* run() const { return m_run; }
    ResultBook* book() const { return m_book; }
    /// The meter's latest live reading.
    const CurrentReading& currentReading() const { return m_run->reading(); }
    /// The save flow shared by the eight "SaveResult" buttons.
    ResultExporter* exporter() const { return m_exporter; }
    /// Bytes of the line discarded as damaged.
    qint64 skippedBytes() const { return m_run->skippedBytes(); }
    /// True while the run waits for the meter of a lost line to come back ("AutoReconnect").
    bool waitingForMeter() const { return m_run->waitingForMeter(); }
    /// The note on the lost line kept in the control bar, such as "Line lost 02:13:07, back
    /// 02:13:19"; empty while no line was lost.
    QString lineNote() const { return m_run->lineNote(); }

    // --- Seams for tests and for the demo; each defaults to the real thing.
    /// Shows a "Warning!" box with an exclamation icon and one OK button.
    std::function<void(const QString& text, const QString& detail)> showWarning;
    /// Shows the port setup dialog (after a failed open and on "Setting").
    std::function<void()> showSetupDialog;
    /// The instant a sample or an arriving memory record is stamped with; its local time of day
    /// is the Time column's text. Default: now, in the local time zone.
    std::function<QDateTime()> clock;
    /// Asked before closing while some list holds rows that were never saved; true closes.
    std::function<bool()> confirmDiscard;
    /// Shows the "Warning!" box of a lost line without holding the run (the window goes on
    /// waiting for the meter behind it); closeLineLost() takes it away when the meter is back.
    std::function<void(const QString& text, const QString& detail)> showLineLost;
    std::function<void()> closeLineLost;
    /// Asks whether to restore the last run; receives the question, true restores.
    std::function<bool(const QString& question)> askRestore;
    /// Asked at close when the journal could not take every reading within JournalCloseWaitMs;
    /// true keeps the window open, so that the lists can be saved.
    std::function<bool(const QString& question)> askSaveFirst;
    /// How long a close waits for the journal to write what it holds.
    static constexpr int JournalCloseWaitMs = 5000;
    /// Everything of the run but the widgets.
    Station* station() const { return m_station; }

    /// Puts this user's alarm limits in force, opens this user's journal (unless config.ini
    /// turned it off), so every row added from now on is kept on disk, and offers once to
    /// restore the last run if it left readings unsaved. Call after setting the seams and before
    /// the window takes input.
    void startJournal();
    /// The journal of this run; null before startJournal() or when config.ini turned it off.
    Journal* journal() const;

public slots:
    // Start-up and shutdown
    void FormCreate(QObject* Sender);
    void FormClose(QObject* Sender);

    // Link
    void btnConnClick(QObject* Sender);
    void btnSettingClick(QObject*) { showSetupDialog(); }
    void ComPort1RxChar(QObject*, int) { m_run->receive(); }

    // Sampling and run control
    void Timer1Timer(QObject*) { m_run->tick(); }
    void Button1Click(QObject* Sender);
    void Button2Click(QObject* Sender);

    // Navigation
    void ChartPHClick(QObject*) { showParameterPage(Parameter::PH); }
    void ChartORPClick(QObject*) { showParameterPage(Parameter::ORP); }
    void ChartCONDClick(QObject*) { showParameterPage(Parameter::COND); }
    void ChartTDSClick(QObject*) { showParameterPage(Parameter::TDS); }
    void ChartSaltClick(QObject*) { showParameterPage(Parameter::Salt); }
    void ChartDOClick(QObject*) { showParameterPage(Parameter::DO); }
    void ChartO2Click(QObject*) { showParameterPage(Parameter::O2); }
    void Button3Click(QObject*);
    void Button11Click(QObject*);

    // Saving
    void Button4Click(QObject*) { saveList(ListId::PH); }
    void Button5Click(QObject*) { saveList(ListId::ORP); }
    void Button6Click(QObject*) { saveList(ListId::COND); }
    void Button7Click(QObject*) { saveList(ListId::TDS); }
    void Button8Click(QObject*) { saveList(ListId::Salt); }
    void Button9Click(QObject*) { saveList(ListId::DO); }
    void Button10Click(QObject*) { saveList(ListId::O2); }
    void Button12Click(QObject*) { saveList(ListId::Records); }

public:
    // Cell texts of the lists, asked for each cell as it is drawn: each list's own rule.
    void vtPHGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
    {
        applyCellRule(ListId::PH, Node, Column, CellText);
    }
    void vtORPGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
    {
        applyCellRule(ListId::ORP, Node, Column, CellText);
    }
    void vtCONDGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
    {
        applyCellRule(ListId::COND, Node, Column, CellText);
    }
    void vtTDSGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
    {
        applyCellRule(ListId::TDS, Node, Column, CellText);
    }
    void vtSaltGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
    {
        applyCellRule(ListId::Salt, Node, Column, CellText);
    }
    void vtDOGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
    {
        applyCellRule(ListId::DO, Node, Column, CellText);
    }
    void vtO2GetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
    {
        applyCellRule(ListId::O2, Node, Column, CellText);
    }
    void vtSaveDataGetText(QObject*, const ResultRecord& Node, int Column, QString& CellText)
    {
        applyCellRule(ListId::Records, Node, Column, CellText);
    }

    /// Applies what one frame means to the reading, the records list and the run state.
    void DecodeFrame(const FrameEvent& event) { m_run->applyFrame(event); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildLayout();
    void buildParameterPages();
    void buildRecordsPage();
    void wireHandlers();
    void wireRun();

    /// Reads the interval box; on bad text tells the user, resets the box and returns false.
    bool takeInterval(int& seconds);
    // What the run reports, drawn.
    void showSample(Parameter parameter, const SamplePlan& plan, const ResultRecord& row);
    void showLineLostBox(const QString& reason, bool waiting);
    /// Keeps the port settings and the interval for the next start; tells the user when they
    /// could not be kept.
    void remember(int seconds);
    void showParameterPage(Parameter parameter);
    void saveList(ListId list);
    void applyRegionalNumberFormat();
    void setCaption(const QString& caption);
    void showJournalOff(const QString& reason);
    void offerRestore();
    void restoreSession(const JournalSession& session);

    QString m_configPath;
    bool m_changeDecimal = false; ///< "ChangeDecimal" = 1 holds against locale changes
    ControlBar* m_bar = nullptr;
    Dashboard* m_dashboard = nullptr;
    AlarmView* m_alarms = nullptr;
    Station* m_station = nullptr; ///< the run, its lists and its journal
    ResultBook* m_book = nullptr;
    MeterRun* m_run = nullptr;
    QPointer<QMessageBox> m_lineLostBox;
    ResultExporter* m_exporter = nullptr;

    // The seven parameters in route order, for the handlers that differ only by parameter.
    std::array<ParameterPage*, ParameterCount> m_pages{};

    int m_journalCloseWaitMs = JournalCloseWaitMs; ///< what FormClose still waits for the journal
};

/// The single main window of the running program.
extern TfMain* fMain;

} // namespace pexumo
