// USB adapters at full pace: opening shortens the latency timer, and the port in use says how to
// have it done when the program may not.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <fstream>

#include "app/frmMain.h"
#include "platform/qt/QtSerialPort.h"
#include "tests/app/NamedPeer.h"
#include "tests/rig/FixedPorts.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

TEST(LowLatency, OpeningSetsTheAdaptersTimerTo1Ms) {
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string device = ::ttyname(slave);
    rig::TempDir sys;
    const fs::path adapter = sys.path() / "bus/usb-serial/devices" / fs::path(device).filename();
    fs::create_directories(adapter);
    std::ofstream(adapter / "latency_timer") << "16\n";
    fs::create_symlink("../../drivers/ftdi_sio", adapter / "driver");
    const rig::FixedPorts ports({{4, device}});
    QtSerialPort port(ports, sys.path());
    port.setPortNumber(4);
    EXPECT_TRUE(port.open());  // a pseudo-terminal refuses low-latency mode, and still opens
    EXPECT_EQ(ReadLatencyTimer(device, sys.path()), (LatencyTimer{1, "ftdi_sio"}));
    port.close();
    ::close(master);
    ::close(slave);
}

TEST(LowLatency, ThePortInUseGivesTheUdevRuleWhenItsAdapterStaysSlow) {
    rig::VirtualClock clock;
    rig::NamedPeer peer(clock);
    peer.ports = {{1, OpenFailure::None}, {3, OpenFailure::None}};
    peer.devices = {{1, "/dev/ttyUSB0"}, {3, "/dev/ttyUSB1"}};
    peer.latency = {{1, {16, "ftdi_sio"}}, {3, {16, "ftdi_sio"}}};
    rig::ScriptedPump pump;
    rig::FakeMessages messages;
    rig::FakeDialogs dialogs;
    rig::TempDir dir;
    frmMain w(AppPlatform{peer, peer, clock, pump, messages, dialogs, dir.path(), nullptr, [] {}});
    w.Load();
    w.cboPort->activated(1);  // COM3
    const auto tip = [&](int index) {
        return w.cboPort->itemData(index, Qt::ToolTipRole).toString().toStdString();
    };
    EXPECT_EQ(tip(0), "/dev/ttyUSB0");  // not in use: opening it may still make it fast
    EXPECT_EQ(tip(1),
              "/dev/ttyUSB1\n/dev/ttyUSB1 passes on what it receives only every 16 ms, and this "
              "user may not shorten that. A udev rule does it for every user: put the "
              "line\nACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
              "ATTR{latency_timer}=\"1\"\ninto /etc/udev/rules.d/50-usb-serial-latency.rules, then "
              "plug the adapter in again.");
}

}  // namespace
}  // namespace brindle
