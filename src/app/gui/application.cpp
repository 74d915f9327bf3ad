#include "app/gui/application.h"
#include "base/version.h"

#include <QIcon>
#include <QMessageBox>

#include <exception>

namespace pexumo {

std::function<void(const QString&)> Application::exceptionDisplay = [](const QString& message) {
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          message);
};

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    // The name is the X11 window class, which the desktop entry's StartupWMClass names, and the
    // folder of the program's data (~/.local/share/Pexumo). On Wayland the desktop file name is
    // the window's app id.
    setApplicationName(QStringLiteral("Pexumo"));
    setApplicationVersion(QStringLiteral(PEXUMO_VERSION));
    setDesktopFileName(QStringLiteral("org.pexumo.Pexumo"));
    setWindowIcon(icon());
}

QIcon Application::icon()
{
    // The installed icon's renderings, built into the program: PNGs need no SVG plugin.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}

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
