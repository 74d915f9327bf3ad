#include "app/gui/statusbadge.h"

#include <QPainter>

namespace pexumo {

StatusBadge::StatusBadge(QChar letter, QWidget* parent) : QWidget(parent), m_letter(letter) {}

void StatusBadge::setState(State state, const QString& explanation)
{
    m_state = state;
    setToolTip(explanation);
    setAccessibleDescription(explanation);
    update();
}

void StatusBadge::paintEvent(QPaintEvent*)
{
    QColor ground;
    switch (m_state) {
    case State::Off:
        ground = QColor(0x9e, 0x9e, 0x9e);
        break;
    case State::On:
        ground = QColor(0x2e, 0x7d, 0x32);
        break;
    case State::Waiting:
        ground = QColor(0xb2, 0x6a, 0x00);
        break;
    case State::Failed:
        ground = QColor(0xc6, 0x28, 0x28);
        break;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(ground.darker(130));
    p.setBrush(ground);
    p.drawRoundedRect(box, 3, 3);

    QFont f = font();
    f.setBold(true);
    f.setPixelSize(qMax(8, height() - 7));
    p.setFont(f);
    p.setPen(Qt::white);
    QRectF letterBox = box;
    if (m_state == State::Failed || m_state == State::Waiting)
        letterBox.setRight(box.right() - box.width() * 0.3);
    p.drawText(letterBox, Qt::AlignCenter, QString(m_letter));
    if (m_state == State::Failed) {
        QRectF mark = box;
        mark.setLeft(letterBox.right() - 1);
        p.drawText(mark, Qt::AlignCenter, QStringLiteral("!"));
    } else if (m_state == State::Waiting) {
        const qreal r = box.width() * 0.09;
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(box.right() - box.width() * 0.18, box.center().y()), r, r);
    } else if (m_state == State::Off) {
        p.setPen(QPen(Qt::white, 1.5));
        p.drawLine(box.bottomLeft() + QPointF(3, -3), box.topRight() + QPointF(-3, 3));
    }
}

} // namespace pexumo
