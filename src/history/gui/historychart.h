#pragma once

#include "history/minmaxreduce.h"
#include "history/timeaxis.h"

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QRubberBand;
class QToolButton;

namespace pexumo {

class HistorySeries;

/// The history of one list over the whole run: every sample of a HistorySeries against real
/// dates and times, the value on the left axis, the temperature (optional) on the right one.
/// It draws itself with QPainter, one min/max stroke per pixel column (minmaxreduce.h), so a
/// million samples repaint in a few milliseconds.
///
/// Use: keep a HistorySeries per list beside the list, append to it whenever a row is added and
/// call dataAppended(); call HistorySeries::breakLine() when the line is lost. For example
///     history.append(row.StampMs, plan.y, plan.hasTemp ? std::optional(plan.tempY) : std::nullopt,
///                    row.UtcOffsetSec);
///     chart->dataAppended();
///     chart->setValueText([list](qsizetype i) { return list->recordInOrder(i).Value; });
///
/// The user's controls, each also a public function:
///   mouse wheel           zoom the time axis around the pointer (zoomAt)
///   left drag             pan (panBy); up and down too once a box has fixed the value axis
///   Shift + left drag     zoom to the box drawn (zoomTo); a flat box zooms the time axis only
///   double click, Home    the whole run (showAll)
///   + and -, Left, Right  zoom in and out around the middle, pan by an eighth of the width
///   End                   jump to the newest sample and follow it (followEnd)
///   right click           menu: show all, follow the end, temperature, export
/// While the view reaches the newest sample it follows new samples; once the user looks at an
/// earlier span it stays put until the view is brought back to the end.
///
/// historychart.cpp keeps the view (span, value axis, following), historychartpaint.cpp draws
/// it, historychartinput.cpp takes the mouse and keys, historychartexport.cpp writes files.
class HistoryChart : public QWidget
{
    Q_OBJECT

public:
    /// The narrowest span the time axis zooms to.
    static constexpr qint64 MinSpanMs = 5000;
    /// Zoom factor of one wheel notch (120 eighths of a degree) and of + and -.
    static constexpr double ZoomStep = 1.25;
    /// Largest scale factor of an image export.
    static constexpr double MaxExportScale = 4.0;
    /// Boxes narrower or flatter than this (px) are a slip of the hand, not a zoom.
    static constexpr int MinBoxPx = 3;

    explicit HistoryChart(QWidget* parent = nullptr);
    ~HistoryChart() override;

    /// The samples to draw; not owned, must outlive the chart or be replaced first. Shows the
    /// whole series.
    void setSeries(const HistorySeries* series);
    const HistorySeries* series() const { return m_series; }

    /// The value axis' unit, shown over it and in the hover text ("pH", "mV", "us", ...).
    void setUnit(const QString& unit);
    QString unit() const { return m_unit; }

    /// Shows the temperature line and its axis at the right; off at first.
    void setTemperatureVisible(bool visible);
    bool isTemperatureVisible() const { return m_tempVisible; }

    /// Alarm limits drawn as dashed lines across the plot; none hides a line. The value axis
    /// takes them in when it fits itself to the samples.
    void setLimits(std::optional<double> low, std::optional<double> high);

    /// The exact text of sample i's value (the list row's own text); without it, or when it
    /// answers "", the stored number is written with the process's decimal separator.
    void setValueText(std::function<QString(qsizetype)> text);
    /// The same for the temperature ("25.3 C"); the fallback writes the number.
    void setTemperatureText(std::function<QString(qsizetype)> text);

    qint64 viewStartMs() const { return m_t0; }
    qint64 viewEndMs() const { return m_t1; }
    /// The value axis' range as drawn: fitted to the samples in view (and the limits) with 5 %
    /// free above and below, or the one a box zoom fixed.
    double valueAxisMin() const;
    double valueAxisMax() const;
    /// True while new samples move the view along.
    bool isFollowingEnd() const { return m_follow != Follow::None; }
    /// The plot area within the widget, axes and labels outside it.
    QRect plotRect() const;
    /// The time axis labels as drawn, "time date" (either part may be empty), left to right.
    QStringList timeAxisLabels() const;

    /// The sample under the mouse, -1 when none.
    qsizetype hoverIndex() const { return m_hoverIndex; }
    /// What the hover tip shows: "yyyy-MM-dd HH:mm:ss" in the sample's local time, the value and
    /// unit, and "Temp" and the temperature when it has one, one per line; "" when no sample.
    QString hoverText() const;

    /// Writes the view as a PNG of the widget's size times \a scale (1 to MaxExportScale).
    /// False with the reason in \a error when the scale is outside that or the file cannot be
    /// written; an existing file is then left as it was.
    bool exportImage(const QString& path, double scale = 1.0, QString* error = nullptr) const;
    /// Writes the view as an SVG drawing of the widget's size; false and \a error as above.
    bool exportSvg(const QString& path, QString* error = nullptr) const;

    /// Asks where to export: gets a caption and a name filter, gives a path, "" to cancel.
    /// Default: a modal file dialog. Tests replace it.
    std::function<QString(const QString& caption, const QString& filter)> askFileName;
    /// Shows an export failure. Default: a modal warning box.
    std::function<void(const QString& message)> showError;

    QMenu* exportMenu() const { return m_exportMenu; }

public slots:
    /// Call after appending to the series: a view that follows the end moves along.
    void dataAppended();
    /// Zooms the time axis by \a factor (above 1 zooms in) keeping the instant at widget x
    /// \a x in place.
    void zoomAt(double x, double factor);
    /// Moves the view with the mouse by \a delta pixels: right shows earlier samples; down
    /// shows higher values when a box zoom has fixed the value axis.
    void panBy(QPoint delta);
    /// Zooms to the box \a box (widget pixels): its width picks the time span, its height, if
    /// 3 px or more, fixes the value axis.
    void zoomTo(const QRectF& box);
    /// The whole run, the value axis fitted again; follows new samples.
    void showAll();
    /// Keeps the span and moves it to the newest sample; follows new samples.
    void followEnd();
    /// Asks for a file name and writes a PNG at \a scale; false when cancelled or failed.
    bool exportPngWithDialog(double scale = 1.0);
    bool exportSvgWithDialog();

signals:
    /// The view started or stopped following new samples.
    void followingEndChanged(bool following);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    enum class Follow
    {
        All,  ///< the whole run, growing with it
        End,  ///< a fixed span ending at the newest sample
        None, ///< a span the user chose
    };

    struct View; // the reduced samples and axis ranges of one span at one width

    void setView(double t0, double t1);
    void setFollow(Follow follow);
    void viewChanged();
    void placeButtons();
    TimeTicks axisTicks() const;
    const View& view(int columns) const;
    void paintChart(QPainter& painter, double scale, bool screen) const;
    double timeAtX(double x) const;
    double xAtTime(double ms) const;
    void updateHover(QPoint pos, QPoint globalPos);
    bool exportWithDialog(const QString& caption, const QString& filter, const QString& suffix,
                          const std::function<bool(const QString&, QString*)>& write);

    const HistorySeries* m_series = nullptr;
    QString m_unit;
    bool m_tempVisible = false;
    std::optional<double> m_low;
    std::optional<double> m_high;
    std::function<QString(qsizetype)> m_valueText;
    std::function<QString(qsizetype)> m_tempText;

    qint64 m_t0 = 0;
    qint64 m_t1 = MinSpanMs;
    Follow m_follow = Follow::All;
    bool m_valueAxisFixed = false;
    double m_fixedMin = 0;
    double m_fixedMax = 1;
    /// The last reduction made, reused until the span, width or samples change.
    mutable std::unique_ptr<View> m_view;

    qsizetype m_knownSize = 0; ///< samples at the last dataAppended()
    qsizetype m_hoverIndex = -1;
    bool m_panning = false;
    bool m_boxing = false;
    QPoint m_lastPos;
    QPoint m_boxOrigin;
    QRubberBand* m_band = nullptr;
    QToolButton* m_allButton = nullptr;
    QToolButton* m_exportButton = nullptr;
    QMenu* m_exportMenu = nullptr;
    QMenu* m_contextMenu = nullptr;
};

} // namespace pexumo
