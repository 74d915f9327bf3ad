#include "acquire/gui/trendchart.h"

#include "acquire/charttails.h"
#include "acquire/windowedseries.h"
#include "base/numberformat.h"

#include <QChart>
#include <QFontMetricsF>
#include <QGraphicsItem>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <optional>

namespace pexumo {

namespace {
// Width in pixels that the point legend takes at the right of the plot.
constexpr int LegendWidth = 64;
constexpr qreal LegendGap = 6;
// Length of the line sample in front of each legend row.
constexpr qreal LegendSwatch = 10;
// Size of the dot that shows a lone point, which draws no line (13 px across with its outline).
constexpr qreal LoneMarkerSize = 7;

// The operations AddWindowedPoint needs, on a QLineSeries.
struct LineSeriesAdapter
{
    QLineSeries& s;
    int count() const { return s.count(); }
    double x(int i) const { return s.at(i).x(); }
    void add(double y) { s.append(s.count(), y); }
    void addXY(double x, double y) { s.append(x, y); }
    void removeFirst() { s.remove(0); }
};

struct Extent
{
    double minX, maxX, minY, maxY;
};

std::optional<Extent> extentOf(const QLineSeries& s)
{
    const QList<QPointF> points = s.points();
    if (points.isEmpty())
        return std::nullopt;
    Extent e{points.front().x(), points.back().x(), points.front().y(), points.front().y()};
    for (const QPointF& p : points) {
        e.minX = std::min(e.minX, p.x());
        e.maxX = std::max(e.maxX, p.x());
        e.minY = std::min(e.minY, p.y());
        e.maxY = std::max(e.maxY, p.y());
    }
    return e;
}

QLocale localeFor(NumberFormat format)
{
    // Axis labels are written by QLocale; only the decimal separator matters, so pick a locale
    // that has it and keep thousands ungrouped.
    QLocale locale =
        format.decimal == u',' ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}
} // namespace

/// The legend of point values: the stock legend has one marker per series, never per point.
class PointLegend : public QGraphicsItem
{
public:
    PointLegend(const QLineSeries& series, QGraphicsItem* parent)
        : QGraphicsItem(parent), m_series(series)
    {
    }

    void setArea(const QRectF& area)
    {
        prepareGeometryChange();
        m_area = area;
    }

    void setLabelFont(const QFont& font) { m_font = font; }

    QRectF boundingRect() const override { return m_area; }

    QStringList rows() const
    {
        const qreal rowHeight = QFontMetricsF(m_font).height();
        const int fit = rowHeight > 0 ? int(std::floor(m_area.height() / rowHeight)) : 0;
        // When not every point fits, the newest ones are listed: the reading the user watches.
        const int count = m_series.count();
        const int n = std::min<int>(fit, count);
        QStringList texts;
        texts.reserve(n);
        const NumberFormat format = NumberFormat::current();
        for (int i = count - n; i < count; ++i)
            texts.append(FormatNumber(m_series.at(i).y(), format));
        return texts;
    }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override
    {
        const QStringList texts = rows();
        const qreal rowHeight = QFontMetricsF(m_font).height();
        painter->setFont(m_font);
        QPen swatch = m_series.pen();
        swatch.setWidthF(2);
        for (int i = 0; i < texts.size(); ++i) {
            const QRectF row(m_area.left(), m_area.top() + i * rowHeight, m_area.width(),
                             rowHeight);
            painter->setPen(swatch);
            painter->drawLine(QPointF(row.left(), row.center().y()),
                              QPointF(row.left() + LegendSwatch, row.center().y()));
            painter->setPen(Qt::black);
            const QRectF textRect = row.adjusted(LegendSwatch + 3, 0, 0, 0);
            painter->drawText(
                textRect, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetricsF(m_font).elidedText(texts[i], Qt::ElideRight, textRect.width()));
        }
    }

private:
    const QLineSeries& m_series;
    QRectF m_area;
    QFont m_font;
};

TrendChart::TrendChart(const QString& title, QWidget* parent) : QChartView(parent)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    // No outer margin: the only space kept free is the legend's at the right.
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setMargins(QMargins(0, 0, LegendWidth, 0));
    chart->setBackgroundRoundness(0);
    chart->setPlotAreaBackgroundVisible(false);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setDropShadowEnabled(false);
    chart->legend()->hide();

    m_series = new QLineSeries(chart);
    m_series->setPointsVisible(false);
    m_series->setPointLabelsVisible(false);
    m_series->setUseOpenGL(false);
    chart->addSeries(m_series);

    m_axisX = new QValueAxis(chart);
    m_axisY = new QValueAxis(chart);
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    m_series->attachAxis(m_axisX);
    m_series->attachAxis(m_axisY);
    m_axisX->setRange(0, 1);
    m_axisX->setTickType(QValueAxis::TicksDynamic);
    m_axisX->setTickAnchor(0);
    m_axisX->setTickInterval(1);
    m_axisX->setLabelFormat(QStringLiteral("%.0f"));
    m_axisY->setRange(0, 1);
    m_title = title;
    m_titleBrush = chart->titleBrush();
    for (QLineSeries** limit : {&m_lowLimit, &m_highLimit}) {
        *limit = new QLineSeries(chart);
        QPen pen(QColor(0xc6, 0x28, 0x28), 1, Qt::DashLine);
        (*limit)->setPen(pen);
        chart->addSeries(*limit);
        (*limit)->attachAxis(m_axisX);
        (*limit)->attachAxis(m_axisY);
    }

    connect(m_axisX, &QValueAxis::rangeChanged, this, &TrendChart::drawLimits);

    m_legend = new PointLegend(*m_series, chart);
    m_legend->setZValue(10);
    QFont legendFont = m_axisY->labelsFont();
    m_legend->setLabelFont(legendFont);
    connect(chart, &QChart::plotAreaChanged, this, [this](const QRectF& plot) {
        m_legend->setArea(
            QRectF(plot.right() + LegendGap, plot.top(), LegendWidth - LegendGap, plot.height()));
    });

    setChart(chart);
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    setFrameShape(QFrame::NoFrame);
    // No antialiasing: it doubles the cost of painting a chart.
    setRenderHint(QPainter::Antialiasing, false);
    applyNumberFormat();
}

void TrendChart::applyNumberFormat()
{
    const QLocale locale = localeFor(NumberFormat::current());
    if (chart()->localizeNumbers() && chart()->locale() == locale)
        return;
    chart()->setLocalizeNumbers(true);
    chart()->setLocale(locale);
}

QStringList TrendChart::legendRows() const
{
    return m_legend->rows();
}

void TrendChart::setLimits(std::optional<double> low, std::optional<double> high)
{
    m_limits = {low, high};
    drawLimits();
}

void TrendChart::drawLimits()
{
    // From edge to edge of what the axis shows, redone whenever that moves: the chart draws no
    // line whose points lie far beyond its axes.
    const double left = m_axisX->min();
    const double right = m_axisX->max();
    for (const auto& [line, value] :
         {std::pair{m_lowLimit, m_limits[0]}, std::pair{m_highLimit, m_limits[1]}}) {
        if (value)
            line->replace({QPointF(left, *value), QPointF(right, *value)});
        else if (line->count() > 0)
            line->clear();
    }
}

void TrendChart::setAlarm(bool up)
{
    if (up == m_alarm)
        return;
    m_alarm = up;
    chart()->setTitle(up ? QStringLiteral("\u26A0 ") + m_title : m_title);
    chart()->setTitleBrush(up ? QBrush(QColor(0xc6, 0x28, 0x28)) : m_titleBrush);
    chart()->setPlotAreaBackgroundBrush(QColor(0xff, 0xeb, 0xee));
    chart()->setPlotAreaBackgroundVisible(up);
}

void TrendChart::showTail(const ChartTail& tail, int window)
{
    if (tail.ys.empty())
        return;
    if (tail.total > window) {
        // The window as it stood before the last tick (X counts samples), then that tick.
        QList<QPointF> points;
        const qint64 firstX = tail.total - window - 1;
        for (std::size_t i = 0; i + 1 < tail.ys.size(); ++i)
            points.append(QPointF(double(firstX + qint64(i)), tail.ys[i]));
        m_series->replace(points);
        addWindowedPoint(tail.ys.back(), window);
        return;
    }
    for (double y : tail.ys)
        addWindowedPoint(y, window);
}

void TrendChart::addWindowedPoint(double y, int window)
{
    LineSeriesAdapter adapter{*m_series};
    AddWindowedPoint(adapter, window, y);
    // A line needs two points: a lone one is drawn as a marker, and from the second point on
    // the series is a plain line again.
    const bool lone = m_series->count() == 1;
    if (m_series->pointsVisible() != lone) {
        m_series->setPointsVisible(lone);
        // Set here, not when the series is made: this chart version draws the size that was
        // last changed while its plot item existed.
        if (lone)
            m_series->setMarkerSize(LoneMarkerSize);
    }
    applyNumberFormat();
    // A range change re-lays out every axis label, the dearest part of an update; a hidden
    // chart (a page not shown) catches up once when it is shown.
    if (m_autoScale && isVisible())
        rescale();
    else if (m_autoScale)
        m_rescalePending = true;
    m_legend->update();
}

void TrendChart::showEvent(QShowEvent* event)
{
    if (m_rescalePending && m_autoScale)
        rescale();
    QChartView::showEvent(event);
}

void TrendChart::rescale()
{
    m_rescalePending = false;
    const auto e = extentOf(*m_series);
    if (!e)
        return;
    // A lone sample stands in the middle with its own number as the only label, rather than
    // between sample numbers that do not exist.
    if (e->maxX > e->minX)
        m_axisX->setRange(e->minX, e->maxX);
    else
        m_axisX->setRange(e->minX - 0.5, e->maxX + 0.5);
    // X counts samples: ticks on whole sample numbers, about five of them.
    const double tickInterval = std::max(1.0, std::ceil((e->maxX - e->minX) / 5.0));
    if (tickInterval != m_axisX->tickInterval())
        m_axisX->setTickInterval(tickInterval);

    // The points fill the band from 5 % to 95 % of the plot height: 5/90 of their span above
    // and below.
    const double span = e->maxY - e->minY;
    if (span > 0) {
        const double pad = span * 5.0 / 90.0;
        m_axisY->setRange(e->minY - pad, e->maxY + pad);
    } else {
        const double half = e->minY != 0 ? std::abs(e->minY) * 0.05 : 1.0;
        m_axisY->setRange(e->minY - half, e->maxY + half);
    }
}

void TrendChart::scrollBy(QPoint delta)
{
    const auto e = extentOf(*m_series);
    if (!e || delta.isNull())
        return;
    m_autoScale = false;
    // The view follows the mouse: dragging right brings earlier samples in, dragging down higher
    // values.
    chart()->scroll(-delta.x(), delta.y());

    // Never further than the points reach: some of their extent stays in view on each axis.
    auto clamp = [](QValueAxis* axis, double lo, double hi) {
        const double min = axis->min();
        const double max = axis->max();
        if (max < lo)
            axis->setRange(lo - (max - min), lo);
        else if (min > hi)
            axis->setRange(hi, hi + (max - min));
    };
    clamp(m_axisX, e->minX, e->maxX);
    clamp(m_axisY, e->minY, e->maxY);
}

void TrendChart::mousePressEvent(QMouseEvent* event)
{
    // QChartView's own handlers are bypassed: in this Qt they zoom out on a right release and can
    // dereference a null item on a press.
    if (event->button() == Qt::LeftButton) {
        m_leftDown = true;
    } else if (event->button() == Qt::RightButton) {
        m_rightDown = true;
        m_lastDragPos = event->position().toPoint();
    }
    event->accept();
}

void TrendChart::mouseMoveEvent(QMouseEvent* event)
{
    if (m_rightDown && (event->buttons() & Qt::RightButton)) {
        const QPoint pos = event->position().toPoint();
        scrollBy(pos - m_lastDragPos);
        m_lastDragPos = pos;
    }
    event->accept();
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_leftDown) {
        m_leftDown = false;
        if (rect().contains(event->position().toPoint()))
            emit clicked();
    } else if (event->button() == Qt::RightButton) {
        m_rightDown = false;
    }
    event->accept();
}

void TrendChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click arrives as press, release, double-click, release: treat the second press
    // as a press so that its release is a click too.
    mousePressEvent(event);
}

void TrendChart::wheelEvent(QWheelEvent* event)
{
    // No zoom and nothing to scroll inside the chart: let the page have the wheel.
    event->ignore();
}

} // namespace pexumo
