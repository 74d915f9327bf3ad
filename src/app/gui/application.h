#pragma once

#include <QApplication>

#include <functional>

namespace pexumo {

/// The application object. An exception that escapes an event handler is shown in an error box
/// and the event loop carries on: a technician's unsaved readings must never go down with one
/// bad click.
class Application : public QApplication
{
    Q_OBJECT
public:
    /// Also sets the application's name, version, desktop file name and window icon.
    Application(int& argc, char** argv);

    /// Pexumo's icon, the one the desktop menu shows, in every size it is drawn at.
    static QIcon icon();

    bool notify(QObject* receiver, QEvent* event) override;

    /// The standard error display: shows the message of an exception that reached the event
    /// loop, and every other error box of the program (a file that cannot be saved, a port that
    /// will not open), through exceptionDisplay, so that all are captioned alike.
    static void showException(const QString& message);
    /// How an exception's message is shown; by default a modal error box captioned with the
    /// application's name. Tests replace it.
    static std::function<void(const QString&)> exceptionDisplay;
};

} // namespace pexumo
