#pragma once

#include "results/resultlistmodel.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

namespace pexumo {

/// The save flow behind the eight "SaveResult" buttons, which share one dialog: ask for a file
/// name, append ".txt" unless the name contains it, write the list's text file, and report a
/// failure in an error box without stopping the program.
class ResultExporter : public QObject
{
    Q_OBJECT
public:
    /// \a parentWindow owns the exporter and parents its dialog and error boxes.
    explicit ResultExporter(QWidget* parentWindow);
    ~ResultExporter() override;

    /// The shared save dialog: "Text File (*.txt)" and "All Type (*.*)", no default suffix,
    /// no question before replacing a file.
    QFileDialog* SaveDialog1() const { return m_saveDialog.data(); }

    /// Runs the flow for \a list. Returns the path written, or "" when the user cancelled or
    /// the write failed (the failure has then been shown through showError).
    QString save(const ResultListModel& list);

    /// Asks for the file name; "" means cancelled. Default: SaveDialog1 shown modally.
    std::function<QString()> askFileName;
    /// Shows a failure message. Default: a modal critical message box over the window, captioned
    /// with the application's title; the main window routes it to the standard error display.
    std::function<void(const QString&)> showError;

private:
    QWidget* m_parentWindow;
    QPointer<QFileDialog> m_saveDialog;
};

} // namespace pexumo
