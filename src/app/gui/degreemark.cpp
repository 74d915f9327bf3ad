#include "app/gui/degreemark.h"

#include <QPainter>

namespace pexumo {

DegreeMark::DegreeMark(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void DegreeMark::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A 2-pixel black ring, filled like the menu bar; the pen straddles the outline, so inset by 1.
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(palette().color(QPalette::Button));
    p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
}

} // namespace pexumo
