// What one event-log entry costs the GUI thread when the pane already holds many rows: the append
// and the scroll to the newest row that follows it before the next paint.

#include "shell/log_bar.h"

#include "eventlog/event_log.h"

#include <QApplication>
#include <QTableView>

#include <benchmark/benchmark.h>

namespace {

void appendAndScroll(benchmark::State& state) {
    const int filledRows = static_cast<int>(state.range(0));
    calidra::EventLog log;
    CLogBar pane(log);
    pane.resize(700, 220);
    pane.show();
    for (int row = 0; row < filledRows; ++row)
        pane.AddLogEntry(calidra::LogType::Event, QStringLiteral("Retry Acquisition."), 0);
    QApplication::processEvents();

    for (auto _ : state) {
        pane.AddLogEntry(calidra::LogType::Error, QStringLiteral("svkSetAcquisition Failed."), -2);
        QApplication::processEvents();
    }
    state.counters["rows"] = pane.rowCount();
}
BENCHMARK(appendAndScroll)->Arg(0)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void fillAMillionRows(benchmark::State& state) {
    for (auto _ : state) {
        calidra::EventLog log;
        CLogBar pane(log);
        pane.resize(700, 220);
        pane.show();
        for (int row = 0; row < 1000000; ++row)
            pane.AddLogEntry(calidra::LogType::Event, QStringLiteral("Device has been added."), 0);
        QApplication::processEvents();
        benchmark::DoNotOptimize(pane.rowCount());
    }
}
BENCHMARK(fillAMillionRows)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
