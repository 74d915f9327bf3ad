#include "app/gui/prompts.h"

#include <QMessageBox>

namespace pexumo::prompts {

namespace {
QMessageBox* warningBox(QWidget* parent, const QString& text, const QString& detail)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Warning!"), text,
                                QMessageBox::Ok, parent);
    box->setInformativeText(detail);
    return box;
}
} // namespace

void warning(QWidget* parent, const QString& text, const QString& detail)
{
    QMessageBox* box = warningBox(parent, text, detail);
    box->exec();
    delete box;
}

QMessageBox* passingWarning(QWidget* parent, const QString& text, const QString& detail)
{
    QMessageBox* box = warningBox(parent, text, detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

bool ask(QWidget* parent, const QString& question, bool yesByDefault)
{
    return QMessageBox::question(
               parent, QStringLiteral("Pexumo"), question, QMessageBox::Yes | QMessageBox::No,
               yesByDefault ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

} // namespace pexumo::prompts
