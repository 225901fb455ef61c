// The devices that did not answer a feature request, each left alone for
// FeatureTransferPause from then on (see HidD_GetFeature): a host asks this
// before it makes a device wait its caller again.
#pragma once

#include "device/api_declarations.h"

#include <chrono>
#include <string>
#include <unordered_map>

namespace merovane {

class UnansweredDevices {
public:
    using Clock = std::chrono::steady_clock;

    // True while `device` (a host's own name for one plugged device) is left
    // alone: it did not answer less than FeatureTransferPause ago.
    bool LeftAlone(const std::string& device, Clock::time_point now) {
        std::erase_if(
            since_, [&](const auto& entry) { return now - entry.second >= FeatureTransferPause; });
        return since_.contains(device);
    }
    void DidNotAnswer(const std::string& device, Clock::time_point now) { since_[device] = now; }
    void Answered(const std::string& device) { since_.erase(device); }

private:
    std::unordered_map<std::string, Clock::time_point> since_;
};

} // namespace merovane
