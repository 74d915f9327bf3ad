#include "results/gui/resultexporter.h"

#include "results/csvexport.h"
#include "results/textexport.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace pexumo {

ResultExporter::ResultExporter(QWidget* parentWindow)
    : QObject(parentWindow), m_parentWindow(parentWindow),
      m_saveDialog(new QFileDialog(parentWindow))
{
    m_saveDialog->setObjectName(QStringLiteral("SaveDialog1"));
    m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_saveDialog->setFileMode(QFileDialog::AnyFile);
    m_saveDialog->setNameFilters(
        {QStringLiteral("Text File (*.txt)"), QStringLiteral("All Type (*.*)"), csvNameFilter()});
    m_saveDialog->setDefaultSuffix(QString());
    m_saveDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    m_saveDialog->setOption(QFileDialog::DontUseNativeDialog, true);
    m_saveDialog->setWindowModality(Qt::ApplicationModal);
    // The name box's completion list is a popup window of its own, whatever the options above:
    // while it is open it takes the next click (a click on Save only closes it), and Enter on a
    // matching name closes the dialog but leaves the list standing over the main window, where
    // it takes the next click again. The file list above already highlights a file that matches
    // what is typed, so the box goes without it: any path typed is saved by Enter or by Save.
    if (auto* nameEdit = m_saveDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        nameEdit->setCompleter(nullptr);

    askFileName = [this]() -> FileChoice {
        if (m_saveDialog->exec() != QDialog::Accepted)
            return {};
        const QStringList files = m_saveDialog->selectedFiles();
        if (files.isEmpty())
            return {};
        return {files.first(), m_saveDialog->selectedNameFilter()};
    };
    showError = [this](const QString& message) {
        QMessageBox::critical(m_parentWindow, QApplication::applicationDisplayName(), message);
    };
}

ResultExporter::~ResultExporter()
{
    delete m_saveDialog; // also without a parent window; the pointer is null if already gone
}

QString ResultExporter::save(const ResultListModel& list, qint64* rowsWritten)
{
    // selectFile("") is ignored by the dialog; the name box itself has to be emptied.
    if (auto* nameEdit = m_saveDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        nameEdit->clear();
    const FileChoice chosen = askFileName ? askFileName() : FileChoice();
    if (chosen.fileName.isEmpty())
        return {};
    const bool csv = chosen.nameFilter == csvNameFilter();
    const QString path =
        csv ? withCsvExtension(chosen.fileName) : withTxtExtension(chosen.fileName);
    const qint64 rows = list.size();
    const WriteResult result =
        writeFileAtomically(path, csv ? exportCsvBytes(list) : exportBytes(list));
    if (!result.ok) {
        if (showError)
            showError(result.error);
        return {};
    }
    if (rowsWritten)
        *rowsWritten = rows;
    return path;
}

} // namespace pexumo
