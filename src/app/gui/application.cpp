#include "app/gui/application.h"

#include <QMessageBox>

#include <exception>

namespace pexumo {

std::function<void(const QString&)> Application::exceptionDisplay = [](const QString& message) {
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          message);
};

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
    if (exceptionDisplay)
        exceptionDisplay(message);
}

} // namespace pexumo
