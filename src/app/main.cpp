#include "app/gui/application.h"
#include "app/gui/tfmain.h"

#include <exception>

// Command-line arguments and the environment are not read: everything the user sets is in the
// window, and config.ini in the working directory sets the title and the decimal comma.
int main(int argc, char* argv[])
{
    pexumo::Application app(argc, argv);
    // Names the per-user data folder that holds the journal (~/.local/share/Pexumo).
    pexumo::Application::setApplicationName(QStringLiteral("Pexumo"));
    try {
        pexumo::TfMain window;
        window.startJournal(); // may ask to restore the last run: before the window shows
        window.show();
        app.exec();
    } catch (const std::exception& e) {
        pexumo::Application::showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        pexumo::Application::showException(QString());
    }
    return 0;
}
