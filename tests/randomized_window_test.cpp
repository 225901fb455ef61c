// Long random stories against the window on the simulated host: plugs,
// unplugs, silent devices, failing transfers, picks, presses and ticks, with
// the window's promises checked after every step. Seeded and reproducible; a
// failure prints the seed and the shortest failing sequence found.
#include "device/simulated/simulated_host.h"
#include "support/test_devices.h"
#include "support/window_driver.h"
#include "window/frm_main.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <set>
#include <sstream>

namespace merovane::test {
namespace {

enum class Verb {
    PlugNew,
    Unplug,
    UnplugAll,
    PlugBack,
    ToggleStreaming,
    ToggleReadFailure,
    ToggleWriteFailure,
    ChangeMode,
    PickSerial,
    PickMode,
    PressCommand1,
    Tick,
};

struct Action {
    Verb verb;
    unsigned pick; // which device, item or value; taken modulo what there is
};

std::string Describe(const Action& action) {
    static const char* names[] = {"plug-new",
                                  "unplug",
                                  "unplug-all",
                                  "plug-back",
                                  "toggle-streaming",
                                  "toggle-read-failure",
                                  "toggle-write-failure",
                                  "change-mode",
                                  "pick-serial",
                                  "pick-mode",
                                  "press-command1",
                                  "tick"};
    return std::string(names[static_cast<int>(action.verb)]) + "(" + std::to_string(action.pick) +
           ")";
}

std::vector<Action> RandomStory(std::uint32_t seed, int length) {
    std::mt19937 random(seed);
    // Ticks are common, as they are in life; plugs and picks less so.
    std::discrete_distribution<int> verbs({3, 4, 1, 2, 3, 2, 2, 2, 4, 4, 2, 12});
    std::uniform_int_distribution<unsigned> picks(0, 1000);
    std::vector<Action> story;
    for (int i = 0; i < length; ++i)
        story.push_back({static_cast<Verb>(verbs(random)), picks(random)});
    return story;
}

// Plays a story on a fresh host and window and returns the first broken
// promise, or nothing.
class StoryPlayer {
public:
    std::optional<std::string> Play(const std::vector<Action>& story) {
        window_ = std::make_unique<frmMain>(host_);
        user_ = MakeWindowDriver(window_->View());
        window_->Load();
        if (auto broken = Check())
            return broken;
        for (std::size_t step = 0; step < story.size(); ++step) {
            if (auto broken = Perform(story[step]))
                return "step " + std::to_string(step) + " " + Describe(story[step]) + ": " +
                       *broken;
        }
        user_->Close();
        if (!host_.Ledger().openNow.empty())
            return "after close: handles left open";
        if (!host_.Ledger().violations.empty())
            return "after close: " + host_.Ledger().violations.front();
        return std::nullopt;
    }

private:
    std::optional<std::string> Perform(const Action& action) {
        const std::size_t writesBefore = host_.Ledger().featureWrites.size();
        const std::uint64_t readsBefore = host_.Ledger().Calls(HostOperation::ReadFile);
        std::optional<std::vector<BYTE>> allowedWrite;
        const auto devices = host_.Devices();
        const auto device = [&]() {
            return devices[action.pick % devices.size()];
        };
        switch (action.verb) {
        case Verb::PlugNew: {
            if (devices.size() >= 5)
                break;
            VirtualDevice added = Divider(u"S" + std::u16string(1, u'0' + action.pick % 4),
                                          static_cast<BYTE>(action.pick % 6));
            const USHORT inputLengths[] = {65, 9, 100, 0};
            const USHORT featureLengths[] = {3, 8, 2, 64};
            added.inputReportLength = inputLengths[action.pick / 4 % 4];
            added.featureReportLength = featureLengths[action.pick / 16 % 4];
            if (action.pick % 7 == 0)
                added = Keyboard();
            if (action.pick % 11 == 0)
                added.interfaces = {"dual:" + std::to_string(devices.size()) + "/0",
                                    "dual:" + std::to_string(devices.size()) + "/1"};
            host_.Plug(added);
            break;
        }
        case Verb::Unplug:
            if (!devices.empty())
                host_.Unplug(device());
            break;
        case Verb::UnplugAll:
            for (const auto id : devices)
                host_.Unplug(id);
            break;
        case Verb::PlugBack:
            if (!devices.empty())
                host_.PlugBack(device());
            break;
        case Verb::ToggleStreaming:
            if (!devices.empty())
                host_.Device(device()).streams = !host_.Device(device()).streams;
            break;
        case Verb::ToggleReadFailure:
            if (!devices.empty())
                host_.Device(device()).featureReadFails = !host_.Device(device()).featureReadFails;
            break;
        case Verb::ToggleWriteFailure:
            if (!devices.empty())
                host_.Device(device()).featureWriteFails =
                    !host_.Device(device()).featureWriteFails;
            break;
        case Verb::ChangeMode:
            if (!devices.empty())
                host_.Device(device()).mode = static_cast<BYTE>(action.pick % 9);
            break;
        case Verb::PickSerial:
            UserPicks(Control::SerNo, action.pick);
            break;
        case Verb::PickMode: {
            const int count = static_cast<int>(user_->Items(Control::Enc1).size());
            if (user_->TakesInput(Control::Enc1) && count > 0) {
                const int mode = static_cast<int>(action.pick % count);
                if (window_->State().Caps.FeatureReportByteLength >= MinCommandReportLength)
                    allowedWrite = CommandReport(window_->State().Caps.FeatureReportByteLength,
                                                 Command::SetOutputMode, static_cast<BYTE>(mode));
                UserPicks(Control::Enc1, action.pick);
            }
            break;
        }
        case Verb::PressCommand1:
            allowedWrite = CommandReport(window_->State().Caps.FeatureReportByteLength,
                                         Command::Auxiliary, AuxiliaryArgument);
            user_->Press(Control::Command1);
            break;
        case Verb::Tick:
            if (!window_->Timer.Enabled())
                return "the timer stopped";
            window_->Timer_Timer();
            break;
        }
        const auto& writes = host_.Ledger().featureWrites;
        if (writes.size() > writesBefore + 1)
            return "more than one feature report for one action";
        if (writes.size() == writesBefore + 1 &&
            (!allowedWrite || writes.back().bytes != *allowedWrite))
            return "a feature report the user did not ask for";
        // The probe's buffer holds 65 bytes, or the device's input report when longer.
        const auto& reads = host_.Ledger().reads;
        const auto newReads = host_.Ledger().Calls(HostOperation::ReadFile) - readsBefore;
        for (auto read = reads.end() - static_cast<std::ptrdiff_t>(newReads); read != reads.end();
             ++read) {
            if (read->length > std::max<DWORD>(65, read->reportLength))
                return "a read longer than its buffer";
        }
        return Check();
    }

    void UserPicks(Control list, unsigned pick) {
        const int count = static_cast<int>(user_->Items(list).size());
        if (!user_->TakesInput(list) || count == 0)
            return;
        user_->Pick(list, static_cast<int>(pick % count));
    }

    std::optional<std::string> Check() const {
        const HostLedger& ledger = host_.Ledger();
        const FormState& state = window_->State();
        if (!ledger.violations.empty())
            return ledger.violations.front();
        if (ledger.setsOpen != 0)
            return std::string("a device-information set left open");
        if (ledger.preparsedOpen != 0)
            return std::string("preparsed data left unfreed");
        std::set<HANDLE> open;
        for (const auto& [handle, record] : ledger.openNow)
            open.insert(handle);
        const std::set<HANDLE> connection{state.FeatureHandle, state.InputHandle};
        if (state.DeviceFound && open != connection)
            return std::string("open handles are not exactly the connection's two");
        if (!state.DeviceFound && !open.empty())
            return std::string("a handle open without a connection");
        return std::nullopt;
    }

    SimulatedHost host_;
    std::unique_ptr<frmMain> window_;
    std::unique_ptr<WindowDriver> user_;
};

std::optional<std::string> PlayFresh(const std::vector<Action>& story) {
    return StoryPlayer().Play(story);
}

// Drops actions, in shrinking chunks, while the story still fails.
std::vector<Action> Shrink(std::vector<Action> story) {
    for (std::size_t chunk = story.size() / 2; chunk >= 1; chunk /= 2) {
        for (std::size_t start = 0; start + chunk <= story.size();) {
            std::vector<Action> shorter(story.begin(), story.begin() + start);
            shorter.insert(shorter.end(), story.begin() + start + chunk, story.end());
            if (PlayFresh(shorter))
                story = std::move(shorter);
            else
                start += chunk;
        }
    }
    return story;
}

TEST(RandomizedWindow, EveryStoryKeepsTheWindowsPromises) {
    const bool longBudget = std::getenv("MEROVANE_RANDOM_BUDGET") != nullptr &&
                            std::string(std::getenv("MEROVANE_RANDOM_BUDGET")) == "long";
    const int stories = longBudget ? 1000 : 60;
    const int length = longBudget ? 800 : 300;
    std::uint32_t firstSeed = 20261208;
    if (const char* seed = std::getenv("MEROVANE_RANDOM_SEED"))
        firstSeed = static_cast<std::uint32_t>(std::strtoul(seed, nullptr, 10));

    for (int n = 0; n < stories; ++n) {
        const std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(n);
        const std::vector<Action> story = RandomStory(seed, length);
        const auto broken = PlayFresh(story);
        if (!broken)
            continue;
        const std::vector<Action> shortest = Shrink(story);
        std::ostringstream steps;
        for (const Action& action : shortest)
            steps << " " << Describe(action);
        FAIL() << "seed " << seed << " (MEROVANE_RANDOM_SEED=" << seed << "): " << *broken
               << "\nshortest failing story (" << shortest.size() << " steps):" << steps.str()
               << "\nit breaks with: " << PlayFresh(shortest).value_or("?");
    }
}

} // namespace
} // namespace merovane::test
