#include <gtest/gtest.h>

#include "app/PortSelection.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

// The list comes from the catalogue alone: no device is opened to build it, and at start-up the
// chosen port is opened once.
TEST(PortListing, OnlyTheChosenPortIsOpenedAndOnlyOnce) {
    rig::VirtualClock clock;
    rig::SimPeer peer(clock);
    peer.ports = {{1, OpenFailure::None}, {2, OpenFailure::InUse}, {5, OpenFailure::None}};
    rig::FakeMessages messages;
    PortSelection ports(peer, peer, messages);
    ports.PortList();
    EXPECT_EQ(ports.entries(), (std::vector<std::string>{"COM1", "COM5"}));
    EXPECT_EQ(peer.opens(), 0);
    ports.StartupChoice("COM5");
    EXPECT_EQ(peer.opens(), 1);
    EXPECT_TRUE(peer.isOpen());
    EXPECT_EQ(peer.portNumber(), 5);
}

}  // namespace
}  // namespace brindle
