#include <gtest/gtest.h>

#include "app/PortSelection.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

class PortSelectionTest : public ::testing::Test {
protected:
    rig::VirtualClock clock;
    rig::SimPeer port{clock};
    rig::FakeMessages messages;
    PortSelection ports{port, port, messages};

    static Message error(const std::string& text, const std::string& detail = {}) {
        return {text, "Error", MessageIcon::Exclamation, detail};
    }
};

TEST_F(PortSelectionTest, ListsFreePortsInOrderAndKeepsTheChoiceWhileItStaysFree) {
    port.ports = {{1, OpenFailure::None},
                  {2, OpenFailure::InUse},
                  {3, OpenFailure::None},
                  {10, OpenFailure::None},
                  {21, OpenFailure::None}};
    ports.PortList();
    EXPECT_EQ(ports.entries(), (std::vector<std::string>{"COM1", "COM3", "COM10"}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(port.settings(), (LineSettings{9600, 8, Parity::None, StopBits::Two}));
    EXPECT_FALSE(port.isOpen());  // nothing was shown before, so nothing is selected
    EXPECT_EQ(port.opens(), 0);   // the list is built without opening a device

    ports.StartupChoice("COM9");  // not listed: the first port
    EXPECT_EQ(ports.text(), "COM1");
    EXPECT_EQ(port.portNumber(), 1);
    EXPECT_EQ(port.opens(), 1);
    ports.StartupChoice("COM10");
    EXPECT_EQ(ports.text(), "COM10");
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 10);

    // Rebuilding closes, probes and reopens the port in use, unless it was taken meanwhile.
    ports.PortList();
    EXPECT_EQ(ports.text(), "COM10");
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 10);
    port.ports[10] = OpenFailure::InUse;
    ports.PortList();
    EXPECT_EQ(ports.entries(), (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_EQ(ports.text(), "");
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PortSelectionTest, FailuresAreReportedEveryTime) {
    port.ports = {{1, OpenFailure::InUse}};
    ports.PortList();
    ports.PortList();
    ports.StartupChoice("COM1");
    EXPECT_FALSE(port.isOpen());
    const Message none = error("There are no free serial ports available");
    EXPECT_EQ(messages.shown, (std::vector<Message>{none, none}));

    messages.shown.clear();
    port.ports = {
        {1, OpenFailure::PermissionDenied}, {2, OpenFailure::InUse}, {3, OpenFailure::None}};
    ports.PortList();
    port.ports[3] = OpenFailure::InUse;
    ports.StartupChoice("COM3");
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(ports.text(), "COM3");
    ports.PortList();
    const std::vector<Message> expected{
        error("Can not open COM3",
              "Another program holds /dev/sim3. Close it, then choose the port again."),
        error(none.text,
              "Serial ports exist, but this user may not open them. Ask for membership of the "
              "\"dialout\" group (sudo usermod -aG dialout $USER), then log out and in again.")};
    EXPECT_EQ(messages.shown, expected);
}

}  // namespace
}  // namespace brindle
