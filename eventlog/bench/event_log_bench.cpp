// What one log entry costs its writer on the owner thread, with the log already long, and what the
// time stamp alone costs.

#include "eventlog/event_log.h"

#include <benchmark/benchmark.h>

namespace {

void writeLogEntry(benchmark::State& state) {
    calidra::EventLog log;
    log.setStationUp(true);
    int announced = 0;
    QObject::connect(&log, &calidra::EventLog::entryAdded, [&announced](int) { ++announced; });
    for (int row = 0; row < state.range(0); ++row)
        log.WriteLog(calidra::LogType::Event, QStringLiteral("Retry Acquisition."), 0);
    for (auto _ : state)
        log.WriteLog(calidra::LogType::Error, QStringLiteral("svkSetAcquisition Failed."), -2);
    state.counters["rows"] = log.model().rowCount();
    benchmark::DoNotOptimize(announced);
}
BENCHMARK(writeLogEntry)->Arg(0)->Arg(1000000);

void stampTime(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(calidra::currentLogTimeText());
}
BENCHMARK(stampTime);

void stampTimeThroughQDateTime(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(calidra::logTimeText(QDateTime::currentDateTime()));
}
BENCHMARK(stampTimeThroughQDateTime);

} // namespace

BENCHMARK_MAIN();
