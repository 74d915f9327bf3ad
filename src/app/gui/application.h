#pragma once

#include <QApplication>

namespace pexumo {

/// The application object. An exception that escapes an event handler is shown in an error box
/// and the event loop carries on: a technician's unsaved readings must never go down with one
/// bad click.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    /// Shows the message of an exception that reached the event loop.
    static void showException(const QString& message);
};

} // namespace pexumo
