#include "alarm/gui/alarmdialog.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <utility>

namespace pexumo {

namespace {

QLineEdit* limitBox(const QString& objectName, const std::optional<double>& value, QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(objectName);
    box->setPlaceholderText(QStringLiteral("none"));
    if (value)
        box->setText(FormatNumber(*value));
    return box;
}

QSpinBox* secondsBox(const QString& objectName, int value, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(objectName);
    box->setRange(0, MaxAlarmSeconds);
    box->setSuffix(QStringLiteral(" s"));
    box->setValue(value);
    return box;
}

std::optional<double> boxValue(const QLineEdit* box)
{
    return readLimitNumber(box->text());
}

} // namespace

AlarmDialog::AlarmDialog(const AlarmSettings& current, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AlarmDialog"));
    setWindowTitle(QStringLiteral("Alarm limits"));
    setModal(true);

    auto* limits = new QGroupBox(QStringLiteral("Limits"), this);
    auto* grid = new QGridLayout(limits);
    grid->addWidget(new QLabel(QStringLiteral("Low"), limits), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("High"), limits), 0, 2);
    for (AlarmParameter p : AllAlarmParameters) {
        const std::size_t i = indexOf(p);
        const QString name = alarmParameterName(p);
        const int row = int(i) + 1;
        m_low[i] = limitBox(QStringLiteral("edLow_") + name, current.limit(p).low, limits);
        m_high[i] = limitBox(QStringLiteral("edHigh_") + name, current.limit(p).high, limits);
        auto* unit = new QLabel(alarmUnit(p), limits);
        unit->setObjectName(QStringLiteral("lblUnit_") + name);
        grid->addWidget(new QLabel(name, limits), row, 0);
        grid->addWidget(m_low[i], row, 1);
        grid->addWidget(m_high[i], row, 2);
        grid->addWidget(unit, row, 3);
    }

    m_delay = secondsBox(QStringLiteral("sbDelaySeconds"), current.delaySeconds, this);
    m_delay->setToolTip(QStringLiteral("How long a limit must be crossed before the alarm rises, "
                                       "and the value back inside before it clears"));
    m_noReading = secondsBox(QStringLiteral("sbNoReadingSeconds"), current.noReadingSeconds, this);
    m_noReading->setSpecialValueText(QStringLiteral("off"));
    m_noReading->setToolTip(QStringLiteral("An alarm when no frame came from the meter for so "
                                           "long while connected or waiting for it"));
    m_command = new QLineEdit(current.command, this);
    m_command->setObjectName(QStringLiteral("edCommand"));
    m_command->setPlaceholderText(QStringLiteral("none"));
    m_command->setToolTip(QStringLiteral("Run at every rise and clear, without a shell, with the "
                                         "arguments raise|clear PARAMETER VALUE UNIT LIMIT TIME"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Delay"), m_delay);
    form->addRow(QStringLiteral("No reading after"), m_noReading);
    form->addRow(QStringLiteral("Command"), m_command);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("lblProblem"));
    m_problem->setStyleSheet(QStringLiteral("color: #c00000"));
    m_problem->setWordWrap(true);
    m_problem->hide();

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(ok, &QPushButton::clicked, this, &AlarmDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(limits);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addLayout(buttons);
}

AlarmSettings AlarmDialog::settings() const
{
    AlarmSettings s;
    for (std::size_t i = 0; i < m_low.size(); ++i)
        s.limits[i] = AlarmLimit{boxValue(m_low[i]), boxValue(m_high[i])};
    s.delaySeconds = m_delay->value();
    s.noReadingSeconds = m_noReading->value();
    s.command = m_command->text().trimmed();
    return s;
}

namespace {

// The first field OK refuses, and why.
std::pair<QString, QLineEdit*> firstProblem(const std::array<QLineEdit*, AlarmParameterCount>& low,
                                            const std::array<QLineEdit*, AlarmParameterCount>& high)
{
    for (AlarmParameter p : AllAlarmParameters) {
        const std::size_t i = indexOf(p);
        const QString name = alarmParameterName(p);
        for (QLineEdit* box : {low[i], high[i]}) {
            const QString text = box->text().trimmed();
            if (!text.isEmpty() && !boxValue(box))
                return {QStringLiteral("%1 %2: \"%3\" is not a number.")
                            .arg(name,
                                 box == low[i] ? QStringLiteral("low") : QStringLiteral("high"),
                                 text),
                        box};
        }
        const auto l = boxValue(low[i]);
        const auto h = boxValue(high[i]);
        if (l && h && !(*l < *h))
            return {QStringLiteral("%1: the low limit must be below the high limit.").arg(name),
                    low[i]};
    }
    return {QString(), nullptr};
}

} // namespace

QString AlarmDialog::problem() const
{
    return firstProblem(m_low, m_high).first;
}

void AlarmDialog::accept()
{
    const auto [why, field] = firstProblem(m_low, m_high);
    if (field) {
        m_problem->setText(why);
        m_problem->show();
        field->setFocus();
        field->selectAll();
        return;
    }
    m_problem->hide();
    QDialog::accept();
}

} // namespace pexumo
