#pragma once

#include <QApplication>

namespace pexumo::bench {

/// The application object the widget benchmarks need. It is made by the benchmark program's
/// main (bench/main.cpp) before any case runs, offscreen unless a platform was asked for.
inline QApplication& ensureApp()
{
    return *qobject_cast<QApplication*>(QCoreApplication::instance());
}

} // namespace pexumo::bench
