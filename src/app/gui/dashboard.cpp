#include "app/gui/dashboard.h"

#include "acquire/gui/trendchart.h"
#include "acquire/windowedseries.h"
#include "app/gui/degreemark.h"
#include "app/gui/layoutparts.h"

#include <QAction>
#include <QLineEdit>
#include <QStyle>

#include <QLineSeries>
#include <tuple>

namespace pexumo {

using namespace layout;

Dashboard::Dashboard(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabAll"));
    struct Cell
    {
        TrendChart*& chart;
        QLineSeries*& line;
        const char* name;
        const char* title;
        int x, y;
    };
    const Cell cells[] = {
        {ChartPH, LinePH, "PH", "pH", 0, 0},
        {ChartORP, LineORP, "ORP", "ORP", 264, 0},
        {ChartCOND, LineCOND, "COND", "COND", 528, 0},
        {ChartTDS, LineTDS, "TDS", "TDS", 0, 192},
        {ChartSalt, LineSalt, "Salt", "Salt", 264, 192},
        {ChartDO, LineDO, "DO", "DO", 528, 192},
        {ChartO2, LineO2, "O2", "O2", 0, 385},
        {ChartTemp, LineTemp, "Temp", "Temp", 264, 385},
    };
    for (const Cell& c : cells) {
        c.chart = new TrendChart(QString::fromLatin1(c.title), this);
        c.chart->setObjectName(QStringLiteral("Chart") + QLatin1String(c.name));
        c.chart->setGeometry(c.x, c.y, 257, 185);
        c.line = c.chart->series();
        c.line->setObjectName(QStringLiteral("Line") + QLatin1String(c.name));
    }
    m_charts = {ChartPH, ChartORP, ChartCOND, ChartTDS, ChartSalt, ChartDO, ChartO2};

    const QColor blue(Qt::blue);
    Label2 = makeLabel(this, "Label2", QStringLiteral("Type"), 536, 416, 81, 25);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setFont(arialFont(true));
    setTextColor(Label2, blue);
    Edit2 = named(new QLineEdit(this), "Edit2");
    Edit2->setGeometry(624, 408, 81, 30);
    Edit2->setReadOnly(true);
    Edit2->setFont(arialFont(false));
    Label4 = makeLabel(this, "Label4", QString(), 710, 416, 81, 25);
    Label4->setFont(arialFont(true));
    setTextColor(Label4, Qt::black);
    Label3 = makeLabel(this, "Label3", QStringLiteral("Temp"), 536, 464, 81, 25);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label3->setFont(arialFont(true));
    setTextColor(Label3, blue);
    Edit3 = named(new QLineEdit(this), "Edit3");
    Edit3->setGeometry(624, 456, 81, 30);
    Edit3->setReadOnly(true);
    Edit3->setFont(arialFont(false));
    Label5 = makeLabel(this, "Label5", QString(), 710, 464, 81, 25);
    Label5->setFont(arialFont(true));
    setTextColor(Label5, Qt::black);
    // Created after Label5 so that the mark is drawn above the label's left edge.
    Shape1 = named(new DegreeMark(this), "Shape1");
    Shape1->setGeometry(704, 464, 9, 9);
    Shape1->hide();

    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    m_valueAlarm = Edit2->addAction(warning, QLineEdit::TrailingPosition);
    m_tempAlarm = Edit3->addAction(warning, QLineEdit::TrailingPosition);
    for (QAction* sign : {m_valueAlarm, m_tempAlarm}) {
        sign->setToolTip(tr("Alarm: the reading is beyond its limit"));
        sign->setVisible(false);
    }

    lblStale = makeLabel(this, "lblStale", QString(), 536, 490, 256, 18);
    lblStale->setFont(uiFont(12, true));
    setTextColor(lblStale, QColor(0x5f, 0x5f, 0x5f));
    lblStale->hide();

    Label7 = named(new QLabel(QStringLiteral("Note:"), this), "Label7");
    Label8 = named(new QLabel(QStringLiteral("Please disconnect or close this program"), this),
                   "Label8");
    Label9 =
        named(new QLabel(QStringLiteral("before remove the USB cable or turn off power"), this),
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

void Dashboard::showAlarmLook(bool value, bool temperature)
{
    m_valueAlarmUp = value;
    m_tempAlarmUp = temperature;
    applyReadoutLook();
}

void Dashboard::showStale(const QDateTime& since)
{
    m_stale = true;
    lblStale->setText(tr("No new reading since %1").arg(since.toString(QStringLiteral("hh:mm:ss"))));
    lblStale->show();
    applyReadoutLook();
}

void Dashboard::applyReadoutLook()
{
    for (const auto& [edit, sign, up] : {std::tuple{Edit2, m_valueAlarm, m_valueAlarmUp},
                                         std::tuple{Edit3, m_tempAlarm, m_tempAlarmUp}}) {
        sign->setVisible(up);
        QPalette palette = this->palette();
        if (up) {
            palette.setColor(QPalette::Base, QColor(0xff, 0xcd, 0xd2));
            palette.setColor(QPalette::Text, QColor(0xb7, 0x1c, 0x1c));
        }
        // A stale sample's numbers are greyed; the line under them says why.
        if (m_stale)
            palette.setColor(QPalette::Text, QColor(0x80, 0x80, 0x80));
        edit->setPalette(palette);
    }
}

void Dashboard::showSample(const SamplePlan& plan, const CurrentReading& reading)
{
    if (plan.hasTemp) {
        ChartTemp->addWindowedPoint(plan.tempY, SmallChartWindow);
        Edit3->setText(reading.FMeasTemp);
        if (reading.FTempUnit == QLatin1String("C") || reading.FTempUnit == QLatin1String("F")) {
            Label5->setText(QLatin1Char(' ') + reading.FTempUnit);
            Shape1->show();
        }
    } else {
        Edit3->clear();
        Label5->clear();
        Shape1->hide();
    }
    Edit2->setText(plan.readoutValue);
    Label2->setText(reading.FMeasType);
    Label4->setText(reading.FMeasUnit);
    if (m_stale) {
        m_stale = false;
        lblStale->hide();
        applyReadoutLook();
    }
}

} // namespace pexumo
