#pragma once

#include "alarm/alarmsettings.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QSpinBox;

namespace pexumo {

/// The "Alarm limits" dialog: per parameter a low and a high box (empty for no limit) with the
/// unit beside them, the delay, the no-reading time and the alarm command. It changes nothing
/// by itself; the caller reads settings() after "OK" and saves them (saveAlarmSettings()).
///
/// OK refuses a box that does not hold a number and a low limit that is not below the high
/// one: a line above the buttons names the field, which takes the focus. Numbers are shown
/// with the decimal separator in force and read with "." or ",".
///
/// Object names: edLow_<name>, edHigh_<name>, lblUnit_<name> (name as alarmParameterName()),
/// sbDelaySeconds, sbNoReadingSeconds, edCommand, lblProblem, btnOK, btnCancel.
class AlarmDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AlarmDialog(const AlarmSettings& current, QWidget* parent = nullptr);

    /// The settings the fields hold now; a side whose box does not read has no limit.
    AlarmSettings settings() const;

    /// What OK would refuse, naming the field; empty when the fields are fine.
    QString problem() const;

    void accept() override;

private:
    std::array<QLineEdit*, AlarmParameterCount> m_low{};
    std::array<QLineEdit*, AlarmParameterCount> m_high{};
    QSpinBox* m_delay = nullptr;
    QSpinBox* m_noReading = nullptr;
    QLineEdit* m_command = nullptr;
    QLabel* m_problem = nullptr;
};

} // namespace pexumo
