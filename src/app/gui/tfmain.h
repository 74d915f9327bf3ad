#pragma once

#include "acquire/runcontrol.h"
#include "acquire/sampleroute.h"
#include "link/currentreading.h"
#include "link/framestream.h"
#include "link/meterframe.h"
#include "results/resultrecord.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>

class QFileDialog;
class QLabel;
class QLineEdit;
class QLineSeries;
class QMessageBox;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace pexumo {

class DegreeMark;
class Journal;
struct JournalSession;
class ResultExporter;
class ResultList;
class TComPort;
class TrendChart;

/// The one main window: the control bar, the dashboard, seven parameter pages and the records
/// page. Its handlers are thin entry points; the work happens in the link, acquire and results
/// subsystems. Widgets are public and carry the names the rest of the program and the tests use.
class TfMain : public QMainWindow
{
    Q_OBJECT
public:
    /// Where the window looks for its configuration; empty means "config.ini" in the working
    /// directory at the moment the window is created.
    explicit TfMain(QWidget* parent = nullptr, const QString& configPath = QString());
    ~TfMain() override;

    // --- Control bar
    QWidget* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* Button1 = nullptr;  ///< "Set"
    QPushButton* Button2 = nullptr;  ///< "Stop"/"Go": its caption is the run state
    QPushButton* Button11 = nullptr; ///< "DownloadData"
    QPushButton* Button3 = nullptr;  ///< "MainPage"
    QPushButton* btnSetting = nullptr;
    QPushButton* btnConn = nullptr;
    QLabel* lblLinkStatus = nullptr; ///< damaged bytes on the line, without a modal box per frame
    /// "Journal off: <reason>" when the journal cannot be used; in the link note's place, which
    /// takes precedence while it shows something.
    QLabel* lblJournalStatus = nullptr;

    // --- Pages
    QStackedWidget* PageControl1 = nullptr;
    QWidget* TabAll = nullptr;
    QWidget* TabPH = nullptr;
    QWidget* TabORP = nullptr;
    QWidget* TabCOND = nullptr;
    QWidget* TabTDS = nullptr;
    QWidget* TabSalt = nullptr;
    QWidget* TabDO = nullptr;
    QWidget* TabO2 = nullptr;
    QWidget* TabSaveData = nullptr;

    // --- Dashboard charts and read-out
    TrendChart* ChartPH = nullptr;
    TrendChart* ChartORP = nullptr;
    TrendChart* ChartCOND = nullptr;
    TrendChart* ChartTDS = nullptr;
    TrendChart* ChartSalt = nullptr;
    TrendChart* ChartDO = nullptr;
    TrendChart* ChartO2 = nullptr;
    TrendChart* ChartTemp = nullptr;
    QLineSeries* LinePH = nullptr;
    QLineSeries* LineORP = nullptr;
    QLineSeries* LineCOND = nullptr;
    QLineSeries* LineTDS = nullptr;
    QLineSeries* LineSalt = nullptr;
    QLineSeries* LineDO = nullptr;
    QLineSeries* LineO2 = nullptr;
    QLineSeries* LineTemp = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit3 = nullptr;
    DegreeMark* Shape1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;

    // --- Parameter pages
    TrendChart* ChartPH_Big = nullptr;
    TrendChart* ChartORP_Big = nullptr;
    TrendChart* ChartCOND_Big = nullptr;
    TrendChart* ChartTDS_Big = nullptr;
    TrendChart* ChartSalt_Big = nullptr;
    TrendChart* ChartDO_Big = nullptr;
    TrendChart* ChartO2_Big = nullptr;
    QLineSeries* LinePH_Big = nullptr;
    QLineSeries* LineORP_Big = nullptr;
    QLineSeries* LineCOND_Big = nullptr;
    QLineSeries* LineTDS_Big = nullptr;
    QLineSeries* LineSalt_Big = nullptr;
    QLineSeries* LineDO_Big = nullptr;
    QLineSeries* LineO2_Big = nullptr;
    ResultList* vtPH = nullptr;
    ResultList* vtORP = nullptr;
    ResultList* vtCOND = nullptr;
    ResultList* vtTDS = nullptr;
    ResultList* vtSalt = nullptr;
    ResultList* vtDO = nullptr;
    ResultList* vtO2 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button9 = nullptr;
    QPushButton* Button10 = nullptr;

    // --- Records page
    ResultList* vtSaveData = nullptr;
    QPushButton* Button12 = nullptr;

    // --- Non-visual parts
    TComPort* ComPort1 = nullptr;
    QTimer* Timer1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

    /// The meter's latest live reading.
    const CurrentReading& currentReading() const { return m_reading; }
    /// The save flow shared by the eight "SaveResult" buttons.
    ResultExporter* exporter() const { return m_exporter; }
    /// Bytes of the line discarded as damaged since start.
    qint64 skippedBytes() const { return m_skippedBytes; }
    /// True while the window waits for the meter of a lost line to come back ("AutoReconnect").
    bool waitingForMeter() const;
    /// The note on the lost line kept in the control bar, such as "Line lost 02:13:07, back
    /// 02:13:19"; empty while no line was lost.
    QString lineNote() const { return m_lineNote; }

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

    /// Opens this user's journal (unless config.ini turned it off), so every row added from now
    /// on is kept on disk, and offers once to restore the last run if it left readings unsaved.
    /// Call after setting the seams and before the window takes input.
    void startJournal();
    /// The journal of this run; null before startJournal() or when config.ini turned it off.
    Journal* journal() const { return m_journal; }

public slots:
    // Start-up and shutdown
    void FormCreate(QObject* Sender);
    void FormClose(QObject* Sender);

    // Link
    void btnConnClick(QObject* Sender);
    void btnSettingClick(QObject* Sender);
    void ComPort1RxChar(QObject* Sender, int Count);

    // Sampling and run control
    void Timer1Timer(QObject* Sender);
    void Button1Click(QObject* Sender);
    void Button2Click(QObject* Sender);

    // Navigation
    void ChartPHClick(QObject* Sender);
    void ChartORPClick(QObject* Sender);
    void ChartCONDClick(QObject* Sender);
    void ChartTDSClick(QObject* Sender);
    void ChartSaltClick(QObject* Sender);
    void ChartDOClick(QObject* Sender);
    void ChartO2Click(QObject* Sender);
    void Button3Click(QObject* Sender);
    void Button11Click(QObject* Sender);

    // Saving
    void Button4Click(QObject* Sender);
    void Button5Click(QObject* Sender);
    void Button6Click(QObject* Sender);
    void Button7Click(QObject* Sender);
    void Button8Click(QObject* Sender);
    void Button9Click(QObject* Sender);
    void Button10Click(QObject* Sender);
    void Button12Click(QObject* Sender);

public:
    // Cell texts of the lists, asked for each cell as it is drawn.
    void vtPHGetText(QObject* Sender, const ResultRecord& Node, int Column, QString& CellText);
    void vtORPGetText(QObject* Sender, const ResultRecord& Node, int Column, QString& CellText);
    void vtCONDGetText(QObject* Sender, const ResultRecord& Node, int Column, QString& CellText);
    void vtTDSGetText(QObject* Sender, const ResultRecord& Node, int Column, QString& CellText);
    void vtSaltGetText(QObject* Sender, const ResultRecord& Node, int Column, QString& CellText);
    void vtDOGetText(QObject* Sender, const ResultRecord& Node, int Column, QString& CellText);
    void vtO2GetText(QObject* Sender, const ResultRecord& Node, int Column, QString& CellText);
    void vtSaveDataGetText(QObject* Sender, const ResultRecord& Node, int Column,
                           QString& CellText);

    /// Applies what one frame means to the reading, the records list, the timer and the captions.
    void DecodeFrame(const FrameEvent& event);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildLayout();
    void buildControlBar();
    void buildDashboard();
    void buildParameterPage(Parameter parameter, QWidget*& page, const QString& title,
                            TrendChart*& chart, QLineSeries*& line, ResultList*& list,
                            QPushButton*& saveButton);
    void buildRecordsPage();
    void wireHandlers();

    /// Reads the interval box; on bad text tells the user, resets the box and returns false.
    bool takeInterval(int& seconds);
    /// Shows the run state on the timer and the two buttons. An unchanged period keeps a running
    /// timer on its schedule; a new one starts a full period from now.
    void applyRunState();
    void onConnectionLost(const QString& reason);
    /// Once a second while waiting: opens the port again when its meter is back.
    void lineWatchTimer();
    /// Stops waiting for the meter; the port stays closed.
    void endWaiting();
    /// Keeps the port settings for the next start; tells the user when they could not be kept.
    void rememberPortSettings();
    void showParameterPage(Parameter parameter);
    void saveList(ResultList* list);
    void updateLinkStatus();
    void applyRegionalNumberFormat();
    void setCaption(const QString& caption);
    bool hasUnsavedRows() const;
    /// Stamps \a row with the clock's instant and its local offset; returns that instant.
    QDateTime stampRow(ResultRecord& row) const;
    /// Hands a row just added to \a list to the journal.
    void journalRow(ListId list, const ResultRecord& row);
    void showJournalNote(const QString& note);
    void showJournalOff(const QString& reason);
    void offerRestore();
    void restoreSession(const JournalSession& session);

    QString m_configPath;
    bool m_changeDecimal = false; ///< "ChangeDecimal" = 1 holds against locale changes
    CurrentReading m_reading;
    RunControl m_run; ///< the run state: what the timer and the two buttons show
    FrameStream m_stream;
    quint64 m_streamSession = 0; ///< the port session whose bytes m_stream holds
    qint64 m_skippedBytes = 0;
    bool m_autoReconnect = true;   ///< "AutoReconnect" in config.ini
    QTimer* m_lineWatch = nullptr; ///< ticks once a second while waiting for the meter
    QString m_lostAt;              ///< "hh:mm:ss" of the last lost line
    QString m_lineNote;            ///< shown in lblLinkStatus
    QPointer<QMessageBox> m_lineLostBox;
    ResultExporter* m_exporter = nullptr;

    // The seven parameters in route order, for the handlers that differ only by parameter.
    std::array<TrendChart*, 7> m_smallCharts{};
    std::array<TrendChart*, 7> m_bigCharts{};
    std::array<ResultList*, 7> m_lists{};
    std::array<QWidget*, 7> m_pages{};
    /// Rows of each list (7 parameters, then the records) when it was last saved.
    std::array<qsizetype, ListCount> m_savedRows{};

    // The journal, as config.ini sets it up.
    bool m_journalEnabled = true;
    QString m_journalFile;
    int m_journalKeepDays = 30;
    Journal* m_journal = nullptr;
};

/// The single main window of the running program.
extern TfMain* fMain;

} // namespace pexumo
