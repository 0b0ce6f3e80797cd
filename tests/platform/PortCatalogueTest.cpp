#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "app/PortDoctor.h"
#include "platform/SystemPortCatalogue.h"
#include "platform/qt/QtSerialPort.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// Whether each port is free, judged from a made-up /dev, /sys, /proc and lock folder alone; every
// port is pinned by a link in the ports folder, COM1 for the first case and so on.
TEST(SystemPortCatalogue, JudgesEachPortWithoutOpeningIt) {
    struct Case {
        const char* node;      // under /dev; "-" for a node that is not there
        bool hardware;         // sysfs shows a device behind the node
        const char* uartType;  // its UART type, for an on-board port
        int holder;            // a process with the node open, or 0
        int locker;            // the process number in the node's lock file, or 0
        OpenFailure expected;
    };
    const Case cases[] = {
        {"ttyS0", true, "4", 0, 0, OpenFailure::None},
        {"ttyS1", true, "0", 0, 0, OpenFailure::NoSuchPort},      // no UART behind it
        {"tty1", false, nullptr, 0, 0, OpenFailure::NoSuchPort},  // a console
        {"ttyUSB0", true, nullptr, 0, 0, OpenFailure::PermissionDenied},
        {"ttyUSB1", true, nullptr, 300, 0, OpenFailure::InUse},
        {"ttyUSB2", true, nullptr, 0, 400, OpenFailure::InUse},
        {"ttyUSB3", true, nullptr, 0, 999, OpenFailure::None},  // the locker has ended
        {"pts/3", false, nullptr, 300, 0, OpenFailure::None},   // held by whoever made it
        {"pts/4", false, nullptr, 0, 400, OpenFailure::InUse},
        {"-", false, nullptr, 0, 0, OpenFailure::NoSuchPort},
    };
    rig::TempDir root;
    const fs::path dev = root.path() / "dev", sys = root.path() / "sys",
                   proc = root.path() / "proc", locks = root.path() / "run-lock";
    for (int pid : {300, 400}) fs::create_directories(proc / std::to_string(pid) / "fd");
    for (const fs::path& dir : {dev / "pts", locks, root.path() / "ports"})
        fs::create_directories(dir);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const fs::path node = dev / c.node;
        if (c.node[0] != '-') std::ofstream(node).put('\0');
        const fs::path entry = sys / "class" / "tty" / node.filename();
        fs::create_directories(c.hardware ? entry / "device" : entry);
        if (c.uartType != nullptr) std::ofstream(entry / "type") << c.uartType << '\n';
        if (c.holder != 0)
            fs::create_symlink(node, proc / std::to_string(c.holder) / "fd" / std::to_string(i));
        std::string lockName = fs::relative(node, dev).string();
        std::replace(lockName.begin(), lockName.end(), '/', '_');
        if (c.locker != 0) std::ofstream(locks / ("LCK.." + lockName)) << "      " << c.locker;
        fs::create_symlink(node, root.path() / "ports" / ("COM" + std::to_string(i + 1)));
    }
    SystemTrees trees{dev, sys, proc, {root.path() / "var-lock", locks}, [](const fs::path& n) {
                          return n.filename() != "ttyUSB0";
                      }};
    const SystemPortCatalogue catalogue(root.path(), trees);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(catalogue.availability(static_cast<int>(i + 1)), cases[i].expected)
            << cases[i].node;
    EXPECT_EQ(catalogue.availability(20), OpenFailure::NoSuchPort);
}

// Opening a port sets its adapter's latency timer to 1 ms; while the adapter still passes bytes on
// late (the timer may not be written), the tooltip of the port in use gives the udev rule.
TEST(LowLatency, OpeningShortensTheTimerAndASlowAdapterNamesTheUdevRule) {
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string device = ::ttyname(slave);
    rig::TempDir root;
    const fs::path timer =
        root.path() / "sys/bus/usb-serial/devices" / fs::path(device).filename() / "latency_timer";
    fs::create_directories(root.path() / "ports");
    fs::create_symlink(device, root.path() / "ports/COM2");
    fs::create_directories(timer.parent_path());
    std::ofstream(timer) << "16\n";
    fs::create_symlink("../../drivers/ftdi_sio", timer.parent_path() / "driver");
    const SystemPortCatalogue catalogue(root.path(), {.sys = root.path() / "sys", .mayOpen = {}});
    QtSerialPort port([&](int number) { return catalogue.deviceName(number); },
                      root.path() / "sys");
    port.setPortNumber(2);
    EXPECT_EQ(PortTip(catalogue, port, 2), device);  // opening it may still make it fast
    ASSERT_TRUE(port.open());  // a pseudo-terminal refuses low-latency mode, and still opens
    EXPECT_EQ(catalogue.latencyTimer(2), (LatencyTimer{1, "ftdi_sio"}));
    EXPECT_EQ(PortTip(catalogue, port, 2), device);
    std::ofstream(timer) << "16\n";
    EXPECT_EQ(
        PortTip(catalogue, port, 2),
        device + "\n" + device +
            " passes on what it receives only every 16 ms, and this user may not shorten "
            "that. A udev rule does it for every user: put the line\nACTION==\"add\", "
            "SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\"\ninto "
            "/etc/udev/rules.d/50-usb-serial-latency.rules, then plug the adapter in again.");
    port.close();
    ::close(master);
    ::close(slave);
}

}  // namespace
}  // namespace brindle
