// The benchmark program's entry. The application object lives in main, so it is gone before
// the program's static objects are torn down: a static QApplication outlived Qt's own input
// device registry and crashed the program at exit.
#include <QApplication>

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv); // takes its own --benchmark_* options out of argv
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
