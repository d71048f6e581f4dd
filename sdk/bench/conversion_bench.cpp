// The conversion of a GenICam camera's Mono16 kelvin counts into temperature
// codes, once per frame on Aravis's stream thread; beside it the formula
// written plainly in double precision, as a yardstick.
#include "thermal_conversion.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using calidra::sorvik::countScale;

// A room at about 22 degrees with noise, in kelvin x 100.
std::vector<uint16_t> roomCounts(std::size_t pixelCount) {
    std::mt19937 random(7);
    std::normal_distribution<double> kelvin(295.15, 1.5);
    std::vector<uint16_t> counts(pixelCount);
    for (auto& count : counts) {
        count = uint16_t(std::lround(kelvin(random) * 100.0));
    }
    return counts;
}

void setSizeArguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->Args({384, 288})->Args({640, 480})->Args({1280, 1024})->Unit(benchmark::kMicrosecond);
}

void codes(benchmark::State& state) {
    const std::size_t pixels = std::size_t(state.range(0) * state.range(1));
    const auto counts = roomCounts(pixels);
    std::vector<uint16_t> output(pixels);
    const auto scale = countScale(0.01, 0.3, 0);
    for (auto _ : state) {
        calidra::sorvik::countsToCodes(counts.data(), pixels, scale, output.data());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pixels));
}

void wideCodes(benchmark::State& state) {
    const std::size_t pixels = std::size_t(state.range(0) * state.range(1));
    const auto counts = roomCounts(pixels);
    std::vector<uint32_t> output(pixels);
    const auto scale = countScale(0.01, 0.3, 1000);
    for (auto _ : state) {
        calidra::sorvik::countsToWideCodes(counts.data(), pixels, scale, output.data());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pixels));
}

void plainFormula(benchmark::State& state) {
    const std::size_t pixels = std::size_t(state.range(0) * state.range(1));
    const auto counts = roomCounts(pixels);
    std::vector<uint16_t> output(pixels);
    double kelvinPerCount = 0.01, offset = 0.3;
    benchmark::DoNotOptimize(kelvinPerCount);
    benchmark::DoNotOptimize(offset);
    for (auto _ : state) {
        for (std::size_t i = 0; i < pixels; ++i) {
            const long code = std::lround((counts[i] * kelvinPerCount - 273.15 + offset) * 10.0);
            output[i] = uint16_t(std::clamp(code, 0L, 65535L));
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pixels));
}

} // namespace

BENCHMARK(codes)->Name("formats 103 and 104")->Apply(setSizeArguments);
BENCHMARK(wideCodes)->Name("format 110")->Apply(setSizeArguments);
BENCHMARK(plainFormula)->Name("plain formula in double")->Apply(setSizeArguments);

BENCHMARK_MAIN();
