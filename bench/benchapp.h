#pragma once

#include <QApplication>

namespace pexumo::bench {

/// The application object the widget benchmarks need; made once, offscreen, for the whole run.
inline QApplication& ensureApp()
{
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *app;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "pexumo-bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

} // namespace pexumo::bench
