#include "tick_scenarios.h"

#include "device/feature_protocol.h"
#include "device/simulated/demo_devices.h"
#include "device/wide_low_bytes.h"

#include <cstring>

namespace merovane::bench {

namespace {

constexpr DWORD InterfaceDataSize = 28;
constexpr DWORD AttributesSize = 12;
constexpr DWORD OpenAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD OpenShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

VirtualDevice Divider() {
    return VirtualDevice{.interfaces = {"/dev/hidraw0"},
                         .version = 0x0123,
                         .serial = u"MV2B-00417",
                         .manufacturer = u"Merovane Instruments",
                         .product = u"Clock Divider CD-4",
                         .mode = 2};
}

VirtualDevice Keyboard(int number) {
    VirtualDevice keyboard = KeyboardReceiver();
    keyboard.interfaces = {"/dev/hidraw" + std::to_string(number)};
    return keyboard;
}

// The window side: the real window, loaded on its host, driven by its tick.
class WindowSide : public Scenario {
public:
    WindowSide() = default;
    void Start() {
        window_ = std::make_unique<frmMain>(host_);
        window_->Load();
    }
    void Run() override { window_->Timer_Timer(); }
    const SimulatedHost& Host() const override { return host_; }

protected:
    SimulatedHost host_;
    std::unique_ptr<frmMain> window_;
};

// The floor side: the bare host calls, through the same abstract host the
// window calls, into buffers made once.
class FloorSide : public Scenario {
public:
    FloorSide() : host_(simulated_) {
        security_.nLength = 12;
        security_.bInheritHandle = 1;
    }
    const SimulatedHost& Host() const override { return simulated_; }

protected:
    // One enumeration run, as the scan and the search make it: every
    // interface opened, its attributes read and, for a target, its serial
    // number; closed unless it is the one `keepSerial` names, whose handle
    // is returned.
    HANDLE Enumerate(const char* keepSerial) {
        HANDLE kept = INVALID_HANDLE_VALUE;
        GUID guid;
        host_.HidD_GetHidGuid(guid);
        const HANDLE set = host_.SetupDiGetClassDevsA(guid, nullptr, NO_HANDLE,
                                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        for (std::int32_t index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA data;
            data.cbSize = InterfaceDataSize;
            if (host_.SetupDiEnumDeviceInterfaces(set, nullptr, guid, index, data) == 0)
                break;
            DWORD required = 0;
            host_.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr);
            const DWORD sizeField = SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE;
            std::memcpy(detail_.data(), &sizeField, sizeof sizeField);
            host_.SetupDiGetDeviceInterfaceDetailA(set, data, detail_.data(), required, &required,
                                                   nullptr);
            const auto* path =
                reinterpret_cast<const char*>(detail_.data() + DETAIL_DATA_PATH_OFFSET);
            const HANDLE handle = host_.CreateFileA(path, OpenAccess, OpenShare, &security_,
                                                    OPEN_EXISTING, 0, NO_HANDLE);
            HIDD_ATTRIBUTES attributes;
            attributes.Size = AttributesSize;
            host_.HidD_GetAttributes(handle, attributes);
            const bool target =
                attributes.VendorID == TargetVendorId && attributes.ProductID == TargetProductId;
            if (target &&
                host_.HidD_GetSerialNumberString(handle, strings_.data(), StringReadLength) != 0 &&
                keepSerial != nullptr && WideLowBytesEqual(keepSerial)) {
                std::memcpy(keptPath_.data(), path, std::strlen(path) + 1);
                kept = handle;
                break;
            }
            host_.CloseHandle(handle);
        }
        host_.SetupDiDestroyDeviceInfoList(set);
        return kept;
    }

    bool WideLowBytesEqual(const char* text) const {
        std::size_t i = 0;
        for (; text[i] != 0; ++i)
            if (strings_[2 * i] != static_cast<BYTE>(text[i]))
                return false;
        return strings_[2 * i] == 0;
    }

    SimulatedHost simulated_;
    HidHost& host_;
    SECURITY_ATTRIBUTES security_;
    std::array<BYTE, 512> detail_{};
    std::array<BYTE, 512> keptPath_{};
    StringBuffer strings_{};
};

// --- The probe -------------------------------------------------------------

class ProbeTick final : public WindowSide {
public:
    ProbeTick() {
        host_.Plug(Divider());
        Start();
        Run(); // the first good probe sets the 500 ms pace
    }
};

class ProbeFloor final : public FloorSide {
public:
    ProbeFloor() {
        simulated_.Plug(Divider());
        input_ = host_.CreateFileA("/dev/hidraw0", OpenAccess, OpenShare, &security_, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, NO_HANDLE);
        overlap_.hEvent = host_.CreateEventA(&security_, 1, 1, "");
    }
    ~ProbeFloor() override { host_.CloseHandle(input_); }
    void Run() override {
        DWORD read = 0;
        host_.ReadFile(input_, buffer_.data(), InputLength, &read, &overlap_);
    }

private:
    static constexpr DWORD InputLength = 65;
    HANDLE input_ = INVALID_HANDLE_VALUE;
    OVERLAPPED overlap_;
    std::array<BYTE, InputLength> buffer_{};
};

// --- The rescan --------------------------------------------------------------

void PlugKeyboards(SimulatedHost& host, int count) {
    for (int i = 0; i < count; ++i)
        host.Plug(Keyboard(i + 1));
}

class RescanTick final : public WindowSide {
public:
    explicit RescanTick(int interfaces) {
        PlugKeyboards(host_, interfaces);
        Start();
    }
};

class RescanFloor final : public FloorSide {
public:
    explicit RescanFloor(int interfaces) { PlugKeyboards(simulated_, interfaces); }
    void Run() override {
        // The scan, then the search for the selected serial (none).
        Enumerate(nullptr);
        Enumerate(nullptr);
    }
};

// --- The reconnect -----------------------------------------------------------

class ReconnectTick final : public WindowSide {
public:
    ReconnectTick() {
        divider_ = host_.Plug(Divider());
        Start();
    }
    void Prepare() override {
        host_.Unplug(divider_);
        host_.PlugBack(divider_);
    }
    bool Prepares() const override { return true; }

private:
    SimulatedHost::DeviceId divider_ = 0;
};

class ReconnectFloor final : public FloorSide {
public:
    ReconnectFloor() {
        divider_ = simulated_.Plug(Divider());
        overlap_.hEvent = host_.CreateEventA(&security_, 1, 1, "");
        Connect();
    }
    ~ReconnectFloor() override {
        host_.CloseHandle(feature_);
        host_.CloseHandle(input_);
    }
    void Prepare() override {
        simulated_.Unplug(divider_);
        simulated_.PlugBack(divider_);
    }
    bool Prepares() const override { return true; }
    void Run() override {
        DWORD read = 0;
        host_.ReadFile(input_, buffer_.data(), caps_.InputReportByteLength, &read, &overlap_);
        host_.CloseHandle(feature_);
        host_.CloseHandle(input_);
        Connect();
    }

private:
    // The scan, the search for the serial, the second open and the details.
    void Connect() {
        Enumerate(nullptr);
        feature_ = Enumerate("MV2B-00417");
        HANDLE preparsed = NO_HANDLE;
        host_.HidD_GetPreparsedData(feature_, preparsed);
        host_.HidP_GetCaps(preparsed, caps_);
        host_.HidD_FreePreparsedData(preparsed);
        input_ = host_.CreateFileA(reinterpret_cast<const char*>(keptPath_.data()), OpenAccess,
                                   OpenShare, &security_, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                   NO_HANDLE);
        host_.HidD_GetManufacturerString(input_, strings_.data(), StringReadLength);
        host_.HidD_GetProductString(input_, strings_.data(), StringReadLength);
        host_.HidD_GetFeature(feature_, report_.data(), caps_.FeatureReportByteLength);
    }

    SimulatedHost::DeviceId divider_ = 0;
    HANDLE feature_ = INVALID_HANDLE_VALUE;
    HANDLE input_ = INVALID_HANDLE_VALUE;
    HIDP_CAPS caps_;
    OVERLAPPED overlap_;
    std::array<BYTE, 512> buffer_{};
    std::array<BYTE, 512> report_{};
};

} // namespace

std::unique_ptr<Scenario> MakeProbe(Side side) {
    if (side == Side::Tick)
        return std::make_unique<ProbeTick>();
    return std::make_unique<ProbeFloor>();
}

std::unique_ptr<Scenario> MakeRescan(Side side, int interfaces) {
    if (side == Side::Tick)
        return std::make_unique<RescanTick>(interfaces);
    return std::make_unique<RescanFloor>(interfaces);
}

std::unique_ptr<Scenario> MakeReconnect(Side side) {
    if (side == Side::Tick)
        return std::make_unique<ReconnectTick>();
    return std::make_unique<ReconnectFloor>();
}

std::string CompareHostCalls(Scenario& tick, Scenario& floor) {
    const auto callsOfOneRun = [](Scenario& scenario) {
        scenario.Prepare();
        const auto before = scenario.Host().Ledger().calls;
        scenario.Run();
        auto calls = scenario.Host().Ledger().calls;
        for (std::size_t i = 0; i < calls.size(); ++i)
            calls[i] -= before[i];
        return calls;
    };
    const auto ofTick = callsOfOneRun(tick);
    const auto ofFloor = callsOfOneRun(floor);
    for (std::size_t i = 0; i < HostOperationCount; ++i) {
        if (ofTick[i] != ofFloor[i])
            return "host operation " + std::to_string(i) +
                   " (in HostOperation's order): the tick makes " + std::to_string(ofTick[i]) +
                   ", the floor " + std::to_string(ofFloor[i]);
    }
    return {};
}

namespace {

std::unique_ptr<Scenario> MakeRescan1(Side side) {
    return MakeRescan(side, 1);
}
std::unique_ptr<Scenario> MakeRescan10(Side side) {
    return MakeRescan(side, 10);
}
std::unique_ptr<Scenario> MakeRescan100(Side side) {
    return MakeRescan(side, 100);
}

} // namespace

const std::vector<TickFigure>& TickFigures() {
    static const std::vector<TickFigure> figures = {
        {"probe", MakeProbe, 64},        {"rescan/1", MakeRescan1, 8},
        {"rescan/10", MakeRescan10, 1},  {"rescan/100", MakeRescan100, 1},
        {"reconnect", MakeReconnect, 1},
    };
    return figures;
}

} // namespace merovane::bench
