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
    fs::path programDir() const { return root_.path() / "program"; }
    fs::path devRoot() const { return root_.path() / "dev"; }
    fs::path sysRoot() const { return root_.path() / "sys"; }
    std::string dev(const std::string& name) const { return (devRoot() / name).string(); }

    void addDevices(std::initializer_list<std::string> names) {
        fs::create_directories(devRoot());
        for (const std::string& name : names) std::ofstream(devRoot() / name).put('\0');
    }
    // What the kernel says of a node: type 0 is a node without a UART.
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
    fs::create_directories(ports);
    EXPECT_EQ(discover(), PortMap{});                // an empty folder means no ports
    addLink(ports / "COM1", devRoot() / "ttyUSB1");  // absolute target
    addLink(ports / "COM3", "../../dev/ttyACM0");    // relative to the ports folder
    addLink(ports / "COM10", devRoot() / "ttyS1");   // two digits
    addLink(ports / "COM7", devRoot() / "ttyGone");  // target missing: opening will say so
    // Above 20, below 1, a leading zero, not the name, not a number, not a port.
    for (const char* name : {"COM21", "COM0", "COM02", "com4", "COM5x", "printer"}) {
        addLink(ports / name, devRoot() / "ttyS0");
    }
    std::ofstream(ports / "COM2") << "/dev/ttyS0";  // a file, not a link
    fs::create_directory(ports / "COM6");           // a folder, not a link
    const PortMap expected{
        {1, dev("ttyUSB1")}, {3, dev("ttyACM0")}, {7, dev("ttyGone")}, {10, dev("ttyS1")}};
    EXPECT_EQ(discover(), expected);
}

TEST_F(PortMapTest, OnBoardPortsKeepTheirNumbersAndAdaptersFillTheRestUpToTwenty) {
    EXPECT_EQ(discover(), PortMap{});  // no device folder at all
    // On-board ports 1, 3 and 20 (ttyS19); ttyS20 would be 21. Other names are no ports.
    addDevices({"ttyS0", "ttyS1", "ttyS2", "ttyS19", "ttyS20", "ttyACM0", "tty0", "ttyprintk",
                "console", "ttyS", "ttyUSB", "ttyS05"});
    // Many systems create ttyS nodes whatever the hardware; only real UARTs keep numbers.
    setUartType("ttyS0", "4");
    setUartType("ttyS1", "0");
    setUartType("ttyUSB0", "0");  // the type only matters for on-board nodes
    for (int i = 0; i < 25; ++i) addDevices({"ttyUSB" + std::to_string(i)});
    // Adapters in natural order: ttyACM before ttyUSB, ttyUSB9 before ttyUSB10.
    std::vector<std::string> adapters{"ttyACM0"};
    for (int i = 0; i < 16; ++i) adapters.push_back("ttyUSB" + std::to_string(i));
    PortMap expected{{1, dev("ttyS0")}, {3, dev("ttyS2")}, {20, dev("ttyS19")}};
    auto adapter = adapters.begin();
    for (int number = 1; number <= 20; ++number) {
        if (!expected.contains(number)) expected[number] = dev(*adapter++);
    }
    EXPECT_EQ(discover(), expected);
}

TEST_F(PortMapTest, AdaptersWithAnIdComeFirstInTheOrderOfTheirIds) {
    addDevices({"ttyUSB0", "ttyUSB1", "ttyACM1"});
    const fs::path byId = devRoot() / "serial" / "by-id";
    addLink(byId / "usb-Beta_Serial_B2-if00-port0", "../../ttyUSB0");
    addLink(byId / "usb-Alpha_Serial_A1-if00-port0", "../../ttyUSB1");
    addLink(byId / "usb-Gamma_Serial_C3-if00-port0", "../../ttyUSB1");  // second name: least wins
    const PortMap expected{{1, dev("ttyUSB1")}, {2, dev("ttyUSB0")}, {3, dev("ttyACM1")}};
    EXPECT_EQ(discover(), expected);
}

}  // namespace
}  // namespace brindle
