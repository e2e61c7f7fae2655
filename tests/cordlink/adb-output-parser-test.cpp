#include "cordlink/adb-output-parser.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using zu::DeviceInfo;
using zu::ParseDeviceList;
using zu::ParsePortConnections;
using zu::PortConnection;

std::vector<DeviceInfo> Devices(const QString& text) {
    auto list = ParseDeviceList(text);
    return {list.begin(), list.end()};
}

std::vector<PortConnection> Mappings(const QString& text) {
    auto list = ParsePortConnections(text);
    return {list.begin(), list.end()};
}

TEST(DeviceListParser, LongListingGivesSerialAndTheWordsAfterTheState) {
    const auto devices = Devices(
        "List of devices attached\n"
        "0123456789ABCDEF  device usb:1-1 product:sdk_phone model:Pixel_5 device:redfin "
        "transport_id:1\n");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serial, "0123456789ABCDEF");
    EXPECT_EQ(devices[0].detail,
              "usb:1-1 product:sdk_phone model:Pixel_5 device:redfin transport_id:1");
}

TEST(DeviceListParser, KeepsEveryReadyDeviceInOrder) {
    const auto devices = Devices(
        "List of devices attached\n"
        "emulator-5554\tdevice\n"
        "R58M123ABC             device usb:2-3 transport_id:4\n"
        "192.168.1.20:5555      device product:x model:y device:z transport_id:5\n");
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].serial, "emulator-5554");
    EXPECT_EQ(devices[0].detail, "");
    EXPECT_EQ(devices[1].serial, "R58M123ABC");
    EXPECT_EQ(devices[1].detail, "usb:2-3 transport_id:4");
    EXPECT_EQ(devices[2].serial, "192.168.1.20:5555");
}

TEST(DeviceListParser, DevicesThatCannotTakeCommandsGiveNoEntry) {
    // unauthorized and offline (which keeps its device:<name> field), and a
    // phone adb may not open, whose help link holds "device.html".
    EXPECT_TRUE(Devices("List of devices attached\n"
                        "0123456789ABCDEF       unauthorized usb:1-1 transport_id:2\n"
                        "FEDCBA9876543210       offline usb:1-2 product:p model:m device:d "
                        "transport_id:3\n"
                        "AAAA1111               no permissions (user in plugdev group; are your "
                        "udev rules wrong?); see [http://developer.android.com/tools/device.html] "
                        "usb:1-3\n")
                    .empty());
}

TEST(DeviceListParser, SerialHoldingTheWordDeviceStaysWhole) {
    const auto devices = Devices("mydevice01 device usb:1-1\n");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serial, "mydevice01");
    EXPECT_EQ(devices[0].detail, "usb:1-1");
}

TEST(DeviceListParser, HeaderErrorsAndLinesStartingWithTheStateGiveNothing) {
    EXPECT_TRUE(Devices("").empty());
    EXPECT_TRUE(Devices("List of devices attached").empty());
    EXPECT_TRUE(Devices("error: no devices/emulators found").empty());
    EXPECT_TRUE(Devices("error: device offline\nerror: device unauthorized.").empty());
    EXPECT_TRUE(Devices("device usb:1-1\n   device usb:1-2\n\t device\n").empty());
    EXPECT_TRUE(Devices("\n\n\r\n").empty());
}

TEST(DeviceListParser, CrlfLinesParseLikeLfLines) {
    const auto devices =
        Devices("List of devices attached\r\nAAA\tdevice usb:1\r\n\r\nBBB\tdevice usb:2\r\n");
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].serial, "AAA");
    EXPECT_EQ(devices[0].detail, "usb:1");
    EXPECT_EQ(devices[1].serial, "BBB");
    EXPECT_EQ(devices[1].detail, "usb:2");
}

TEST(DeviceListParser, NonAsciiSerialSurvives) {
    const auto devices = Devices(QString::fromUtf8("序列号-1\tdevice usb:1\n"));
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serial, QString::fromUtf8("序列号-1"));
}

TEST(MappingListParser, TcpLineGivesNameAndBothPorts) {
    const auto mappings = Mappings("host-19 tcp:10080 tcp:11080\n(reverse) tcp:5000 tcp:6000");
    ASSERT_EQ(mappings.size(), 2u);
    EXPECT_EQ(mappings[0].name, "host-19");
    EXPECT_EQ(mappings[0].remotePort, 10080);
    EXPECT_EQ(mappings[0].localPort, 11080);
    EXPECT_EQ(mappings[1].name, "(reverse)");
    EXPECT_EQ(mappings[1].remotePort, 5000);
    EXPECT_EQ(mappings[1].localPort, 6000);
}

TEST(MappingListParser, PortsThatAreNotTcpNumbersReadAsZero) {
    const auto mappings = Mappings(
        "a localabstract:scrcpy tcp:27183\n"
        "b tcp:10080 udp:11080\n"
        "c tcp:70000 tcp:-1\n"
        "d tcp:abc tcp:10080:1\n"
        "e tcp tcp:65535\n");
    ASSERT_EQ(mappings.size(), 5u);
    EXPECT_EQ(mappings[0].remotePort, 0);
    EXPECT_EQ(mappings[0].localPort, 27183);
    EXPECT_EQ(mappings[1].remotePort, 10080);
    EXPECT_EQ(mappings[1].localPort, 0);
    EXPECT_EQ(mappings[2].remotePort, 0);
    EXPECT_EQ(mappings[2].localPort, 0);
    EXPECT_EQ(mappings[3].remotePort, 0);
    EXPECT_EQ(mappings[3].localPort, 0);
    EXPECT_EQ(mappings[4].remotePort, 0);
    EXPECT_EQ(mappings[4].localPort, 65535);
}

TEST(MappingListParser, LinesWithoutExactlyThreePartsAreSkipped) {
    const auto mappings = Mappings(
        "tcp:10080 tcp:11080\n"
        "x tcp:1 tcp:2 extra\n"
        "  y   tcp:3   tcp:4  \n");
    ASSERT_EQ(mappings.size(), 1u);
    EXPECT_EQ(mappings[0].name, "y");
    EXPECT_EQ(mappings[0].remotePort, 3);
    EXPECT_EQ(mappings[0].localPort, 4);
}

TEST(MappingListParser, ErrorOutputGivesNoMapping) {
    EXPECT_TRUE(Mappings("error: no devices/emulators found").empty());
    EXPECT_TRUE(Mappings("error: device offline\nhost tcp:1 tcp:2").empty());
    // An error line later on is no mapping either.
    const auto mappings = Mappings("host tcp:1 tcp:2\nerror: device offline");
    ASSERT_EQ(mappings.size(), 1u);
    EXPECT_EQ(mappings[0].name, "host");
}

TEST(MappingListParser, CrlfLinesParseLikeLfLines) {
    const auto mappings = Mappings("h1 tcp:10080 tcp:11080\r\nh2 tcp:1 tcp:2\r\n");
    ASSERT_EQ(mappings.size(), 2u);
    EXPECT_EQ(mappings[0].localPort, 11080);
    EXPECT_EQ(mappings[1].remotePort, 1);
    EXPECT_EQ(mappings[1].localPort, 2);
}

}  // namespace
