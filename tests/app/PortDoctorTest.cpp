// Why a port would not open and what to do, as the user is told it.
#include <gtest/gtest.h>

#include <fstream>

#include "app/PortSelection.h"
#include "platform/PortHolders.h"
#include "platform/PortMap.h"
#include "tests/app/NamedPeer.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// A made-up /proc: each process with its command name and the targets of its open files.
void AddProcess(const fs::path& proc, int pid, const std::string& name,
                const std::vector<fs::path>& open) {
    const fs::path dir = proc / std::to_string(pid);
    fs::create_directories(dir / "fd");
    std::ofstream(dir / "comm") << name << "\n";
    int fd = 0;
    for (const fs::path& target : open)
        fs::create_symlink(target, dir / "fd" / std::to_string(fd++));
}

const std::string kDialout =
    "This user may not open /dev/ttyUSB0. Ask for membership of the \"dialout\" group (sudo "
    "usermod -aG dialout $USER), then log out and in again: the membership counts from the next "
    "log-in.";
const std::string kModemManager =
    " ModemManager probes a newly plugged USB adapter for a few seconds; to keep it away from "
    "this one, give the adapter the udev property ID_MM_DEVICE_IGNORE=1 in a rule under "
    "/etc/udev/rules.d, or, with no modem to manage, stop it (sudo systemctl disable --now "
    "ModemManager).";

// A refused open of COM3, by the system's reason, gives the existing message with the advice
// for that reason under it.
TEST(PortDoctor, AdviceForEachReasonAnOpenIsRefused) {
    struct Case {
        const char* what;
        OpenFailure failure;
        std::string device;
        std::vector<std::pair<int, std::string>> holders;  // processes holding the device
        std::string detail;
    };
    const Case cases[] = {
        {"EACCES", OpenFailure::PermissionDenied, "/dev/ttyUSB0", {}, kDialout},
        {"EBUSY, holder named",
         OpenFailure::InUse,
         "/dev/ttyS2",
         {{4242, "minicom"}},
         "/dev/ttyS2 is held by minicom (process 4242). Close that program, then choose the port "
         "again."},
        // Another program than ModemManager holds a USB adapter: no word of ModemManager.
        {"EBUSY, USB adapter, holder named",
         OpenFailure::InUse,
         "/dev/ttyUSB0",
         {{4242, "minicom"}},
         "/dev/ttyUSB0 is held by minicom (process 4242). Close that program, then choose the port "
         "again."},
        {"EBUSY, two holders",
         OpenFailure::InUse,
         "/dev/ttyS2",
         {{7, "screen"}, {4242, "minicom"}},
         "/dev/ttyS2 is held by screen (process 7) and minicom (process 4242). Close those "
         "programs, then choose the port again."},
        {"EBUSY, on-board port, holder not visible",
         OpenFailure::InUse,
         "/dev/ttyS2",
         {},
         "Another program holds /dev/ttyS2. Close it, then choose the port again."},
        {"EBUSY, USB adapter, holder not visible",
         OpenFailure::InUse,
         "/dev/ttyACM1",
         {},
         "Another program holds /dev/ttyACM1. Close it, then choose the port again." +
             kModemManager},
        {"EBUSY, ModemManager probing",
         OpenFailure::InUse,
         "/dev/ttyUSB0",
         {{812, "ModemManager"}},
         "/dev/ttyUSB0 is held by ModemManager (process 812). Close that program, then choose "
         "the port again." +
             kModemManager},
        {"ENOENT, unplugged",
         OpenFailure::NoSuchPort,
         "/dev/ttyUSB0",
         {},
         "/dev/ttyUSB0 is gone: the adapter was unplugged. Plug it in again; the port is taken "
         "again by itself when it is back."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rig::TempDir proc;
        AddProcess(proc.path(), 1, "init", {"/dev/null"});
        for (const auto& [pid, name] : c.holders) AddProcess(proc.path(), pid, name, {c.device});
        rig::VirtualClock clock;
        rig::NamedPeer port(clock);
        port.ports = {{1, OpenFailure::None}, {3, OpenFailure::None}};
        port.devices = {{3, c.device}};
        rig::FakeMessages messages;
        PortSelection ports(port, port, messages);
        port.procRoot = proc.path();
        ports.PortList();
        port.ports[3] = c.failure;  // taken, refused or gone after the list was built
        ports.Select(1);

        EXPECT_EQ(messages.shown, (std::vector<Message>{{"Can not open COM3", "Error",
                                                         MessageIcon::Exclamation, c.detail}}));
        EXPECT_FALSE(port.isOpen());
    }
}

TEST(PortDoctor, HoldersAreFoundByTheNodeOrByALinkToIt) {
    rig::TempDir tree;
    const fs::path node = tree.path() / "ttyUSB0";
    std::ofstream(node).put('\n');
    const fs::path link = tree.path() / "usb-FTDI_FT232R_A9XYZ-if00-port0";
    fs::create_symlink(node, link);
    const fs::path proc = tree.path() / "proc";
    AddProcess(proc, 300, "picocom", {"/dev/null", node});
    AddProcess(proc, 25, "ModemManager", {node});
    AddProcess(proc, 40, "bash", {"/dev/pts/1"});
    fs::create_directories(proc / "self" / "fd");
    fs::create_symlink(node, proc / "self" / "fd" / "0");  // not a process number

    const std::vector<PortHolder> expected{{25, "ModemManager"}, {300, "picocom"}};
    EXPECT_EQ(FindPortHolders(node, proc), expected);
    EXPECT_EQ(FindPortHolders(link, proc), expected);
    EXPECT_EQ(FindPortHolders(tree.path() / "ttyUSB1", proc), std::vector<PortHolder>{});
}

TEST(PortDoctor, AdaptersAreKnownByTheirSerialIdName) {
    rig::TempDir dev;
    fs::create_directories(dev.path() / "serial" / "by-id");
    for (const char* node : {"ttyUSB0", "ttyACM0", "ttyS0"}) std::ofstream(dev.path() / node);
    const fs::path byId = dev.path() / "serial" / "by-id";
    fs::create_symlink("../../ttyUSB0", byId / "usb-FTDI_FT232R_A9XYZ-if00-port0");
    fs::create_symlink("../../ttyACM0", byId / "usb-Arduino_Uno_7563-if00");
    fs::create_symlink(byId / "usb-Arduino_Uno_7563-if00", dev.path() / "COM7");

    const std::pair<fs::path, std::string> cases[] = {
        {dev.path() / "ttyUSB0", "usb-FTDI_FT232R_A9XYZ-if00-port0"},
        {byId / "usb-Arduino_Uno_7563-if00", "usb-Arduino_Uno_7563-if00"},
        {dev.path() / "COM7", "usb-Arduino_Uno_7563-if00"},  // a ports link to the by-id name
        {dev.path() / "ttyS0", ""},
        {dev.path() / "ttyUSB9", ""},
    };
    for (const auto& [device, id] : cases)
        EXPECT_EQ(SerialIdName(device, dev.path()), id) << device;
}

}  // namespace
}  // namespace brindle
