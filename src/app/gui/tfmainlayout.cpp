// How the main window is put together: the bar above the pages, every page at its place, and
// the handlers wired to their widgets.
#include "app/gui/tfmain.h"

#include "acquire/gui/trendchart.h"
#include "app/gui/alarmview.h"
#include "app/gui/controlbar.h"
#include "app/gui/dashboard.h"
#include "app/gui/layoutparts.h"
#include "app/gui/parameterpage.h"
#include "link/comport.h"
#include "results/gui/resultlist.h"
#include "results/resultbook.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace pexumo {

using namespace layout;

void TfMain::buildLayout()
{
    setFont(uiFont(11));

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    // The pages are built before the bar: a widget joins the keyboard order where it is made,
    // and the page area comes first in it.
    PageControl1 = named(new QStackedWidget(central), "PageControl1");
    m_dashboard = new Dashboard;
    static_cast<DashboardWidgets&>(*this) = *m_dashboard;
    TabAll = m_dashboard;
    PageControl1->addWidget(TabAll);
    buildParameterPages();
    buildRecordsPage();
    m_bar = new ControlBar(central);
    static_cast<ControlBarWidgets&>(*this) = *m_bar;
    column->addWidget(m_bar);
    column->addWidget(PageControl1, 1);

    // 808 x 649 outside on the system the layout was drawn for: an 800 x 615 client area.
    resize(800, 41 + 574);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfMain::buildParameterPages()
{
    static const char* const saveButtonNames[] = {"Button4", "Button5", "Button6", "Button7",
                                                  "Button8", "Button9", "Button10"};
    for (Parameter parameter : AllParameters) {
        const std::size_t i = indexOf(parameter);
        m_pages[i] =
            new ParameterPage(parameter, m_book->list(listOf(parameter)), saveButtonNames[i]);
        PageControl1->addWidget(m_pages[i]);
    }
    const auto take = [this](Parameter parameter, QWidget*& page, TrendChart*& chart,
                             QLineSeries*& line, ResultList*& list, QPushButton*& save) {
        ParameterPage* p = m_pages[indexOf(parameter)];
        page = p;
        chart = p->chart;
        line = p->line;
        list = p->list;
        save = p->saveButton;
    };
    take(Parameter::PH, TabPH, ChartPH_Big, LinePH_Big, vtPH, Button4);
    take(Parameter::ORP, TabORP, ChartORP_Big, LineORP_Big, vtORP, Button5);
    take(Parameter::COND, TabCOND, ChartCOND_Big, LineCOND_Big, vtCOND, Button6);
    take(Parameter::TDS, TabTDS, ChartTDS_Big, LineTDS_Big, vtTDS, Button7);
    take(Parameter::Salt, TabSalt, ChartSalt_Big, LineSalt_Big, vtSalt, Button8);
    take(Parameter::DO, TabDO, ChartDO_Big, LineDO_Big, vtDO, Button9);
    take(Parameter::O2, TabO2, ChartO2_Big, LineO2_Big, vtO2, Button10);
}

void TfMain::buildRecordsPage()
{
    TabSaveData = named(new QWidget, "TabSaveData");
    PageControl1->addWidget(TabSaveData);
    vtSaveData = named(new ResultList(m_book->list(ListId::Records), TabSaveData), "vtSaveData");
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
    connect(m_bar->btnAlarms, &QToolButton::clicked, this,
            [this] { m_alarms->editLimits(showWarning); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
    connect(ComPort1, &TComPort::OnRxChar, this, &TfMain::ComPort1RxChar);

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
