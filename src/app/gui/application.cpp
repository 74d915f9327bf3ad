#include "app/gui/application.h"

#include <QMessageBox>

#include <exception>

namespace pexumo {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showException(QString());
    }
    return false;
}

void Application::showException(const QString& message)
{
    QMessageBox::critical(activeWindow(), applicationDisplayName(), message);
}

} // namespace pexumo
