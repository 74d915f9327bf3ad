#include "history/gui/historychart.h"

#include "base/numberformat.h"
#include "history/gui/historychartview.h"
#include "history/historyseries.h"
#include "history/timeaxis.h"
#include "results/localstamp.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QRubberBand>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace pexumo {

namespace {

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

} // namespace

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
        auto extent = reducedExtent(*m_series, v->value, HistoryChannel::Value);
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
            std::tie(v->yMin, v->yMax) = paddedRange(extent->first, extent->second);
        if (m_tempVisible) {
            v->temp = reduceMinMax(*m_series, m_t0, m_t1, columns, HistoryChannel::Temperature);
            if (const auto t = reducedExtent(*m_series, v->temp, HistoryChannel::Temperature))
                std::tie(v->tempMin, v->tempMax) = paddedRange(t->first, t->second);
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

} // namespace pexumo
