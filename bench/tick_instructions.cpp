// Counts the instructions of each tick and of its floor under callgrind:
//
//   valgrind --tool=callgrind --collect-atstart=no tick_instructions [RUNS [FIGURE]]
//
// Collection is switched on around each run alone (the preparation stays
// out), and the counts are dumped once per figure and side, labelled
// "FIGURE/SIDE RUNS"; each dump's totals divided by RUNS is the count of one
// run. FIGURE ("reconnect", "rescan/10", ...) limits the run to one figure, to
// profile it: callgrind_annotate --inclusive=yes on its dump. Outside valgrind
// the program runs the same work and counts nothing.
#include "tick_scenarios.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <valgrind/callgrind.h>

namespace {

constexpr int WarmUpRuns = 200;

} // namespace

int main(int argc, char** argv) {
    using merovane::bench::Side;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
    const std::string only = argc > 2 ? argv[2] : "";
    if (runs <= 0) {
        std::fprintf(stderr, "usage: %s [RUNS [FIGURE]]\n", argv[0]);
        return 2;
    }
    if (RUNNING_ON_VALGRIND == 0)
        std::fprintf(stderr, "not under callgrind: nothing is counted\n");

    for (const merovane::bench::TickFigure& figure : merovane::bench::TickFigures()) {
        if (!only.empty() && only != figure.name)
            continue;
        for (const Side side : {Side::Tick, Side::Floor}) {
            const auto scenario = figure.make(side);
            for (int i = 0; i < WarmUpRuns; ++i) {
                scenario->Prepare();
                scenario->Run();
            }
            for (int i = 0; i < runs; ++i) {
                scenario->Prepare();
                CALLGRIND_TOGGLE_COLLECT;
                scenario->Run();
                CALLGRIND_TOGGLE_COLLECT;
            }
            const std::string label = std::string(figure.name) +
                                      (side == Side::Tick ? "/tick " : "/floor ") +
                                      std::to_string(runs);
            CALLGRIND_DUMP_STATS_AT(label.c_str());
        }
    }
    return 0;
}
