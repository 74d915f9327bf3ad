#pragma once

#include <QWidget>

namespace pexumo {

/// A small square in the control bar that tells the state of one service (the journal, the
/// broker) at a glance: a letter on a coloured ground, and for the states that need attention a
/// mark as well, so that it does not rest on colour alone. The tooltip says the rest.
class StatusBadge : public QWidget
{
    Q_OBJECT
public:
    enum class State
    {
        Off,     ///< not in use: a grey letter, struck through
        On,      ///< working: a green letter
        Waiting, ///< working, but something waits (rows not yet sent): an amber letter with a dot
        Failed   ///< in use but not working: a red letter with a "!"
    };

    explicit StatusBadge(QChar letter, QWidget* parent = nullptr);

    State state() const { return m_state; }
    /// Shows \a state; \a explanation becomes the tooltip.
    void setState(State state, const QString& explanation);

    QSize sizeHint() const override { return {19, 19}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QChar m_letter;
    State m_state = State::Off;
};

} // namespace pexumo
