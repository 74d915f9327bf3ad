#include "app/gui/layoutparts.h"

namespace pexumo::layout {

QFont uiFont(int pixelSize, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QFont arialFont(bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(19);
    f.setBold(bold);
    return f;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int x, int y,
                        int w, int h)
{
    auto* b = named(new QPushButton(caption, parent), name);
    b->setGeometry(x, y, w, h);
    return b;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                  int h)
{
    auto* l = named(new QLabel(text, parent), name);
    l->setGeometry(x, y, w, h);
    return l;
}

void setTextColor(QWidget* w, const QColor& color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    w->setPalette(p);
}

} // namespace pexumo::layout
