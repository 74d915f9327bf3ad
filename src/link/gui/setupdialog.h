#pragma once

#include "link/comport.h"

#include <QDialog>

class QComboBox;
class QGroupBox;
class QPushButton;

namespace pexumo {

/// The port setup dialog: six pick-only lists that open on the given settings. It changes
/// nothing by itself; the caller reads settings() after "OK".
class SetupDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SetupDialog(const PortSettings& current, QWidget* parent = nullptr);

    /// The settings the lists show now. "Custom" baud rate and flow control keep the values the
    /// dialog was opened with.
    PortSettings settings() const;

    QGroupBox* gbSettings;
    QComboBox* cbPort;
    QComboBox* cbBaudRate;
    QComboBox* cbDataBits;
    QComboBox* cbStopBits;
    QComboBox* cbParity;
    QComboBox* cbFlowControl;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    PortSettings m_current;
};

} // namespace pexumo
