#pragma once

#include "results/resultlistmodel.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <utility>

class QWidget;

namespace pexumo {

/// What the user confirmed in the save dialog: the file name (a full path, "" when cancelled)
/// and the name filter selected when confirming, which picks the file's layout. Built from a
/// bare name, the filter is empty, which means the text layout.
struct FileChoice
{
    FileChoice(QString name = {}, QString filter = {})
        : fileName(std::move(name)), nameFilter(std::move(filter))
    {
    }

    QString fileName;
    QString nameFilter;
};

/// The save flow behind the eight "SaveResult" buttons, which share one dialog: ask for a file
/// name, write the list's text file (".txt" appended unless the name contains it) or, with the
/// CSV filter chosen, its CSV file (".csv" appended unless the name ends with it), and report a
/// failure in an error box without stopping the program.
class ResultExporter : public QObject
{
    Q_OBJECT
public:
    /// The save dialog's filter that asks for the CSV layout.
    static QString csvNameFilter() { return QStringLiteral("CSV File (*.csv)"); }

    /// \a parentWindow owns the exporter and parents its dialog and error boxes.
    explicit ResultExporter(QWidget* parentWindow);
    ~ResultExporter() override;

    /// The shared save dialog: "Text File (*.txt)", "All Type (*.*)" and "CSV File (*.csv)",
    /// no default suffix, no question before replacing a file.
    QFileDialog* SaveDialog1() const { return m_saveDialog.data(); }

    /// Runs the flow for \a list. Returns the path written, or "" when the user cancelled or
    /// the write failed (the failure has then been shown through showError). \a rowsWritten
    /// receives the rows the file holds: the list as it stood when its bytes were collected,
    /// after the dialog closed.
    QString save(const ResultListModel& list, qint64* rowsWritten = nullptr);

    /// Asks for the file name and the chosen filter; an empty name means cancelled. Default:
    /// SaveDialog1 shown modally.
    std::function<FileChoice()> askFileName;
    /// Shows a failure message. Default: a modal critical message box over the window, captioned
    /// with the application's title; the main window routes it to the standard error display.
    std::function<void(const QString&)> showError;

private:
    QWidget* m_parentWindow;
    QPointer<QFileDialog> m_saveDialog;
};

} // namespace pexumo
