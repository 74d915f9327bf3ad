#pragma once

#include <QWidget>

namespace pexumo {

/// The small circle drawn left of the temperature unit on the dashboard: a degree sign that does
/// not depend on the font having one.
class DegreeMark : public QWidget
{
    Q_OBJECT
public:
    explicit DegreeMark(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace pexumo
