#include "platform/PortMap.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// A made-up machine: a program directory, a /dev and a /sys, all under one temporary folder.
class PortMapTest : public ::testing::Test {
protected:
    PortMapTest() {
        fs::create_directories(programDir());
        fs::create_directories(devRoot());
        fs::create_directories(sysRoot());
    }

    fs::path programDir() const { return root_.path() / "program"; }
    fs::path devRoot() const { return root_.path() / "dev"; }
    fs::path sysRoot() const { return root_.path() / "sys"; }
    std::string dev(const std::string& name) const { return (devRoot() / name).string(); }

    void addDevices(std::initializer_list<std::string> names) {
        for (const std::string& name : names) std::ofstream(devRoot() / name).put('\0');
    }
    // What the kernel says of an on-board node: type 0 is a node without a UART.
    void setUartType(const std::string& name, const std::string& type) {
        fs::create_directories(sysRoot() / "class" / "tty" / name);
        std::ofstream(sysRoot() / "class" / "tty" / name / "type") << type << '\n';
    }
    void addLink(const fs::path& link, const fs::path& target) {
        fs::create_directories(link.parent_path());
        fs::create_symlink(target, link);
    }
    PortMap discover() const { return DiscoverPorts(programDir(), devRoot(), sysRoot()); }

private:
    rig::TempDir root_;
};

TEST_F(PortMapTest, PortsFolderAloneDefinesTheNumbers) {
    addDevices({"ttyS0", "ttyS1", "ttyUSB0", "ttyUSB1", "ttyACM0"});
    const fs::path ports = programDir() / "ports";
    addLink(ports / "COM1", devRoot() / "ttyUSB1");   // absolute target
    addLink(ports / "COM3", "../../dev/ttyACM0");     // relative to the ports folder
    addLink(ports / "COM10", devRoot() / "ttyS1");    // two digits
    addLink(ports / "COM7", devRoot() / "ttyGone");   // target missing: opening will say so
    addLink(ports / "COM21", devRoot() / "ttyS0");    // above 20
    addLink(ports / "COM0", devRoot() / "ttyS0");     // below 1
    addLink(ports / "COM02", devRoot() / "ttyS0");    // leading zero
    addLink(ports / "com4", devRoot() / "ttyS0");     // not the name
    addLink(ports / "COM5x", devRoot() / "ttyS0");    // not a number
    addLink(ports / "printer", devRoot() / "ttyS0");  // not a port
    std::ofstream(ports / "COM2") << "/dev/ttyS0";    // a file, not a link
    fs::create_directory(ports / "COM6");             // a folder, not a link

    const PortMap expected{
        {1, dev("ttyUSB1")}, {3, dev("ttyACM0")}, {7, dev("ttyGone")}, {10, dev("ttyS1")}};
    EXPECT_EQ(discover(), expected);
}

TEST_F(PortMapTest, EmptyPortsFolderMeansNoPorts) {
    addDevices({"ttyS0", "ttyUSB0"});
    fs::create_directory(programDir() / "ports");
    EXPECT_EQ(discover(), PortMap{});
}

TEST_F(PortMapTest, OnBoardPortsKeepTheirNumbersAndAdaptersTakeTheNextFree) {
    addDevices({"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyUSB0", "ttyACM0", "tty0", "tty1",
                "ttyprintk", "console", "ttyS", "ttyUSB", "ttyS05"});
    const PortMap expected{{1, dev("ttyS0")}, {2, dev("ttyS1")},   {3, dev("ttyS2")},
                           {4, dev("ttyS3")}, {5, dev("ttyACM0")}, {6, dev("ttyUSB0")}};
    EXPECT_EQ(discover(), expected);
}

TEST_F(PortMapTest, AdaptersFillFreeNumbersAndNothingPassesTwenty) {
    // On-board ports 1, 3 and 20 (ttyS19); ttyS20 would be 21.
    addDevices({"ttyS0", "ttyS2", "ttyS19", "ttyS20"});
    for (int i = 0; i < 25; ++i) addDevices({"ttyUSB" + std::to_string(i)});

    PortMap expected{{1, dev("ttyS0")}, {3, dev("ttyS2")}, {20, dev("ttyS19")}};
    int adapter = 0;
    for (int number = 1; number <= 20; ++number) {
        if (!expected.contains(number))
            expected[number] = dev("ttyUSB" + std::to_string(adapter++));
    }
    EXPECT_EQ(discover(), expected);
}

TEST_F(PortMapTest, AdapterOrderIsStable) {
    // Without ids: natural number order, so ttyUSB10 comes after ttyUSB2.
    addDevices({"ttyUSB10", "ttyUSB2", "ttyACM1", "ttyUSB0", "ttyUSB1"});
    // Adapters with a by-id name come first, ordered by that name, whatever their device name.
    const fs::path byId = devRoot() / "serial" / "by-id";
    addLink(byId / "usb-Beta_Serial_B2-if00-port0", "../../ttyUSB0");
    addLink(byId / "usb-Alpha_Serial_A1-if00-port0", "../../ttyUSB1");
    addLink(byId / "usb-Alpha_Serial_A1-if01-port0", "../../ttyUSB1");  // second name: least wins

    const PortMap expected{{1, dev("ttyUSB1")},
                           {2, dev("ttyUSB0")},
                           {3, dev("ttyACM1")},
                           {4, dev("ttyUSB2")},
                           {5, dev("ttyUSB10")}};
    EXPECT_EQ(discover(), expected);
}

TEST_F(PortMapTest, OnBoardNodesWithoutUartLeaveTheirNumbersToAdapters) {
    // Many systems create ttyS0 to ttyS31 whatever the hardware; only real UARTs keep numbers.
    for (int i = 0; i < 32; ++i) {
        const std::string name = "ttyS" + std::to_string(i);
        addDevices({name});
        setUartType(name, i == 0 ? "4" : "0");
    }
    addDevices({"ttyUSB0"});
    setUartType("ttyUSB0", "0");  // the type only matters for on-board nodes

    const PortMap expected{{1, dev("ttyS0")}, {2, dev("ttyUSB0")}};
    EXPECT_EQ(discover(), expected);
}

TEST_F(PortMapTest, MissingDeviceRootGivesNoPorts) {
    EXPECT_EQ(DiscoverPorts(programDir(), devRoot() / "absent", sysRoot()), PortMap{});
}

}  // namespace
}  // namespace brindle
