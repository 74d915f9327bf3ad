#include "app/gui/application.h"
#include "app/gui/tfmain.h"
#include "base/commandline.h"

#include <cstring>
#include <exception>

namespace {

/// --help and --version only print, so they must work where no display is at hand (over ssh, in
/// a package check): the offscreen platform serves them. "-platform NAME" still wins.
void printWithoutDisplay(int argc, char** argv)
{
    static const char* const printing[] = {"-h", "-?", "--help", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i) {
        for (const char* option : printing) {
            if (std::strcmp(argv[i], option) == 0) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
                return;
            }
        }
    }
}

} // namespace

// Apart from Qt's own options (-platform, -style...) and --help/--version, the program takes no
// arguments and reads no environment: everything the user sets is in the window, and config.ini
// in the working directory sets the title and the decimal comma.
int main(int argc, char* argv[])
{
    printWithoutDisplay(argc, argv);
    pexumo::Application app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads a water-quality meter on a serial port into trend charts and "
                       "result lists."));
    if (const auto status = pexumo::readCommandLine(parser, app.arguments(), 0))
        return *status;
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
