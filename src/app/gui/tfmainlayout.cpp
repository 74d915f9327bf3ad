// How the main window is put together: every widget at its place, with its caption, font and
// name, and the handlers wired to their widgets.
#include "app/gui/tfmain.h"

#include "acquire/gui/trendchart.h"
#include "app/gui/degreemark.h"
#include "link/comport.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace pexumo {

namespace {

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

void TfMain::buildLayout()
{
    setFont(uiFont(11));

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

    // The pages are built before the bar: a widget joins the keyboard order where it is made,
    // and the page area comes first in it.
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
    buildControlBar();

    m_smallCharts = {ChartPH, ChartORP, ChartCOND, ChartTDS, ChartSalt, ChartDO, ChartO2};
    m_bigCharts = {ChartPH_Big,   ChartORP_Big, ChartCOND_Big, ChartTDS_Big,
                   ChartSalt_Big, ChartDO_Big,  ChartO2_Big};
    m_lists = {vtPH, vtORP, vtCOND, vtTDS, vtSalt, vtDO, vtO2};
    m_pages = {TabPH, TabORP, TabCOND, TabTDS, TabSalt, TabDO, TabO2};

    // The bar's own keyboard order; the bar as a whole follows the page area, built before it.
    setTabOrder(Edit1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button11);
    setTabOrder(Button11, Button1);
    setTabOrder(Button1, btnSetting);
    setTabOrder(btnSetting, btnConn);

    // 808 x 649 outside on the system the layout was drawn for: an 800 x 615 client area.
    resize(800, 41 + 574);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
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
    Button2 = makeButton(Panel1, "Button2", QStringLiteral("Stop"), 208, 8, 49, 25);
    Button2->setEnabled(false);
    Button11 = makeButton(Panel1, "Button11", QStringLiteral("DownloadData"), 304, 8, 89, 25);
    Button3 = makeButton(Panel1, "Button3", QStringLiteral("MainPage"), 392, 8, 75, 25);
    // Notes, not alarms: the line noise count and a lost line that came back, in the window's
    // text colour, each on a line of its own (a long one wraps), centred on the buttons' row.
    lblLinkStatus = makeLabel(Panel1, "lblLinkStatus", QString(), 472, 2, 156, 37);
    lblLinkStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblLinkStatus->setWordWrap(true);
    lblJournalStatus = makeLabel(Panel1, "lblJournalStatus", QString(), 472, 4, 156, 33);
    lblJournalStatus->setWordWrap(true);
    setTextColor(lblJournalStatus, Qt::red);
    lblJournalStatus->hide();
    btnSetting = makeButton(Panel1, "btnSetting", QStringLiteral("Setting"), 632, 8, 75, 25);
    btnConn = makeButton(Panel1, "btnConn", QStringLiteral("Connect"), 710, 8, 75, 25);
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

} // namespace pexumo
