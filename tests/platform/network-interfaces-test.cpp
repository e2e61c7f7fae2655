#include "platform/network-interfaces.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tests/support/temp-dir.h"

namespace {

// A sysfs of our own: what the kernel lists as virtual, and a real card.
class FakeSysfs {
public:
    FakeSysfs() {
        for (const char* name : {"lo", "docker0", "virbr0", "vmnet8", "veth3fa9c21", "tun0"}) {
            platform::MakeDirs(root() + "/devices/virtual/net/" + name);
        }
        platform::MakeDirs(root() + "/devices/pci0000:00/0000:00:1f.6/net/eth0");
    }
    std::string root() const { return dir_.file("sys"); }

private:
    zutest::TempDir dir_;
};

TEST(NetworkInterfacesTest, InterfacesTheKernelMadeUpAreDescribedAsVirtual) {
    FakeSysfs sys;
    for (const char* name : {"docker0", "virbr0", "vmnet8", "veth3fa9c21", "tun0"}) {
        EXPECT_EQ(platform::AdapterDescription(name, sys.root()),
                  std::string(name) + " (virtual adapter)");
    }
    // A card on a bus, one the fake does not list at all, and loopback keep
    // their names; so does a name that tries to leave the folder.
    EXPECT_EQ(platform::AdapterDescription("eth0", sys.root()), "eth0");
    EXPECT_EQ(platform::AdapterDescription("wlan0", sys.root()), "wlan0");
    EXPECT_EQ(platform::AdapterDescription("lo", sys.root()), "lo");
    EXPECT_EQ(platform::AdapterDescription("../../pci0000:00", sys.root()), "../../pci0000:00");
    EXPECT_EQ(platform::AdapterDescription("", sys.root()), "");
}

TEST(NetworkInterfacesTest, ListingUsesTheGivenSysfs) {
    // The test runs in a private network namespace: loopback only.
    FakeSysfs sys;
    std::vector<platform::NetworkAdapter> adapters = platform::ListNetworkAdapters(sys.root());
    ASSERT_EQ(adapters.size(), 1u);
    EXPECT_EQ(adapters[0].name, "lo");
    EXPECT_EQ(adapters[0].description, "lo");
    EXPECT_EQ(adapters[0].ipv4, "127.0.0.1");
}

}  // namespace
