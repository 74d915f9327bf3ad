#include "app/gui/tfmain.h"

#include "acquire/gui/trendchart.h"
#include "acquire/interval.h"
#include "acquire/windowedseries.h"
#include "app/config.h"
#include "app/gui/degreemark.h"
#include "app/numberformat.h"
#include "link/gui/comport.h"
#include "results/celltext.h"
#include "results/gui/resultexporter.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace pexumo {

TfMain* fMain = nullptr;

namespace {

const QString kStop = QStringLiteral("Stop");
const QString kGo = QStringLiteral("Go");
const QString kConnect = QStringLiteral("Connect");
const QString kDisconnect = QStringLiteral("Disconnect");

// The window's fonts were drawn for 96 dpi with fonts the platform may lack; the same pixel
// sizes with the nearest families keep every caption inside its box.
QFont uiFont(int pixelSize, bool bold = false)
{
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QFont arialFont(bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(19);
    f.setBold(bold);
    return f;
}

template <class W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int x, int y,
                        int w, int h)
{
    auto* b = named(new QPushButton(caption, parent), name);
    b->setGeometry(x, y, w, h);
    return b;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                  int h)
{
    auto* l = named(new QLabel(text, parent), name);
    l->setGeometry(x, y, w, h);
    return l;
}

void setTextColor(QWidget* w, const QColor& color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    w->setPalette(p);
}

} // namespace

TfMain::TfMain(QWidget* parent, const QString& configPath)
    : QMainWindow(parent), m_configPath(configPath)
{
    fMain = this;
    setObjectName(QStringLiteral("fMain"));
    setFont(uiFont(11));

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
        if (!ComPort1->ShowSetupDialog(this) && !ComPort1->errorString().isEmpty())
            QMessageBox::critical(this, QStringLiteral("Setup"), ComPort1->errorString());
        // Another port that would not open leaves the link closed: say so on the bar.
        if (wasConnected && !ComPort1->Connected()) {
            btnConn->setText(kConnect);
            Button2->setEnabled(false);
        }
    };
    clock = [] { return QTime::currentTime(); };
    confirmDiscard = [this] {
        return QMessageBox::question(
                   this, QStringLiteral("Pexumo"),
                   tr("Some readings have not been saved yet. Close Pexumo and discard them?"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };

    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    m_exporter = new ResultExporter(this);
    SaveDialog1 = m_exporter->SaveDialog1();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    Panel1 = named(new QWidget(central), "Panel1");
    Panel1->setFixedHeight(41);
    PageControl1 = named(new QStackedWidget(central), "PageControl1");
    column->addWidget(Panel1);
    column->addWidget(PageControl1, 1);

    buildControlBar();
    buildDashboard();
    buildParameterPage(Parameter::PH, TabPH, QStringLiteral("pH"), ChartPH_Big, LinePH_Big, vtPH,
                       Button4);
    buildParameterPage(Parameter::ORP, TabORP, QStringLiteral("ORP"), ChartORP_Big, LineORP_Big,
                       vtORP, Button5);
    buildParameterPage(Parameter::COND, TabCOND, QStringLiteral("COND"), ChartCOND_Big,
                       LineCOND_Big, vtCOND, Button6);
    buildParameterPage(Parameter::TDS, TabTDS, QStringLiteral("TDS"), ChartTDS_Big, LineTDS_Big,
                       vtTDS, Button7);
    buildParameterPage(Parameter::Salt, TabSalt, QStringLiteral("Salt"), ChartSalt_Big,
                       LineSalt_Big, vtSalt, Button8);
    buildParameterPage(Parameter::DO, TabDO, QStringLiteral("DO"), ChartDO_Big, LineDO_Big, vtDO,
                       Button9);
    buildParameterPage(Parameter::O2, TabO2, QStringLiteral("O2"), ChartO2_Big, LineO2_Big, vtO2,
                       Button10);
    buildRecordsPage();

    m_smallCharts = {ChartPH, ChartORP, ChartCOND, ChartTDS, ChartSalt, ChartDO, ChartO2};
    m_bigCharts = {ChartPH_Big,   ChartORP_Big, ChartCOND_Big, ChartTDS_Big,
                   ChartSalt_Big, ChartDO_Big,  ChartO2_Big};
    m_lists = {vtPH, vtORP, vtCOND, vtTDS, vtSalt, vtDO, vtO2};
    m_pages = {TabPH, TabORP, TabCOND, TabTDS, TabSalt, TabDO, TabO2};

    // The page area comes before the bar in the keyboard order, then the bar's own order.
    setTabOrder(PageControl1, Edit1);
    setTabOrder(Edit1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button11);
    setTabOrder(Button11, Button1);
    setTabOrder(Button1, btnSetting);
    setTabOrder(btnSetting, btnConn);

    wireHandlers();
    applyRegionalNumberFormat();

    // 808 x 649 outside on the system the layout was drawn for: an 800 x 615 client area.
    resize(800, 41 + 574);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate(this);
}

TfMain::~TfMain()
{
    if (fMain == this)
        fMain = nullptr;
}

void TfMain::buildControlBar()
{
    Label1 = makeLabel(Panel1, "Label1", QStringLiteral("Interval :"), 8, 12, 65, 13);
    Label1->setFont(uiFont(13, true));
    Edit1 = named(new QLineEdit(QStringLiteral("1"), Panel1), "Edit1");
    Edit1->setGeometry(72, 8, 33, 21);
    Label6 = makeLabel(Panel1, "Label6", QStringLiteral("sec"), 112, 12, 25, 13);
    Label6->setFont(uiFont(13, true));
    Button1 = makeButton(Panel1, "Button1", QStringLiteral("Set"), 160, 8, 49, 25);
    Button2 = makeButton(Panel1, "Button2", kStop, 208, 8, 49, 25);
    Button2->setEnabled(false);
    Button11 = makeButton(Panel1, "Button11", QStringLiteral("DownloadData"), 304, 8, 89, 25);
    Button3 = makeButton(Panel1, "Button3", QStringLiteral("MainPage"), 392, 8, 75, 25);
    lblLinkStatus = makeLabel(Panel1, "lblLinkStatus", QString(), 472, 4, 156, 33);
    lblLinkStatus->setWordWrap(true);
    setTextColor(lblLinkStatus, Qt::red);
    btnSetting = makeButton(Panel1, "btnSetting", QStringLiteral("Setting"), 632, 8, 75, 25);
    btnConn = makeButton(Panel1, "btnConn", kConnect, 710, 8, 75, 25);
}

void TfMain::buildDashboard()
{
    TabAll = named(new QWidget, "TabAll");
    PageControl1->addWidget(TabAll);

    struct Cell
    {
        TrendChart*& chart;
        QLineSeries*& line;
        const char* chartName;
        const char* lineName;
        const char* title;
        int x, y;
    };
    const Cell cells[] = {
        {ChartPH, LinePH, "ChartPH", "LinePH", "pH", 0, 0},
        {ChartORP, LineORP, "ChartORP", "LineORP", "ORP", 264, 0},
        {ChartCOND, LineCOND, "ChartCOND", "LineCOND", "COND", 528, 0},
        {ChartTDS, LineTDS, "ChartTDS", "LineTDS", "TDS", 0, 192},
        {ChartSalt, LineSalt, "ChartSalt", "LineSalt", "Salt", 264, 192},
        {ChartDO, LineDO, "ChartDO", "LineDO", "DO", 528, 192},
        {ChartO2, LineO2, "ChartO2", "LineO2", "O2", 0, 385},
        {ChartTemp, LineTemp, "ChartTemp", "LineTemp", "Temp", 264, 385},
    };
    for (const Cell& c : cells) {
        c.chart = named(new TrendChart(QString::fromLatin1(c.title), TabAll), c.chartName);
        c.chart->setGeometry(c.x, c.y, 257, 185);
        c.line = c.chart->series();
        c.line->setObjectName(QString::fromLatin1(c.lineName));
    }

    const QColor blue(Qt::blue);
    Label2 = makeLabel(TabAll, "Label2", QStringLiteral("Type"), 536, 416, 81, 25);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setFont(arialFont(true));
    setTextColor(Label2, blue);
    Edit2 = named(new QLineEdit(TabAll), "Edit2");
    Edit2->setGeometry(624, 408, 81, 30);
    Edit2->setReadOnly(true);
    Edit2->setFont(arialFont(false));
    Label4 = makeLabel(TabAll, "Label4", QString(), 710, 416, 81, 25);
    Label4->setFont(arialFont(true));
    setTextColor(Label4, Qt::black);
    Label3 = makeLabel(TabAll, "Label3", QStringLiteral("Temp"), 536, 464, 81, 25);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label3->setFont(arialFont(true));
    setTextColor(Label3, blue);
    Edit3 = named(new QLineEdit(TabAll), "Edit3");
    Edit3->setGeometry(624, 456, 81, 30);
    Edit3->setReadOnly(true);
    Edit3->setFont(arialFont(false));
    Label5 = makeLabel(TabAll, "Label5", QString(), 710, 464, 81, 25);
    Label5->setFont(arialFont(true));
    setTextColor(Label5, Qt::black);
    // Created after Label5 so that the mark is drawn above the label's left edge.
    Shape1 = named(new DegreeMark(TabAll), "Shape1");
    Shape1->setGeometry(704, 464, 9, 9);
    Shape1->hide();

    Label7 = named(new QLabel(QStringLiteral("Note:"), TabAll), "Label7");
    Label8 = named(new QLabel(QStringLiteral("Please disconnect or close this program"), TabAll),
                   "Label8");
    Label9 =
        named(new QLabel(QStringLiteral("before remove the USB cable or turn off power"), TabAll),
              "Label9");
    const std::pair<QLabel*, QPoint> notes[] = {
        {Label7, {544, 512}}, {Label8, {560, 528}}, {Label9, {560, 544}}};
    for (const auto& [label, pos] : notes) {
        label->setFont(uiFont(11));
        setTextColor(label, Qt::red);
        label->adjustSize();
        label->move(pos);
    }
}

void TfMain::buildParameterPage(Parameter parameter, QWidget*& page, const QString& title,
                                TrendChart*& chart, QLineSeries*& line, ResultList*& list,
                                QPushButton*& saveButton)
{
    static const char* const pageNames[] = {"TabPH",   "TabORP", "TabCOND", "TabTDS",
                                            "TabSalt", "TabDO",  "TabO2"};
    static const char* const buttonNames[] = {"Button4", "Button5", "Button6", "Button7",
                                              "Button8", "Button9", "Button10"};
    const auto i = static_cast<std::size_t>(parameter);
    const QString name = QString::fromLatin1(pageNames[i]).mid(3); // "PH", "ORP", ...

    page = named(new QWidget, pageNames[i]);
    PageControl1->addWidget(page);
    chart = new TrendChart(title, page);
    chart->setObjectName(QStringLiteral("Chart%1_Big").arg(name));
    chart->setGeometry(0, 0, 785, 273);
    line = chart->series();
    line->setObjectName(QStringLiteral("Line%1_Big").arg(name));
    list = new ResultList(parameter == Parameter::ORP ? ListKind::Orp : ListKind::Sample, page);
    list->setObjectName(QStringLiteral("vt%1").arg(name));
    list->setGeometry(0, 280, 457, 289);
    saveButton = makeButton(page, buttonNames[i], QStringLiteral("SaveResult"), 464, 280, 89, 33);
}

void TfMain::buildRecordsPage()
{
    TabSaveData = named(new QWidget, "TabSaveData");
    PageControl1->addWidget(TabSaveData);
    vtSaveData = named(new ResultList(ListKind::Downloaded, TabSaveData), "vtSaveData");
    vtSaveData->setGeometry(0, 0, 697, 569);
    Button12 = makeButton(TabSaveData, "Button12", QStringLiteral("SaveResult"), 704, 0, 75, 25);
}

void TfMain::wireHandlers()
{
    connect(btnConn, &QPushButton::clicked, this, [this] { btnConnClick(btnConn); });
    connect(btnSetting, &QPushButton::clicked, this, [this] { btnSettingClick(btnSetting); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(Button2); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(Button3); });
    connect(Button11, &QPushButton::clicked, this, [this] { Button11Click(Button11); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
    connect(ComPort1, &TComPort::OnRxChar, this, &TfMain::ComPort1RxChar);
    connect(ComPort1, &TComPort::connectionLost, this, &TfMain::onConnectionLost);

    using ClickHandler = void (TfMain::*)(QObject*);
    const std::pair<TrendChart*, ClickHandler> chartClicks[] = {
        {ChartPH, &TfMain::ChartPHClick},     {ChartORP, &TfMain::ChartORPClick},
        {ChartCOND, &TfMain::ChartCONDClick}, {ChartTDS, &TfMain::ChartTDSClick},
        {ChartSalt, &TfMain::ChartSaltClick}, {ChartDO, &TfMain::ChartDOClick},
        {ChartO2, &TfMain::ChartO2Click}};
    for (const auto& [chart, handler] : chartClicks)
        connect(chart, &TrendChart::clicked, this,
                [this, chart = chart, handler = handler] { (this->*handler)(chart); });

    const std::pair<QPushButton*, ClickHandler> saves[] = {
        {Button4, &TfMain::Button4Click},   {Button5, &TfMain::Button5Click},
        {Button6, &TfMain::Button6Click},   {Button7, &TfMain::Button7Click},
        {Button8, &TfMain::Button8Click},   {Button9, &TfMain::Button9Click},
        {Button10, &TfMain::Button10Click}, {Button12, &TfMain::Button12Click}};
    for (const auto& [button, handler] : saves)
        connect(button, &QPushButton::clicked, this,
                [this, button = button, handler = handler] { (this->*handler)(button); });

    using TextHandler = void (TfMain::*)(QObject*, const ResultRecord&, int, QString&);
    const std::pair<ResultList*, TextHandler> texts[] = {
        {vtPH, &TfMain::vtPHGetText},     {vtORP, &TfMain::vtORPGetText},
        {vtCOND, &TfMain::vtCONDGetText}, {vtTDS, &TfMain::vtTDSGetText},
        {vtSalt, &TfMain::vtSaltGetText}, {vtDO, &TfMain::vtDOGetText},
        {vtO2, &TfMain::vtO2GetText},     {vtSaveData, &TfMain::vtSaveDataGetText}};
    for (const auto& [list, handler] : texts)
        list->list()->setCellTextHandler([this, list = list, handler = handler](
                                             const ResultRecord& node, int column, QString& text) {
            (this->*handler)(list, node, column, text);
        });
}

// ---------------------------------------------------------------- start-up and shutdown

void TfMain::FormCreate(QObject*)
{
    const QString path = m_configPath.isEmpty()
                             ? QDir::current().filePath(QStringLiteral("config.ini"))
                             : m_configPath;
    if (QFileInfo::exists(path)) {
        const AppConfig config = readConfig(path);
        m_changeDecimal = config.changeDecimal;
        if (m_changeDecimal)
            NumberFormat::setCurrent({u',', u'.'});
        setCaption(config.formCaption);
    } else {
        setCaption(QString());
    }
    m_reading = CurrentReading{};
    Label4->clear();
    Label5->clear();
    Shape1->hide();
    PageControl1->setCurrentWidget(TabAll);
}

void TfMain::FormClose(QObject*)
{
    ComPort1->Close();
    Timer1->stop();
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
    return vtSaveData->list()->size() > m_savedRows[7];
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
    const QLocale locale;
    NumberFormat format;
    if (!locale.decimalPoint().isEmpty())
        format.decimal = locale.decimalPoint().front();
    if (!locale.groupSeparator().isEmpty())
        format.thousands = locale.groupSeparator().front();
    NumberFormat::setCurrent(format);
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

void TfMain::setTimerPeriod(int seconds)
{
    const int period = seconds * 1000;
    if (Timer1->interval() != period)
        Timer1->setInterval(period); // restarts a running timer: a full period from now
}

void TfMain::enableTimer()
{
    if (!Timer1->isActive())
        Timer1->start();
}

void TfMain::btnConnClick(QObject*)
{
    int seconds = 0;
    if (!takeInterval(seconds))
        return;
    setTimerPeriod(seconds);
    if (ComPort1->Connected()) {
        ComPort1->Close();
        btnConn->setText(kConnect);
        Button2->setEnabled(false);
        return;
    }
    if (ComPort1->Open()) {
        btnConn->setText(kDisconnect);
        enableTimer();
        Button2->setEnabled(true);
        Button2->setText(kStop);
        return;
    }
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
    // The port is already closed and every byte that arrived before the pull is decoded. Go to
    // the disconnected state with everything kept, ready to be saved or to connect again.
    Timer1->stop();
    Button2->setText(kGo);
    Button2->setEnabled(false);
    btnConn->setText(kConnect);
    showWarning(QStringLiteral("USB has been ejected."), reason);
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
    switch (event.timer) {
    case FrameEvent::TimerEffect::Enable:
        enableTimer();
        break;
    case FrameEvent::TimerEffect::Disable:
        Timer1->stop();
        break;
    case FrameEvent::TimerEffect::None:
        break;
    }
    switch (event.kind) {
    case FrameEvent::Kind::Live:
        m_reading = event.live;
        break;
    case FrameEvent::Kind::Record:
        vtSaveData->list()->add(event.record);
        break;
    case FrameEvent::Kind::Halt:
        // The port stays open, so btnConn keeps offering "Disconnect": one click closes it.
        Timer1->stop();
        Button2->setText(kGo);
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
    lblLinkStatus->setText(tr("Read ComPort Error. %n damaged byte(s) skipped.", nullptr,
                              static_cast<int>(qMin<qint64>(m_skippedBytes, INT_MAX))));
}

// ---------------------------------------------------------------- sampling and run control

void TfMain::Timer1Timer(QObject*)
{
    if (!ComPort1->Connected()) {
        Timer1->stop();
        Button2->setText(kGo);
        return;
    }
    if (Button2->text() == kGo)
        return;
    const std::optional<SamplePlan> plan = planSample(m_reading);
    if (!plan)
        return;

    const auto i = static_cast<std::size_t>(plan->target);
    m_smallCharts[i]->addWindowedPoint(plan->y, SmallChartWindow);
    m_bigCharts[i]->addWindowedPoint(plan->y, BigChartWindow);
    ResultRecord row = plan->row;
    row.TimeOrNo = clock().toString(QStringLiteral("hh:mm:ss"));
    m_lists[i]->list()->add(row);

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

void TfMain::Button1Click(QObject*)
{
    int seconds = 0;
    if (!takeInterval(seconds))
        return;
    if (!ComPort1->Connected())
        return;
    setTimerPeriod(seconds);
    enableTimer();
    Button2->setText(kStop);
}

void TfMain::Button2Click(QObject*)
{
    if (Button2->text() == kStop) {
        Timer1->stop();
        Button2->setText(kGo);
        return;
    }
    if (!ComPort1->Connected()) {
        showWarning(QStringLiteral("Please connect the ComPort."), QString());
        return;
    }
    enableTimer();
    Button2->setText(kStop);
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
    m_savedRows[it == m_lists.end() ? 7 : static_cast<std::size_t>(it - m_lists.begin())] = rows;
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
