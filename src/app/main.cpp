#include "app/gui/application.h"
#include "app/gui/tfmain.h"
#include "base/commandline.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>

namespace {

bool hasArgument(int argc, char** argv, std::initializer_list<const char*> names)
{
    for (int i = 1; i < argc; ++i)
        for (const char* name : names)
            if (std::strcmp(argv[i], name) == 0)
                return true;
    return false;
}

/// Whether Qt has a display to start on: an X or Wayland display, or a platform chosen by
/// QT_QPA_PLATFORM or "-platform NAME".
bool displayAtHand(int argc, char** argv)
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    return hasArgument(argc, argv, {"-platform", "--platform"});
}

} // namespace

// Apart from Qt's own options (-platform, -style...) and --help/--version, the program takes no
// arguments and reads no environment: everything the user sets is in the window, and config.ini
// in the working directory sets the title and the decimal comma. A plain word is ignored (a
// desktop or a file manager may pass a file or a URL); a wrong option is an error.
int main(int argc, char* argv[])
{
    // --help and --version only print, so they work where no display is at hand (over ssh, in a
    // package check), and so does the message for a wrong option: without a display Qt would
    // end the process before the options are read. The offscreen platform serves them;
    // "-platform NAME" still wins.
    const bool display = displayAtHand(argc, argv);
    if (!display ||
        hasArgument(argc, argv, {"-h", "-?", "--help", "--help-all", "-v", "--version"}))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    pexumo::Application app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads a water-quality meter on a serial port into trend charts and "
                       "result lists."));
    if (const auto status =
            pexumo::readCommandLine(parser, app.arguments(), std::numeric_limits<qsizetype>::max()))
        return *status;
    if (!display) {
        std::fputs("pexumo: no display to show the window on (DISPLAY is not set)\n", stderr);
        return 1;
    }
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
