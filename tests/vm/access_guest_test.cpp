// Access rights on the hidraw node, as an unprivileged user sees them. There is
// no udev in the guest: each scenario sets the node's owner and mode itself,
// as a udev rule would, then runs its other half as the user nobody.
#include "device/feature_protocol.h"
#include "support/guest_window.h"

#include <sys/stat.h>
#include <unistd.h>

namespace merovane::guest {
namespace {

using Strings = std::vector<std::string>;

void SetNodeAccess(const std::string& node, uid_t owner, gid_t group, mode_t mode) {
    ASSERT_EQ(::chown(node.c_str(), owner, group), 0) << node;
    ASSERT_EQ(::chmod(node.c_str(), mode), 0) << node;
}

class AccessOnRealDevices : public ::testing::Test {
protected:
    void SetUp() override { MEROVANE_NEEDS_DEVICES(); }
};

TEST_F(AccessOnRealDevices, ANodeOnlyRootMayOpenIsPassedOverByAnUnprivilegedUser) {
    GuestDevice device(Divider("MV-LOCKED", 2));
    GuestDevice keyboard(Keyboard());
    SetNodeAccess(device.Node(), 0, 0, 0600);

    const int status = RunUnprivileged("UnprivilegedHalf.RootOnlyNode", {{"NODE", device.Node()}});

    EXPECT_EQ(status, 0) << "the unprivileged half failed (its output is above)";
    EXPECT_EQ(device.FeatureReads(), 0);
    EXPECT_TRUE(device.FeatureWrites().empty());
}

TEST_F(AccessOnRealDevices, WithAccessGrantedOnTheNodeAnUnprivilegedUserWorksTheDevice) {
    GuestDevice device(Divider("MV-GRANTED", 2));
    SetNodeAccess(device.Node(), UnprivilegedId, UnprivilegedId, 0660);

    const int status = RunUnprivileged("UnprivilegedHalf.GrantedNode", {{"NODE", device.Node()}});

    EXPECT_EQ(status, 0) << "the unprivileged half failed (its output is above)";
    EXPECT_EQ(device.FeatureReads(), 1);
    EXPECT_EQ(device.FeatureWrites(), (std::vector<Bytes>{{0, 1, 3}}));
}

TEST_F(AccessOnRealDevices, ANodeMadeAccessibleAfterItAppearedIsFoundWithoutAReplug) {
    GuestDevice keyboard(Keyboard());
    GuestDevice device(Divider("MV-LATER", 2));
    // Nobody's node, but no access yet: nobody grants it to itself later.
    SetNodeAccess(device.Node(), UnprivilegedId, UnprivilegedId, 0);

    const int status =
        RunUnprivileged("UnprivilegedHalf.NodeMadeAccessibleLater", {{"NODE", device.Node()}});

    EXPECT_EQ(status, 0) << "the unprivileged half failed (its output is above)";
    EXPECT_EQ(device.FeatureReads(), 1);
}

// The halves above, run as nobody by RunUnprivileged; skipped on their own.
class UnprivilegedHalf : public GuestWindowScenario {
protected:
    void SetUp() override {
        if (!InUnprivilegedHalf())
            GTEST_SKIP() << "runs only as the unprivileged half of an AccessOnRealDevices test";
        ASSERT_EQ(::geteuid(), UnprivilegedId);
        node_ = HandedOver("NODE");
        ASSERT_FALSE(node_.empty());
    }

    std::string node_;
};

TEST_F(UnprivilegedHalf, RootOnlyNode) {
    SECURITY_ATTRIBUTES security{12, 0, 1};
    EXPECT_EQ(host.CreateFileA(node_.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &security, OPEN_EXISTING, 0,
                               NO_HANDLE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.GetLastError(), ERROR_ACCESS_DENIED) << host.LastError();
    // Listed by an enumeration, the node is refused all the same, read-write
    // or with no rights asked (the window's second try).
    GUID guid;
    host.HidD_GetHidGuid(guid);
    const HANDLE set =
        host.SetupDiGetClassDevsA(guid, nullptr, NO_HANDLE, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    for (const DWORD access : {GENERIC_READ | GENERIC_WRITE, DWORD{0}}) {
        EXPECT_EQ(host.CreateFileA(node_.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &security, OPEN_EXISTING, 0, NO_HANDLE),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(host.GetLastError(), ERROR_ACCESS_DENIED) << host.LastError();
    }
    EXPECT_NE(host.SetupDiDestroyDeviceInfoList(set), 0);

    Start();
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(Items(Window().SerNo).empty());
    EXPECT_TRUE(Items(Window().Enc1).empty());
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(Window().lblProduct.Caption(), "");
    Tick();
    Tick();
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(Items(Window().SerNo).empty());
    EXPECT_EQ(Window().Timer.Interval(), 50);
    EXPECT_TRUE(OpenHidrawNodes().empty());
    Close();
}

TEST_F(UnprivilegedHalf, GrantedNode) {
    Start();
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-GRANTED"});
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(State().PathName, node_);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    EXPECT_EQ(OpenHidrawNodes(), Connection(node_));

    PickMode(3);

    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    Close();
    EXPECT_TRUE(OpenHidrawNodes().empty());
}

TEST_F(UnprivilegedHalf, NodeMadeAccessibleLater) {
    Start();
    Tick();
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(Items(Window().SerNo).empty());

    ASSERT_EQ(::chmod(node_.c_str(), 0600), 0);
    Tick();

    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-LATER"});
    EXPECT_EQ(State().PathName, node_);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    Close();
}

} // namespace
} // namespace merovane::guest
