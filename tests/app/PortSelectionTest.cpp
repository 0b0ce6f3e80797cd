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
    PortSelection ports{port, messages};

    Message error(const std::string& text, const std::string& detail = {}) {
        return {text, "Error", MessageIcon::Exclamation, detail};
    }
};

TEST_F(PortSelectionTest, ListsFreePortsInOrderAndSkipsBusyOnes) {
    port.ports = {{1, OpenFailure::None},
                  {2, OpenFailure::InUse},
                  {3, OpenFailure::None},
                  {21, OpenFailure::None}};
    ports.PortList();
    EXPECT_EQ(ports.entries(), (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(port.settings(), "9600,n,8,2");
    EXPECT_FALSE(port.isOpen());  // nothing was shown before, so nothing is selected

    ports.StartupChoice("COM3");
    EXPECT_EQ(ports.text(), "COM3");
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 3);

    // Rebuilding closes, probes and reopens the port in use.
    ports.PortList();
    EXPECT_EQ(ports.text(), "COM3");
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 3);
}

TEST_F(PortSelectionTest, StartupFallsBackToTheFirstPort) {
    port.ports = {{2, OpenFailure::None}, {4, OpenFailure::None}};
    ports.PortList();
    ports.StartupChoice("COM9");
    EXPECT_EQ(ports.text(), "COM2");
    EXPECT_EQ(port.portNumber(), 2);
    EXPECT_TRUE(port.isOpen());
}

TEST_F(PortSelectionTest, PortTakenBetweenRebuildsLeavesNothingSelected) {
    port.ports = {{1, OpenFailure::None}, {3, OpenFailure::None}};
    ports.PortList();
    ports.StartupChoice("COM3");
    port.ports[3] = OpenFailure::InUse;
    ports.PortList();
    EXPECT_EQ(ports.entries(), (std::vector<std::string>{"COM1"}));
    EXPECT_EQ(ports.text(), "");
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PortSelectionTest, NumberIsReadFromTheFourthCharacterOn) {
    EXPECT_EQ(PortSelection::PortNumberOf("COM10"), 10);
    EXPECT_EQ(PortSelection::PortNumberOf("COM7"), 7);
    EXPECT_EQ(PortSelection::PortNumberOf("COM"), 0);
    port.ports = {{10, OpenFailure::None}};
    ports.PortList();
    ports.StartupChoice("");
    EXPECT_EQ(port.portNumber(), 10);
}

TEST_F(PortSelectionTest, NoFreePortIsReportedEveryTime) {
    port.ports = {{1, OpenFailure::InUse}};
    ports.PortList();
    ports.PortList();
    EXPECT_EQ(messages.shown,
              (std::vector<Message>{error("There are no free serial ports available"),
                                    error("There are no free serial ports available")}));
    ports.StartupChoice("COM1");
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PortSelectionTest, MissingPermissionIsExplained) {
    port.ports = {{1, OpenFailure::PermissionDenied}, {2, OpenFailure::InUse}};
    ports.PortList();
    EXPECT_EQ(messages.shown,
              (std::vector<Message>{error("There are no free serial ports available",
                                          "Serial ports exist, but this user may not open them. "
                                          "Ask for membership of the \"dialout\" group (sudo "
                                          "usermod -aG dialout $USER), then log out and in "
                                          "again.")}));
}

TEST_F(PortSelectionTest, FailedOpenNamesThePort) {
    port.ports = {{3, OpenFailure::None}};
    ports.PortList();
    port.ports[3] = OpenFailure::InUse;
    ports.StartupChoice("COM3");
    EXPECT_EQ(messages.shown, (std::vector<Message>{error("Can not open COM3")}));
    EXPECT_EQ(ports.text(), "COM3");
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
}  // namespace brindle
