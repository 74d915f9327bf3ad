// The history chart's mouse and keyboard: hover, pan, box zoom, wheel, keys and the menu.
#include "history/gui/historychart.h"

#include "history/historyseries.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>

namespace pexumo {

namespace {

// How far from the pointer (px) a sample may be to be the one hovered.
constexpr double HoverReachPx = 24;

} // namespace

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

} // namespace pexumo
