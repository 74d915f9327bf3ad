#pragma once

#include <QFont>
#include <QLabel>
#include <QPushButton>

// Small helpers that put the window's widgets at their places, shared by the window and its
// pages.
namespace pexumo::layout {

/// The window's fonts were drawn for 96 dpi with fonts the platform may lack; the same pixel
/// sizes with the nearest families keep every caption inside its box.
QFont uiFont(int pixelSize, bool bold = false);
/// The read-out's large font.
QFont arialFont(bool bold);

template <class W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int x, int y,
                        int w, int h);
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                  int h);
void setTextColor(QWidget* w, const QColor& color);

} // namespace pexumo::layout
