// The CPU a process spends while the timer supervises, in three kinds:
//
//   tick_cpu open      WARMUP DURATION      the window with one streaming divider open
//   tick_cpu idle      WARMUP DURATION [N]  the window, no divider, N keyboards (10)
//   tick_cpu idle-floor WARMUP DURATION     the bare host calls of the idle window's
//                                           rescan, on a Qt timer of its pace
//
// After WARMUP seconds the process reads its CPU time (all threads), runs on
// for DURATION seconds and prints one line:
//   cpu_ns=... wall_ns=... ticks=... paints=...
// ticks counts the ticks in the window (from the host's ledger), paints the
// paint events Qt delivered to any widget in it.
#include "tick_scenarios.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace {

using merovane::HostOperation;
using merovane::SimulatedHost;

std::int64_t Nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    long paints = 0;
};

// The rescan's pace with no device found at start.
constexpr int IdlePace = 50; // ms

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const std::string_view mode = argc > 1 ? argv[1] : "";
    const double warmUp = argc > 2 ? std::atof(argv[2]) : 0;
    const double duration = argc > 3 ? std::atof(argv[3]) : 0;
    const int keyboards = argc > 4 ? std::atoi(argv[4]) : 10;
    if ((mode != "open" && mode != "idle" && mode != "idle-floor") || duration <= 0 ||
        keyboards < 0) {
        std::fprintf(stderr, "usage: %s open|idle|idle-floor WARMUP DURATION [N]\n", argv[0]);
        return 2;
    }

    SimulatedHost host;
    std::unique_ptr<merovane::frmMain> window;
    std::unique_ptr<merovane::bench::Scenario> floor;
    QTimer floorTimer;
    // What one tick of each kind leaves in the ledger, once.
    HostOperation tickMark = HostOperation::SetupDiGetClassDevsA;
    int callsPerTick = 2;
    if (mode == "open") {
        host.Plug(merovane::VirtualDevice{.interfaces = {"/dev/hidraw0"},
                                          .serial = u"MV2B-00417",
                                          .manufacturer = u"Merovane Instruments",
                                          .product = u"Clock Divider CD-4"});
        tickMark = HostOperation::ReadFile;
        callsPerTick = 1;
    } else if (mode == "idle") {
        for (int i = 1; i <= keyboards; ++i)
            host.Plug(merovane::VirtualDevice{.interfaces = {"/dev/hidraw" + std::to_string(i)},
                                              .vendorId = 0x046D,
                                              .productId = 0xC534,
                                              .serial = std::nullopt,
                                              .inputReportLength = 9,
                                              .featureReportLength = 0});
    }
    if (mode == "idle-floor") {
        floor = merovane::bench::MakeRescan(merovane::bench::Side::Floor, 10);
        floorTimer.setTimerType(Qt::CoarseTimer);
        floorTimer.setInterval(IdlePace);
        QObject::connect(&floorTimer, &QTimer::timeout, [&floor] { floor->Run(); });
        floorTimer.start();
    } else {
        window = std::make_unique<merovane::frmMain>(host);
        window->Load();
    }
    const auto ticksSoFar = [&] {
        const SimulatedHost& ledgerHost = floor ? floor->Host() : host;
        return ledgerHost.Ledger().Calls(tickMark) / callsPerTick;
    };

    PaintCounter painted;
    std::int64_t cpuStart = 0, wallStart = 0;
    std::uint64_t ticksStart = 0;
    long paintsStart = 0;
    application.installEventFilter(&painted);
    QTimer::singleShot(static_cast<int>(warmUp * 1000), Qt::PreciseTimer, [&] {
        cpuStart = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
        wallStart = Nanoseconds(CLOCK_MONOTONIC);
        ticksStart = ticksSoFar();
        paintsStart = painted.paints;
    });
    QTimer::singleShot(static_cast<int>((warmUp + duration) * 1000), Qt::PreciseTimer, [&] {
        const std::int64_t cpu = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
        const std::int64_t wall = Nanoseconds(CLOCK_MONOTONIC) - wallStart;
        std::printf("cpu_ns=%lld wall_ns=%lld ticks=%llu paints=%ld\n", static_cast<long long>(cpu),
                    static_cast<long long>(wall),
                    static_cast<unsigned long long>(ticksSoFar() - ticksStart),
                    painted.paints - paintsStart);
        std::fflush(stdout);
        QApplication::quit();
    });
    return QApplication::exec();
}
