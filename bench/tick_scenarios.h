// The timer ticks that are measured, each beside its floor: the bare host
// calls that tick has to make, with nothing of the window around them.
//
// A scenario owns a simulated host with the devices it needs and, for the
// tick side, the real window loaded on that host. Both sides run on hosts of
// their own, set up alike, so that neither disturbs the other's ledger.
// Prepare() brings the devices into the state the next run starts from (for
// the reconnect: unplug and plug back); it is not part of the figure.
#pragma once

#include "device/simulated/simulated_host.h"
#include "window/frm_main.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace merovane::bench {

enum class Side { Tick, Floor };

class Scenario {
public:
    virtual ~Scenario() = default;
    // Brings the devices into the state the next Run() starts from.
    virtual void Prepare() {}
    // Whether Prepare() does anything: each run is then timed on its own.
    virtual bool Prepares() const { return false; }
    // One tick of the window, or the floor's bare host calls.
    virtual void Run() = 0;
    // The host this side works on.
    virtual const SimulatedHost& Host() const = 0;
};

// The probe tick with a streaming divider open: one ReadFile.
std::unique_ptr<Scenario> MakeProbe(Side side);
// The rescan tick with no target attached and `interfaces` keyboards.
std::unique_ptr<Scenario> MakeRescan(Side side, int interfaces);
// The divider unplugged and plugged back between two ticks: the probe fails,
// the connection closes, the rescan and the search find the divider again
// and the details are read afresh.
std::unique_ptr<Scenario> MakeReconnect(Side side);

// Checks that one run of each side makes the same host calls, operation by
// operation; returns a description of the first difference, empty if none.
std::string CompareHostCalls(Scenario& tick, Scenario& floor);

// The tick figures by name, as the benchmark and the instruction counter
// share them.
struct TickFigure {
    const char* name;
    std::unique_ptr<Scenario> (*make)(Side);
    // Runs timed together: enough that a block outlasts the clock's own cost
    // many times over.
    int block;
};
const std::vector<TickFigure>& TickFigures();

} // namespace merovane::bench
