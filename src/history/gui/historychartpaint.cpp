// The history chart's drawing: axes, grid, limits, the two lines and the hover mark, on the
// screen and into an image or a drawing alike.
#include "history/gui/historychart.h"

#include "base/numberformat.h"
#include "history/gui/historychartview.h"
#include "history/historyseries.h"
#include "history/timeaxis.h"

#include <QPainter>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace pexumo {

namespace {

// Colours on the white plot, each at least 4.5:1 against it.
const QColor ValueColour(0x1f, 0x4e, 0x9c);
const QColor TempColour(0xb3, 0x4d, 0x00);
const QColor LimitColour(0xb0, 0x00, 0x20);
const QColor GridColour(0xe4, 0xe4, 0xe4);
const QColor FrameColour(0x80, 0x80, 0x80);
const QColor TextColour(0x20, 0x20, 0x20);
const QColor HoverColour(0x40, 0x40, 0x40);

// Where the segment from `inside` to `outside` meets the vertical line at x = edge; `outside`
// itself when it is not beyond it. Keeps far-away neighbours out of the painter's coordinates.
QPointF clipTo(QPointF inside, QPointF outside, double edge)
{
    if ((outside.x() < edge) == (inside.x() < edge) || outside.x() == inside.x())
        return outside;
    const double f = (edge - inside.x()) / (outside.x() - inside.x());
    return inside + f * (outside - inside);
}

} // namespace

void HistoryChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintChart(painter, 1.0, true);
}

void HistoryChart::paintChart(QPainter& p, double scale, bool screen) const
{
    const QRect plot = plotRect();
    const QRectF plotF(plot);
    const QFontMetrics fm(font());
    p.fillRect(rect(), Qt::white);
    p.setFont(font());

    const bool empty = !m_series || m_series->isEmpty();
    const View& v = view(std::max(1, int(std::lround(plot.width() * scale))));
    const double yMin = m_valueAxisFixed ? m_fixedMin : v.yMin;
    const double yMax = m_valueAxisFixed ? m_fixedMax : v.yMax;
    const auto yOf = [&](double value) {
        return plotF.bottom() - (value - yMin) * plotF.height() / (yMax - yMin);
    };
    const auto tempYOf = [&](double t) {
        return plotF.bottom() - (t - v.tempMin) * plotF.height() / (v.tempMax - v.tempMin);
    };

    // Grid and labels of the value axis (left) and the temperature axis (right).
    const int rowTicks = std::max(2, plot.height() / (2 * fm.height()));
    p.setPen(GridColour);
    const ValueTicks yTicks = empty ? ValueTicks{} : valueTicks(yMin, yMax, rowTicks);
    for (const double y : yTicks.values) {
        const double py = yOf(y);
        p.setPen(GridColour);
        p.drawLine(QPointF(plotF.left(), py), QPointF(plotF.right(), py));
        p.setPen(TextColour);
        p.drawText(QRectF(0, py - fm.height(), plot.left() - 6, 2 * fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, FormatNumber(y));
    }
    if (m_tempVisible && !empty) {
        p.setPen(TempColour);
        for (const double t : valueTicks(v.tempMin, v.tempMax, rowTicks).values)
            p.drawText(QRectF(plot.right() + 6, tempYOf(t) - fm.height(),
                              width() - plot.right() - 6, 2 * fm.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, FormatNumber(t));
        p.drawText(QRect(plot.right() + 6, 0, width() - plot.right() - 6, plot.top() - 4),
                   Qt::AlignLeft | Qt::AlignBottom, tr("Temp"));
    }
    p.setPen(TextColour);
    p.drawText(QRect(4, 0, plot.left() + fm.horizontalAdvance(m_unit), plot.top() - 4),
               Qt::AlignLeft | Qt::AlignBottom, m_unit);

    // Time axis: a grid line per tick, the time under it and the date where it changes.
    {
        const int labelWidth = fm.horizontalAdvance(QStringLiteral("0000-00-00")) + 8;
        for (const TimeTick& tick : axisTicks().ticks) {
            const double x = xAtTime(double(tick.ms));
            p.setPen(GridColour);
            p.drawLine(QPointF(x, plotF.top()), QPointF(x, plotF.bottom()));
            p.setPen(TextColour);
            const QString lines = tick.time.isEmpty() ? tick.date : tick.time + u'\n' + tick.date;
            const double left =
                std::max(0.0, std::min(x - labelWidth / 2.0, double(width() - labelWidth)));
            p.drawText(QRectF(left, plot.bottom() + 4, labelWidth, 2 * fm.height() + 2),
                       Qt::AlignHCenter | Qt::AlignTop, lines);
        }
    }

    p.save();
    p.setClipRect(plotF.adjusted(-1, -1, 1, 1));
    p.setRenderHint(QPainter::Antialiasing, true);
    if (!empty) {
        for (const auto& limit : {m_low, m_high}) {
            if (!limit || !std::isfinite(*limit))
                continue;
            p.setPen(QPen(LimitColour, 1.5, Qt::DashLine));
            p.drawLine(QPointF(plotF.left(), yOf(*limit)), QPointF(plotF.right(), yOf(*limit)));
        }
    }

    const auto drawTrace = [&](const Reduction& r, HistoryChannel channel, const QPen& pen,
                               const auto& yMap) {
        p.setPen(pen);
        p.setBrush(pen.color());
        const double columnWidth = plotF.width() / v.columns;
        const auto pointOf = [&](qsizetype i) {
            return QPointF(xAtTime(double(m_series->stampAt(i))),
                           yMap(channelAt(*m_series, i, channel)));
        };
        QPolygonF run;
        const auto flush = [&] {
            if (run.size() == 1)
                p.drawEllipse(run.front(), 1.5, 1.5); // a lone sample: a dot, not nothing
            else if (run.size() > 1)
                p.drawPolyline(run);
            run.clear();
        };
        for (const ReducedColumn& c : r.pieces) {
            if (!c.joined)
                flush();
            const double x = plotF.left() + (c.column + 0.5) * columnWidth;
            const QPointF entry(x, yMap(c.firstY));
            if (run.isEmpty() && r.before >= 0 && &c == &r.pieces.front())
                run << clipTo(entry, pointOf(r.before), plotF.left() - 2);
            run << entry;
            if (c.minY != c.maxY)
                run << QPointF(x, yMap(c.minY)) << QPointF(x, yMap(c.maxY));
            if (c.first != c.last)
                run << QPointF(x, yMap(c.lastY));
        }
        if (r.after >= 0) {
            if (run.isEmpty() && r.before >= 0) {
                // No sample inside: the line crosses the whole plot.
                const QPointF a = pointOf(r.before);
                const QPointF b = pointOf(r.after);
                run << clipTo(b, a, plotF.left() - 2) << clipTo(a, b, plotF.right() + 2);
            } else if (!run.isEmpty()) {
                run << clipTo(run.back(), pointOf(r.after), plotF.right() + 2);
            }
        }
        flush();
    };
    if (!empty && m_tempVisible)
        drawTrace(v.temp, HistoryChannel::Temperature, QPen(TempColour, 1, Qt::DashLine), tempYOf);
    if (!empty)
        drawTrace(v.value, HistoryChannel::Value, QPen(ValueColour, 1), yOf);

    if (screen && !empty && m_hoverIndex >= 0 && m_hoverIndex < m_series->size()) {
        const double hx = xAtTime(double(m_series->stampAt(m_hoverIndex)));
        p.setPen(QPen(HoverColour, 1, Qt::DotLine));
        p.drawLine(QPointF(hx, plotF.top()), QPointF(hx, plotF.bottom()));
        p.setPen(QPen(HoverColour, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(hx, yOf(m_series->valueAt(m_hoverIndex))), 4, 4);
    }
    p.restore();

    p.setPen(FrameColour);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plotF.adjusted(0, 0, -1, -1));
    if (empty) {
        p.setPen(TextColour);
        p.drawText(plot, Qt::AlignCenter, tr("No samples yet"));
    }
}

void HistoryChart::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeButtons();
    viewChanged();
}

void HistoryChart::placeButtons()
{
    // Over the plot's right end, in the band above it.
    const QRect plot = plotRect();
    const QSize all = m_allButton->sizeHint();
    const QSize exp = m_exportButton->sizeHint();
    const int y = std::max(0, (plot.top() - all.height()) / 2);
    m_exportButton->setGeometry(plot.right() + 1 - exp.width(), y, exp.width(), exp.height());
    m_allButton->setGeometry(m_exportButton->x() - 4 - all.width(), y, all.width(), all.height());
}

} // namespace pexumo
