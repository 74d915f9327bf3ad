#include "acquire/gui/historychart.h"

#include "acquire/historyseries.h"
#include "acquire/timeaxis.h"
#include "base/numberformat.h"
#include "results/localstamp.h"
#include "results/textexport.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QSvgGenerator>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

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

// How far from the pointer (px) a sample may be to be the one hovered.
constexpr double HoverReachPx = 24;
// Boxes narrower or flatter than this (px) are a slip of the hand, not a zoom.
constexpr int MinBoxPx = 3;

// The stored float written as its shortest exact decimal (7.01f -> "7.01", not
// 7.01000022888184), then in the process's number format.
QString floatText(float v)
{
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    double shortest = v;
    std::from_chars(buf.data(), res.ptr, shortest);
    return FormatNumber(shortest);
}

// The axis range around [lo, hi] with 5/90 of the span free on each side, so the samples fill
// the band from 5 % to 95 % of the plot, as on the trend charts.
std::pair<double, double> padded(double lo, double hi)
{
    if (hi > lo) {
        const double pad = (hi - lo) * 5.0 / 90.0;
        return {lo - pad, hi + pad};
    }
    const double half = lo != 0 ? std::abs(lo) * 0.05 : 1.0;
    return {lo - half, hi + half};
}

float channelAt(const HistorySeries& s, qsizetype i, HistoryChannel channel)
{
    return channel == HistoryChannel::Value
               ? s.valueAt(i)
               : s.temperatureAt(i).value_or(std::numeric_limits<float>::quiet_NaN());
}

// Lowest and highest value a reduction draws, neighbours outside the span included only when
// nothing inside is drawn; none when there is nothing at all.
std::optional<std::pair<double, double>> extentOf(const HistorySeries& s, const Reduction& r,
                                                  HistoryChannel channel)
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const ReducedColumn& c : r.pieces) {
        lo = std::min<double>(lo, c.minY);
        hi = std::max<double>(hi, c.maxY);
    }
    if (r.pieces.empty()) {
        for (const qsizetype i : {r.before, r.after}) {
            if (i >= 0) {
                lo = std::min<double>(lo, channelAt(s, i, channel));
                hi = std::max<double>(hi, channelAt(s, i, channel));
            }
        }
    }
    if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi))
        return std::nullopt;
    return std::pair{lo, hi};
}

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

struct HistoryChart::View
{
    int columns = 0;
    Reduction value;
    Reduction temp;
    double yMin = 0;
    double yMax = 1;
    double tempMin = 0;
    double tempMax = 1;
};

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 160);

    m_band = new QRubberBand(QRubberBand::Rectangle, this);
    m_band->setObjectName(QStringLiteral("zoomBox"));

    auto* showAllAction = new QAction(tr("Show all"), this);
    showAllAction->setObjectName(QStringLiteral("showAllAction"));
    showAllAction->setShortcut(Qt::Key_Home);
    connect(showAllAction, &QAction::triggered, this, &HistoryChart::showAll);
    auto* followAction = new QAction(tr("Follow the newest sample"), this);
    followAction->setObjectName(QStringLiteral("followEndAction"));
    followAction->setShortcut(Qt::Key_End);
    connect(followAction, &QAction::triggered, this, &HistoryChart::followEnd);
    auto* tempAction = new QAction(tr("Temperature"), this);
    tempAction->setObjectName(QStringLiteral("temperatureAction"));
    tempAction->setCheckable(true);
    connect(tempAction, &QAction::toggled, this, &HistoryChart::setTemperatureVisible);

    auto* pngAction = new QAction(tr("Export image (PNG)..."), this);
    pngAction->setObjectName(QStringLiteral("exportPngAction"));
    connect(pngAction, &QAction::triggered, this, [this] { exportPngWithDialog(1.0); });
    auto* png2Action = new QAction(tr("Export image at double size (PNG)..."), this);
    png2Action->setObjectName(QStringLiteral("exportPngDoubleAction"));
    connect(png2Action, &QAction::triggered, this, [this] { exportPngWithDialog(2.0); });
    auto* svgAction = new QAction(tr("Export drawing (SVG)..."), this);
    svgAction->setObjectName(QStringLiteral("exportSvgAction"));
    connect(svgAction, &QAction::triggered, this, &HistoryChart::exportSvgWithDialog);

    m_exportMenu = new QMenu(this);
    m_exportMenu->setObjectName(QStringLiteral("exportMenu"));
    m_exportMenu->addActions({pngAction, png2Action, svgAction});

    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("historyMenu"));
    m_contextMenu->addActions({showAllAction, followAction});
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(tempAction);
    m_contextMenu->addSeparator();
    m_contextMenu->addActions({pngAction, png2Action, svgAction});
    connect(m_contextMenu, &QMenu::aboutToShow, this, [this, tempAction] {
        const QSignalBlocker block(tempAction);
        tempAction->setChecked(m_tempVisible);
    });

    m_allButton = new QToolButton(this);
    m_allButton->setObjectName(QStringLiteral("showAllButton"));
    m_allButton->setText(tr("All"));
    m_allButton->setToolTip(tr("Show the whole run (Home, or double click)"));
    m_allButton->setFocusPolicy(Qt::NoFocus);
    connect(m_allButton, &QToolButton::clicked, this, &HistoryChart::showAll);
    m_exportButton = new QToolButton(this);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_exportButton->setText(tr("Export"));
    m_exportButton->setToolTip(tr("Save this view as an image"));
    m_exportButton->setFocusPolicy(Qt::NoFocus);
    m_exportButton->setMenu(m_exportMenu);
    m_exportButton->setPopupMode(QToolButton::InstantPopup);

    askFileName = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, QString(), filter);
    };
    showError = [this](const QString& message) {
        QMessageBox::warning(this, tr("Export"), message);
    };
}

HistoryChart::~HistoryChart() = default;

void HistoryChart::setSeries(const HistorySeries* series)
{
    m_series = series;
    m_knownSize = series ? series->size() : 0;
    m_hoverIndex = -1;
    showAll();
}

void HistoryChart::setUnit(const QString& unit)
{
    m_unit = unit;
    update();
}

void HistoryChart::setTemperatureVisible(bool visible)
{
    if (m_tempVisible == visible)
        return;
    m_tempVisible = visible;
    // The right axis takes room from the plot: the columns change.
    placeButtons();
    viewChanged();
}

void HistoryChart::setLimits(std::optional<double> low, std::optional<double> high)
{
    m_low = low;
    m_high = high;
    viewChanged();
}

void HistoryChart::setValueText(std::function<QString(qsizetype)> text)
{
    m_valueText = std::move(text);
}

void HistoryChart::setTemperatureText(std::function<QString(qsizetype)> text)
{
    m_tempText = std::move(text);
}

QRect HistoryChart::plotRect() const
{
    const QFontMetrics fm(font());
    const int left = fm.horizontalAdvance(QStringLiteral("-888888.88")) + 12;
    const int right = m_tempVisible ? fm.horizontalAdvance(QStringLiteral("-888.88")) + 12 : 16;
    const int top = std::max(fm.height() + 10, m_allButton->sizeHint().height() + 8);
    const int bottom = 2 * fm.height() + 10;
    return QRect(left, top, std::max(1, width() - left - right),
                 std::max(1, height() - top - bottom));
}

double HistoryChart::timeAtX(double x) const
{
    const QRect plot = plotRect();
    return double(m_t0) + (x - plot.left()) * double(m_t1 - m_t0) / plot.width();
}

double HistoryChart::xAtTime(double ms) const
{
    const QRect plot = plotRect();
    return plot.left() + (ms - double(m_t0)) * plot.width() / double(m_t1 - m_t0);
}

const HistoryChart::View& HistoryChart::view(int columns) const
{
    if (m_view && m_view->columns == columns)
        return *m_view;
    auto v = std::make_unique<View>();
    v->columns = columns;
    if (m_series && !m_series->isEmpty()) {
        v->value = reduceMinMax(*m_series, m_t0, m_t1, columns, HistoryChannel::Value);
        auto extent = extentOf(*m_series, v->value, HistoryChannel::Value);
        // The limits are taken in, so the user sees how near the samples come to them.
        for (const std::optional<double>& limit : {m_low, m_high}) {
            if (!limit || !std::isfinite(*limit))
                continue;
            if (!extent)
                extent = std::pair{*limit, *limit};
            extent->first = std::min(extent->first, *limit);
            extent->second = std::max(extent->second, *limit);
        }
        if (extent)
            std::tie(v->yMin, v->yMax) = padded(extent->first, extent->second);
        if (m_tempVisible) {
            v->temp = reduceMinMax(*m_series, m_t0, m_t1, columns, HistoryChannel::Temperature);
            if (const auto t = extentOf(*m_series, v->temp, HistoryChannel::Temperature))
                std::tie(v->tempMin, v->tempMax) = padded(t->first, t->second);
        }
    }
    m_view = std::move(v);
    return *m_view;
}

double HistoryChart::valueAxisMin() const
{
    return m_valueAxisFixed ? m_fixedMin : view(plotRect().width()).yMin;
}

double HistoryChart::valueAxisMax() const
{
    return m_valueAxisFixed ? m_fixedMax : view(plotRect().width()).yMax;
}

void HistoryChart::viewChanged()
{
    m_view.reset();
    update();
}

void HistoryChart::setFollow(Follow follow)
{
    const bool was = isFollowingEnd();
    m_follow = follow;
    if (was != isFollowingEnd())
        emit followingEndChanged(isFollowingEnd());
}

void HistoryChart::setView(double t0, double t1)
{
    if (!m_series || m_series->isEmpty()) {
        m_t0 = 0;
        m_t1 = MinSpanMs;
        viewChanged();
        setFollow(Follow::All);
        return;
    }
    const double first = double(m_series->stampAt(0));
    const double last = double(m_series->stampAt(m_series->size() - 1));
    // A run shorter than the narrowest span starts at the left and grows to the right.
    const double end = std::max(last, first + double(MinSpanMs));
    const double span = std::max(t1 - t0, double(MinSpanMs));
    Follow follow = Follow::None;
    if (!(span < end - first)) {
        t0 = first;
        t1 = end;
        follow = Follow::All;
    } else {
        t0 = std::clamp(t0, first, end - span);
        t1 = t0 + span;
        follow = t1 >= last ? Follow::End : Follow::None;
    }
    m_t0 = std::llround(t0);
    m_t1 = std::llround(t1);
    viewChanged();
    setFollow(follow);
}

void HistoryChart::dataAppended()
{
    // A series cleared for a new run starts over with the whole of it.
    const qsizetype size = m_series ? m_series->size() : 0;
    const bool restarted = size < m_knownSize;
    m_knownSize = size;
    if (size == 0 || restarted) {
        showAll();
        return;
    }
    const double last = double(m_series->stampAt(m_series->size() - 1));
    switch (m_follow) {
    case Follow::All:
        setView(-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity());
        break;
    case Follow::End:
        setView(last - double(m_t1 - m_t0), last);
        break;
    case Follow::None:
        // The line may now run on from the last sample in view.
        viewChanged();
        break;
    }
}

void HistoryChart::zoomAt(double x, double factor)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    const QRect plot = plotRect();
    const double at = timeAtX(std::clamp<double>(x, plot.left(), plot.left() + plot.width()));
    const double span = double(m_t1 - m_t0);
    const double newSpan = std::max(span / factor, double(MinSpanMs));
    const double t0 = at - (at - double(m_t0)) * newSpan / span;
    setView(t0, t0 + newSpan);
}

void HistoryChart::panBy(QPoint delta)
{
    const QRect plot = plotRect();
    if (m_valueAxisFixed && delta.y() != 0) {
        const double dy = delta.y() * (m_fixedMax - m_fixedMin) / plot.height();
        m_fixedMin += dy;
        m_fixedMax += dy;
    }
    const double dt = -delta.x() * double(m_t1 - m_t0) / plot.width();
    setView(double(m_t0) + dt, double(m_t1) + dt);
}

void HistoryChart::zoomTo(const QRectF& box)
{
    const QRect plot = plotRect();
    const QRectF b = box.normalized().intersected(QRectF(plot));
    if (b.width() < MinBoxPx)
        return;
    if (b.height() >= MinBoxPx) {
        const double yMin = valueAxisMin();
        const double yMax = valueAxisMax();
        const auto valueAt = [&](double y) {
            return yMin + (plot.top() + plot.height() - y) * (yMax - yMin) / plot.height();
        };
        m_fixedMax = valueAt(b.top());
        m_fixedMin = valueAt(b.bottom());
        m_valueAxisFixed = true;
    }
    setView(timeAtX(b.left()), timeAtX(b.right()));
}

void HistoryChart::showAll()
{
    m_valueAxisFixed = false;
    setView(-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity());
}

void HistoryChart::followEnd()
{
    if (!m_series || m_series->isEmpty())
        return;
    const double last = double(m_series->stampAt(m_series->size() - 1));
    setView(last - double(m_t1 - m_t0), last);
}

TimeTicks HistoryChart::axisTicks() const
{
    if (!m_series || m_series->isEmpty())
        return {};
    // Room for a date under every tick; the ticks are in the local time of the sample in the
    // middle of the view (a change of daylight saving time within the view shifts the rest).
    const int maxTicks =
        plotRect().width() /
        (QFontMetrics(font()).horizontalAdvance(QStringLiteral("0000-00-00")) + 24);
    const qint32 offset = m_series->utcOffsetAt(m_series->indexNear(m_t0 + (m_t1 - m_t0) / 2));
    return timeTicks(m_t0, m_t1, offset, maxTicks);
}

QStringList HistoryChart::timeAxisLabels() const
{
    QStringList labels;
    for (const TimeTick& tick : axisTicks().ticks)
        labels << (tick.time + u' ' + tick.date).trimmed();
    return labels;
}

QString HistoryChart::hoverText() const
{
    if (!m_series || m_hoverIndex < 0 || m_hoverIndex >= m_series->size())
        return {};
    const qsizetype i = m_hoverIndex;
    QString value = m_valueText ? m_valueText(i) : QString();
    if (value.isEmpty())
        value = floatText(m_series->valueAt(i));
    QString text = localStampText(m_series->stampAt(i), m_series->utcOffsetAt(i)) + u'\n' + value;
    if (!m_unit.isEmpty())
        text += u' ' + m_unit;
    if (const auto temp = m_series->temperatureAt(i)) {
        QString t = m_tempText ? m_tempText(i) : QString();
        text += QStringLiteral("\nTemp ") + (t.isEmpty() ? floatText(*temp) : t);
    }
    return text;
}

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

void HistoryChart::updateHover(QPoint pos, QPoint globalPos)
{
    qsizetype index = -1;
    if (m_series && !m_series->isEmpty() && plotRect().contains(pos)) {
        const qsizetype i = m_series->indexNear(std::llround(timeAtX(pos.x())));
        const qint64 stamp = m_series->stampAt(i);
        if (stamp >= m_t0 && stamp <= m_t1 &&
            std::abs(xAtTime(double(stamp)) - pos.x()) <= HoverReachPx)
            index = i;
    }
    if (index == m_hoverIndex)
        return;
    m_hoverIndex = index;
    if (index >= 0)
        QToolTip::showText(globalPos, hoverText(), this);
    else
        QToolTip::hideText();
    update();
}

void HistoryChart::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (event->modifiers() & Qt::ShiftModifier) {
        m_boxing = true;
        m_boxOrigin = pos;
        m_band->setGeometry(QRect(pos, QSize()));
        m_band->show();
    } else {
        m_panning = true;
        m_lastPos = pos;
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void HistoryChart::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_boxing) {
        m_band->setGeometry(QRect(m_boxOrigin, pos).normalized());
    } else if (m_panning) {
        panBy(pos - m_lastPos);
        m_lastPos = pos;
    } else {
        updateHover(pos, event->globalPosition().toPoint());
    }
    event->accept();
}

void HistoryChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (m_boxing) {
        m_boxing = false;
        m_band->hide();
        zoomTo(QRectF(QPointF(m_boxOrigin), event->position()));
    }
    if (m_panning) {
        m_panning = false;
        unsetCursor();
    }
    event->accept();
}

void HistoryChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        showAll();
    event->accept();
}

void HistoryChart::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y();
    if (notches == 0) {
        event->ignore();
        return;
    }
    zoomAt(event->position().x(), std::pow(ZoomStep, notches / 120.0));
    updateHover(event->position().toPoint(), event->globalPosition().toPoint());
    event->accept();
}

void HistoryChart::keyPressEvent(QKeyEvent* event)
{
    const QRect plot = plotRect();
    const double middle = plot.left() + plot.width() / 2.0;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomAt(middle, ZoomStep);
        break;
    case Qt::Key_Minus:
        zoomAt(middle, 1 / ZoomStep);
        break;
    case Qt::Key_Left:
        panBy(QPoint(plot.width() / 8, 0));
        break;
    case Qt::Key_Right:
        panBy(QPoint(-plot.width() / 8, 0));
        break;
    case Qt::Key_Home:
        showAll();
        break;
    case Qt::Key_End:
        followEnd();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void HistoryChart::leaveEvent(QEvent* event)
{
    if (m_hoverIndex >= 0) {
        m_hoverIndex = -1;
        QToolTip::hideText();
        update();
    }
    QWidget::leaveEvent(event);
}

void HistoryChart::contextMenuEvent(QContextMenuEvent* event)
{
    m_contextMenu->popup(event->globalPos());
    event->accept();
}

bool HistoryChart::exportImage(const QString& path, double scale, QString* error) const
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!(scale >= 1.0 && scale <= MaxExportScale))
        return fail(tr("The image scale must be from 1 to %1.").arg(MaxExportScale));
    QImage image(size() * scale, QImage::Format_RGB32);
    if (image.isNull())
        return fail(tr("Not enough memory for an image of %1 x %2 pixels.")
                        .arg(width() * scale)
                        .arg(height() * scale));
    {
        QPainter painter(&image);
        painter.scale(scale, scale);
        paintChart(painter, scale, false);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return fail(writer.errorString());
    const WriteResult written = writeFileAtomically(path, bytes);
    return written.ok || fail(written.error);
}

bool HistoryChart::exportSvg(const QString& path, QString* error) const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size());
    generator.setViewBox(rect());
    // At 96 dots per inch the size written in mm is the widget's size in CSS pixels, the size
    // a browser or a drawing program opens it at.
    generator.setResolution(96);
    generator.setTitle(m_unit.isEmpty() ? tr("History") : tr("History (%1)").arg(m_unit));
    {
        QPainter painter;
        if (!painter.begin(&generator)) {
            if (error)
                *error = tr("Cannot draw the SVG drawing.");
            return false;
        }
        paintChart(painter, 1.0, false);
    }
    const WriteResult written = writeFileAtomically(path, bytes);
    if (!written.ok && error)
        *error = written.error;
    return written.ok;
}

bool HistoryChart::exportWithDialog(const QString& caption, const QString& filter,
                                    const QString& suffix,
                                    const std::function<bool(const QString&, QString*)>& write)
{
    QString path = askFileName ? askFileName(caption, filter) : QString();
    if (path.isEmpty())
        return false;
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    QString error;
    if (write(path, &error))
        return true;
    if (showError)
        showError(error);
    return false;
}

bool HistoryChart::exportPngWithDialog(double scale)
{
    return exportWithDialog(tr("Export image"), tr("PNG image (*.png)"), QStringLiteral(".png"),
                            [this, scale](const QString& path, QString* error) {
                                return exportImage(path, scale, error);
                            });
}

bool HistoryChart::exportSvgWithDialog()
{
    return exportWithDialog(
        tr("Export drawing"), tr("SVG drawing (*.svg)"), QStringLiteral(".svg"),
        [this](const QString& path, QString* error) { return exportSvg(path, error); });
}

} // namespace pexumo
