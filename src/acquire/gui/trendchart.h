#pragma once

#include <QBrush>
#include <QChartView>
#include <QPoint>
#include <QStringList>

#include <array>
#include <optional>

class QLineSeries;
class QValueAxis;

namespace pexumo {

class PointLegend;
struct ChartTail;

/// One trend chart with a single line series: title on top, no outer margin, a plain line (a lone
/// point is a dot in the middle, since a line needs two), axes that follow the points (the values
/// use the band from 5 % to 95 % of the plot height) and a legend at the right listing the points'
/// values. A left click emits clicked(); dragging with the right button scrolls the view within
/// the points' reach and ends automatic scaling for good.
class TrendChart : public QChartView
{
    Q_OBJECT

public:
    explicit TrendChart(const QString& title, QWidget* parent = nullptr);

    /// The chart's only series; its X values ascend.
    QLineSeries* series() const { return m_series; }

    /// Appends \a y as the newest sample, keeping at most \a window points, and rescales the axes
    /// unless the user has scrolled this chart (a hidden chart rescales when it is shown).
    void addWindowedPoint(double y, int window);

    /// Alarm limits as dashed lines across the plot, from edge to edge of the samples in view
    /// whatever the user scrolls to; none hides a line. They do not widen the value axis: a limit
    /// far from the samples is out of sight.
    void setLimits(std::optional<double> low, std::optional<double> high);
    /// The alarm look while an alarm of this chart's parameter is up: a tinted plot and a
    /// warning sign before the title, so that it does not rest on colour alone.
    void setAlarm(bool up);
    bool isAlarmShown() const { return m_alarm; }

    /// Leaves the chart as the sampling ticks of \a tail left it, with a \a window of points.
    void showTail(const ChartTail& tail, int window);

    /// False once the user has scrolled the chart with the right mouse button.
    bool isAutoScaling() const { return m_autoScale; }

    QValueAxis* axisX() const { return m_axisX; }
    QValueAxis* axisY() const { return m_axisY; }

    /// The legend rows as drawn: one value text per point from the oldest, as many as fit.
    QStringList legendRows() const;

    /// Re-reads the process's number format for axis labels and legend values.
    void applyNumberFormat();

signals:
    /// A left click on the chart.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void rescale();
    void scrollBy(QPoint delta);
    void drawLimits();

    QLineSeries* m_series = nullptr;
    QLineSeries* m_lowLimit = nullptr;
    QLineSeries* m_highLimit = nullptr;
    std::array<std::optional<double>, 2> m_limits; ///< low, high
    QString m_title;
    QBrush m_titleBrush;
    bool m_alarm = false;
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    PointLegend* m_legend = nullptr;
    bool m_autoScale = true;
    bool m_rescalePending = false;
    bool m_leftDown = false;
    bool m_rightDown = false;
    QPoint m_lastDragPos;
};

} // namespace pexumo
