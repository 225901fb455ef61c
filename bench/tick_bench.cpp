// Google Benchmark program for the tick figures: each tick of the window
// measured in pairs with its floor, the bare host calls of that tick.
//
// One benchmark per figure. Each of its iterations times a block of ticks and
// a block of floor runs, back to back, the order alternating from one
// iteration to the next, so that both sides of a pair share the machine's
// moods at the finest grain; the two times per run come out as the counters
// tick_ns and floor_ns. A scenario that must be prepared before each run (the
// reconnect) has each run timed on its own, the preparation outside.
//
// Run it with repetitions (bench/run does): each repetition gives one pair,
// and the repetitions of the figures are interleaved at random.
#include "tick_scenarios.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>

namespace {

using merovane::bench::Scenario;
using merovane::bench::Side;
using merovane::bench::TickFigure;
using Clock = std::chrono::steady_clock;

// Runs before measuring, so that the ledgers' queues have reached their
// depth and every buffer its size.
constexpr int WarmUpRuns = 200;

// The time of `block` runs, in nanoseconds.
double TimeBlock(Scenario& scenario, int block) {
    if (!scenario.Prepares()) {
        const auto start = Clock::now();
        for (int i = 0; i < block; ++i)
            scenario.Run();
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    }
    double total = 0;
    for (int i = 0; i < block; ++i) {
        scenario.Prepare();
        const auto start = Clock::now();
        scenario.Run();
        total += std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    }
    return total;
}

void MeasurePair(benchmark::State& state, const TickFigure* figure) {
    const auto tick = figure->make(Side::Tick);
    const auto floor = figure->make(Side::Floor);
    for (Scenario* scenario : {tick.get(), floor.get()}) {
        for (int i = 0; i < WarmUpRuns; ++i) {
            scenario->Prepare();
            scenario->Run();
        }
    }
    double tickNs = 0;
    double floorNs = 0;
    bool tickFirst = true;
    for (auto _ : state) {
        double tickBlock = 0;
        double floorBlock = 0;
        if (tickFirst) {
            tickBlock = TimeBlock(*tick, figure->block);
            floorBlock = TimeBlock(*floor, figure->block);
        } else {
            floorBlock = TimeBlock(*floor, figure->block);
            tickBlock = TimeBlock(*tick, figure->block);
        }
        tickFirst = !tickFirst;
        tickNs += tickBlock;
        floorNs += floorBlock;
        state.SetIterationTime((tickBlock + floorBlock) / 1e9);
    }
    const double runs = static_cast<double>(state.iterations()) * figure->block;
    state.counters["tick_ns"] = benchmark::Counter(tickNs / runs);
    state.counters["floor_ns"] = benchmark::Counter(floorNs / runs);
    state.counters["ratio"] = benchmark::Counter(tickNs / floorNs);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);

    for (const TickFigure& figure : merovane::bench::TickFigures()) {
        // The two sides must make the same host calls, or the floor is no floor.
        const auto tick = figure.make(Side::Tick);
        const auto floor = figure.make(Side::Floor);
        if (const std::string difference = merovane::bench::CompareHostCalls(*tick, *floor);
            !difference.empty()) {
            std::fprintf(stderr, "%s: the floor does not make the tick's host calls: %s\n",
                         figure.name, difference.c_str());
            return 1;
        }
        benchmark::RegisterBenchmark(figure.name, MeasurePair, &figure)
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
