// An adapter pulled out and plugged in again is taken again without the user.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>

#include <fstream>

#include "app/frmMain.h"
#include "platform/FileIo.h"
#include "platform/qt/QtDeviceWatch.h"
#include "tests/app/NamedPeer.h"
#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// The adapter on COM3, as the list is built at the start.
struct Plugged {
    std::map<int, std::string> devices;
    std::map<int, std::string> ids;
};

// The main window on the simulated peer, with an on-board port and a USB adapter, COM3 chosen.
struct Desk {
    Desk() {
        peer.ports = {{1, OpenFailure::None}, {3, OpenFailure::None}};
        peer.devices = {{1, "/dev/ttyS0"}, {3, "/dev/ttyUSB0"}};
        peer.ids = {{3, "usb-FTDI_FT232R_A9XYZ-if00-port0"}};
        window = std::make_unique<frmMain>(AppPlatform{peer, peer, clock, pump, messages, dialogs,
                                                       files, programDir.path(),
                                                       [this] { ++rediscoveries; }, [] {}});
        window->Load();
        window->cboPort->activated(1);  // COM3
    }

    // The adapter goes away in the middle of a poll cycle (DTR low).
    void pullOut() {
        peer.setDtr(false);
        peer.lose();
        peer.devices.erase(3);
        peer.ids.erase(3);
        peer.ports.erase(3);
    }

    // A ZX81 SAVE from the peer, carried through the main window's link.
    Bytes save(const std::string& name) {
        const Bytes code = TextToZX81(name);
        const Bytes image = rig::Zx81Image(60);
        Bytes request{32};
        request.insert(request.end(), code.begin(), code.end());
        request.insert(request.end(), image.begin(), image.end());
        peer.send(request);
        for (int i = 0; i < 2'000'000 && (peer.pendingBytes() > 0 || peer.bytesWaiting() > 0);
             ++i) {
            if (!peer.deliverPendingEvent()) clock.advanceNs(100'000);
        }
        Bytes expected = code;
        expected.insert(expected.end(), image.begin(), image.end());
        return expected;
    }

    std::string tooltip(int index) const {
        return window->cboPort->itemData(index, Qt::ToolTipRole).toString().toStdString();
    }

    rig::VirtualClock clock;
    rig::NamedPeer peer{clock};
    rig::ScriptedPump pump;
    rig::FakeMessages messages;
    rig::FakeDialogs dialogs;
    DiskFiles files;
    rig::TempDir programDir;
    int rediscoveries = 0;
    std::unique_ptr<frmMain> window;
};

TEST(Replug, TheListNamesAdaptersByTheirSerialIdName) {
    Desk desk;
    EXPECT_EQ(desk.tooltip(0), "/dev/ttyS0");
    EXPECT_EQ(desk.tooltip(1), "/dev/ttyUSB0 (usb-FTDI_FT232R_A9XYZ-if00-port0)");
}

TEST(Replug, TheSameAdapterBackIsOpenedIdleAndTheNextSaveLands) {
    struct Case {
        const char* what;
        Plugged back;
        int reopened;  // the port number taken again; 0 for none
    };
    const Case cases[] = {
        {"the same node and name",
         {{{3, "/dev/ttyUSB0"}}, {{3, "usb-FTDI_FT232R_A9XYZ-if00-port0"}}},
         3},
        {"the same node, its name not made yet", {{{3, "/dev/ttyUSB0"}}, {}}, 3},
        {"the same adapter under another node and number",
         {{{4, "/dev/ttyUSB1"}}, {{4, "usb-FTDI_FT232R_A9XYZ-if00-port0"}}},
         4},
        {"another adapter on the same node",
         {{{3, "/dev/ttyUSB0"}}, {{3, "usb-Prolific_PL2303_Z77-if00-port0"}}},
         0},
        {"another node", {{{3, "/dev/ttyUSB1"}}, {}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Desk fresh;
        fresh.pullOut();
        EXPECT_EQ(fresh.window->lblStatus->text(), "COM3 lost: plug the adapter back in");

        // Devices change while the adapter is still out: nothing is opened, nothing is said.
        fresh.window->DevicesChanged();
        EXPECT_FALSE(fresh.peer.isOpen());

        for (const auto& [number, device] : c.back.devices) {
            fresh.peer.devices[number] = device;
            fresh.peer.ports[number] = OpenFailure::None;
        }
        for (const auto& [number, id] : c.back.ids) fresh.peer.ids[number] = id;
        fresh.peer.replug();
        fresh.window->DevicesChanged();
        EXPECT_EQ(fresh.rediscoveries, 2);
        EXPECT_EQ(fresh.messages.shown, std::vector<Message>{});
        if (c.reopened == 0) {
            EXPECT_FALSE(fresh.peer.isOpen());
            EXPECT_EQ(fresh.window->cboPort->currentIndex(), -1);
            EXPECT_EQ(fresh.window->lblStatus->text(), "COM3 lost: plug the adapter back in");
            continue;
        }
        const std::string entry = "COM" + std::to_string(c.reopened);
        EXPECT_TRUE(fresh.peer.isOpen());
        EXPECT_EQ(fresh.peer.portNumber(), c.reopened);
        EXPECT_EQ(fresh.window->cboPort->currentText().toStdString(), entry);
        EXPECT_EQ(fresh.window->ports.entries(), (std::vector<std::string>{"COM1", entry}));
        EXPECT_EQ(fresh.window->lblStatus->text(), "");
        EXPECT_TRUE(fresh.peer.dtr());  // idle: the peer may send
        EXPECT_EQ(fresh.window->CurrentSettings().Port, entry);

        const Bytes expected = fresh.save("AGAIN");
        EXPECT_EQ(rig::FileBytes(fresh.programDir.path() / "AGAIN.P81"), expected);
    }
}

// The kernel's notifications wake the watch when a node comes, changes its permissions or goes,
// also in a folder made after the watch began.
TEST(QtDeviceWatch, WakesForNodesThatComeChangeAndGo) {
    rig::TempDir dev;
    const fs::path byId = dev.path() / "serial" / "by-id";
    QtDeviceWatch watch({dev.path(), byId});
    ASSERT_TRUE(watch.active());
    int changes = 0;
    watch.onChange = [&] { ++changes; };
    const auto settle = [&] {
        QElapsedTimer timer;
        timer.start();
        const int before = changes;
        while (changes == before && timer.elapsed() < 5000) QApplication::processEvents();
        return changes - before;
    };
    QApplication::processEvents();
    EXPECT_EQ(changes, 0);

    std::ofstream(dev.path() / "ttyUSB0");
    EXPECT_GE(settle(), 1);
    fs::permissions(dev.path() / "ttyUSB0", fs::perms::owner_read);
    EXPECT_GE(settle(), 1);
    fs::create_directories(byId);
    EXPECT_GE(settle(), 1);
    fs::create_symlink("../../ttyUSB0", byId / "usb-FTDI_FT232R_A9XYZ-if00-port0");
    EXPECT_GE(settle(), 1);
    fs::remove(dev.path() / "ttyUSB0");
    EXPECT_GE(settle(), 1);
}

}  // namespace
}  // namespace brindle
