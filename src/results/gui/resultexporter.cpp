#include "results/gui/resultexporter.h"

#include "results/textexport.h"

#include <QCoreApplication>
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
        {QStringLiteral("Text File (*.txt)"), QStringLiteral("All Type (*.*)")});
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

    askFileName = [this]() -> QString {
        if (m_saveDialog->exec() != QDialog::Accepted)
            return {};
        const QStringList files = m_saveDialog->selectedFiles();
        return files.isEmpty() ? QString() : files.first();
    };
    showError = [this](const QString& message) {
        const QString caption = m_parentWindow && !m_parentWindow->windowTitle().isEmpty()
                                    ? m_parentWindow->windowTitle()
                                    : QCoreApplication::applicationName();
        QMessageBox::critical(m_parentWindow, caption, message);
    };
}

ResultExporter::~ResultExporter()
{
    delete m_saveDialog; // also without a parent window; the pointer is null if already gone
}

QString ResultExporter::save(const ResultListModel& list)
{
    // selectFile("") is ignored by the dialog; the name box itself has to be emptied.
    if (auto* nameEdit = m_saveDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        nameEdit->clear();
    const QString chosen = askFileName ? askFileName() : QString();
    if (chosen.isEmpty())
        return {};
    const QString path = withTxtExtension(chosen);
    const WriteResult result = writeFileAtomically(path, exportBytes(list));
    if (!result.ok) {
        if (showError)
            showError(result.error);
        return {};
    }
    return path;
}

} // namespace pexumo
