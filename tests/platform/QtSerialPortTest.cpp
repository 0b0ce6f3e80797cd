#include "platform/qt/QtSerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

namespace brindle {
namespace {

using namespace std::chrono_literals;

// A pseudo-terminal: the port opens the slave side, the test plays the peer on the master.
class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
            path_ = name;
            ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PseudoTerminal() {
        closeMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    int slave() const { return slave_; }

    void send(const Bytes& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // What the port sent, read until count bytes came or the time is up.
    Bytes receive(std::size_t count, std::chrono::milliseconds limit) {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            std::uint8_t chunk[256];
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n > 0) {
                got.insert(got.end(), chunk, chunk + n);
            } else {
                std::this_thread::sleep_for(1ms);
            }
        }
        return got;
    }
    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    termios settings() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return t;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// Reads the port without running the event loop until count bytes came or the time is up.
Bytes ReadWithoutEventLoop(SerialPort& port, std::size_t count, std::chrono::milliseconds limit) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        const Bytes now = port.readAll();
        got.insert(got.end(), now.begin(), now.end());
        if (now.empty()) std::this_thread::sleep_for(1ms);
    }
    return got;
}

// Runs the event loop, idle when there is nothing to do, for the given time.
void RunEventLoop(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds or the time is up.
bool RunEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return done();
}

constexpr int kPort = 3;

class QtSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pty_.ok()) GTEST_SKIP() << "no pseudo-terminal";
        port_.setPortNumber(kPort);
        port_.onEvent = [this](SerialEventKind kind) {
            events_.push_back(kind);
            if (onEvent_) onEvent_();
        };
    }

    PseudoTerminal pty_;
    QtSerialPort port_{PortMap{{kPort, pty_.path()}}};
    std::vector<SerialEventKind> events_;
    std::function<void()> onEvent_;
};

using Events = std::vector<SerialEventKind>;
constexpr auto kReceived = SerialEventKind::BytesReceived;

TEST_F(QtSerialPortTest, OpensWithTheLineSettingsThoughDtrIsRefused) {
    EXPECT_EQ(port_.deviceName(kPort), pty_.path());
    EXPECT_EQ(port_.deviceName(kPort + 1), "");
    EXPECT_FALSE(port_.dtr());
    port_.setDtr(true);  // remembered while closed: a pseudo-terminal has no DTR to refuse yet
    ASSERT_TRUE(port_.open());
    EXPECT_TRUE(port_.isOpen());
    EXPECT_EQ(port_.lastOpenFailure(), OpenFailure::None);
    EXPECT_TRUE(port_.dtr());

    // 9600 baud, no parity, 8 data bits, 2 stop bits, no flow control, raw bytes.
    termios t = pty_.settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8 | CSTOPB));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), tcflag_t(0));
    EXPECT_EQ(t.c_lflag & ICANON, tcflag_t(0));

    // New settings apply to the open port; a bad text changes nothing. (A pseudo-terminal
    // keeps 8 data bits and no parity whatever it is told.)
    EXPECT_TRUE(port_.setSettings("2400,n,8,1"));
    EXPECT_FALSE(port_.setSettings("1200,n,9,2"));
    t = pty_.settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
    EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t(0));

    // DTR keeps its level across closing and reopening.
    port_.setDtr(false);
    port_.close();
    EXPECT_FALSE(port_.isOpen());
    ASSERT_TRUE(port_.open());
    EXPECT_FALSE(port_.dtr());
    t = pty_.settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
}

TEST_F(QtSerialPortTest, OpenFailuresSayWhy) {
    port_.setPortNumber(kPort + 1);
    EXPECT_FALSE(port_.open());
    EXPECT_EQ(port_.lastOpenFailure(), OpenFailure::NoSuchPort);

    QtSerialPort missing(PortMap{{1, pty_.path() + "-absent"}});
    missing.setPortNumber(1);
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.lastOpenFailure(), OpenFailure::NoSuchPort);

    // Held by another user of the device.
    QtSerialPort other(PortMap{{1, pty_.path()}});
    other.setPortNumber(1);
    ASSERT_TRUE(other.open());
    port_.setPortNumber(kPort);
    EXPECT_FALSE(port_.open());
    EXPECT_FALSE(port_.isOpen());
    EXPECT_EQ(port_.lastOpenFailure(), OpenFailure::InUse);
    other.close();
    EXPECT_TRUE(port_.open());
    EXPECT_EQ(port_.lastOpenFailure(), OpenFailure::None);
}

TEST_F(QtSerialPortTest, ReadsWhatTheSystemHoldsWithoutTheEventLoop) {
    ASSERT_TRUE(port_.open());
    EXPECT_EQ(port_.bytesWaiting(), 0);
    EXPECT_EQ(port_.readAll(), Bytes{});

    // Every byte value arrives unchanged: no line-end or control-character handling.
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = std::uint8_t(i);
    pty_.send(all);
    EXPECT_EQ(ReadWithoutEventLoop(port_, all.size(), 2000ms), all);
    EXPECT_EQ(port_.readAll(), Bytes{});

    const Bytes request{32, 0x80 | 38, 1, 2};
    pty_.send(request);
    const auto end = std::chrono::steady_clock::now() + 2000ms;
    while (port_.bytesWaiting() < int(request.size()) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(port_.bytesWaiting(), int(request.size()));
    EXPECT_EQ(port_.readAll(), request);
    EXPECT_TRUE(events_.empty());  // nothing delivered while the event loop did not run
}

TEST_F(QtSerialPortTest, WrittenBytesLeaveAtOnce) {
    ASSERT_TRUE(port_.open());
    const Bytes reply{0x00, 0x0A, 0x0D, 0x11, 0x13, 0xFF, 0x80};
    EXPECT_TRUE(port_.write(reply));
    // The writer sleeps next, without the event loop: the bytes must already be on their way.
    EXPECT_EQ(pty_.receive(reply.size(), 200ms), reply);
    EXPECT_TRUE(port_.write({}));

    port_.close();
    EXPECT_FALSE(port_.write({1}));
}

TEST_F(QtSerialPortTest, ReceiveEventComesThroughTheEventLoop) {
    ASSERT_TRUE(port_.open());
    pty_.send({32});
    ASSERT_TRUE(RunEventLoopUntil([&] { return !events_.empty(); }, 2000ms));
    EXPECT_EQ(port_.readAll(), Bytes{32});
    RunEventLoop(100ms);
    EXPECT_EQ(events_, Events{kReceived});
}

TEST_F(QtSerialPortTest, ReceiverThatReadsIsNeverCalledAgainInside) {
    ASSERT_TRUE(port_.open());
    int depth = 0;
    int deepest = 0;
    Bytes read;
    onEvent_ = [&] {
        // More bytes come while the receiver reads: its read may not raise a nested event.
        ++depth;
        deepest = std::max(deepest, depth);
        pty_.send({2});
        const Bytes now = ReadWithoutEventLoop(port_, 2, 500ms);
        read.insert(read.end(), now.begin(), now.end());
        --depth;
    };
    // The first byte waits while events are off, so its event is the port's own delivery.
    port_.setReceiveThreshold(0);
    pty_.send({1});
    RunEventLoop(50ms);
    port_.setReceiveThreshold(1);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !events_.empty(); }, 2000ms));
    RunEventLoop(100ms);
    EXPECT_EQ(events_, Events{kReceived});
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(read, (Bytes{1, 2}));
}

TEST_F(QtSerialPortTest, ThresholdZeroHoldsEventsBackAndOneDeliversWaitingBytes) {
    ASSERT_TRUE(port_.open());
    port_.setReceiveThreshold(0);
    EXPECT_EQ(port_.receiveThreshold(), 0);
    pty_.send({10, 65});
    RunEventLoop(200ms);  // the port takes the bytes in, but tells no one
    EXPECT_TRUE(events_.empty());

    // No new data will come: the waiting bytes must be announced by themselves.
    port_.setReceiveThreshold(1);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !events_.empty(); }, 2000ms));
    RunEventLoop(50ms);
    EXPECT_EQ(events_, Events{kReceived});
    EXPECT_EQ(port_.readAll(), (Bytes{10, 65}));

    // With nothing waiting, turning events on again announces nothing.
    port_.setReceiveThreshold(0);
    port_.setReceiveThreshold(1);
    RunEventLoop(100ms);
    EXPECT_EQ(events_, Events{kReceived});
}

// CPU time this process used while the event loop ran idle for a while.
std::chrono::milliseconds CpuTimeOfIdleLoop(std::chrono::milliseconds time) {
    const std::clock_t start = std::clock();
    RunEventLoop(time);
    return std::chrono::milliseconds((std::clock() - start) * 1000 / CLOCKS_PER_SEC);
}

void ExpectQuietlyClosed(QtSerialPort& port) {
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.readAll(), Bytes{});
    EXPECT_EQ(port.bytesWaiting(), 0);
    EXPECT_FALSE(port.write({1, 2, 3}));
    port.setDtr(true);  // still remembered, nothing to apply it to
    EXPECT_TRUE(port.dtr());
}

TEST_F(QtSerialPortTest, LostDeviceClosesThePortQuietly) {
    ASSERT_TRUE(port_.open());
    pty_.closeMaster();
    EXPECT_LT(CpuTimeOfIdleLoop(400ms), 100ms);
    ExpectQuietlyClosed(port_);
    EXPECT_TRUE(events_.empty());
    port_.close();
}

TEST_F(QtSerialPortTest, LostDeviceFoundByAReadClosesThePortQuietly) {
    ASSERT_TRUE(port_.open());
    pty_.closeMaster();
    EXPECT_EQ(port_.readAll(), Bytes{});
    EXPECT_FALSE(port_.isOpen());
    EXPECT_LT(CpuTimeOfIdleLoop(400ms), 100ms);
    ExpectQuietlyClosed(port_);
}

TEST_F(QtSerialPortTest, HungUpDeviceClosesThePortQuietly) {
    // An unplugged adapter hangs its terminal up: reads then end without an error code.
    ASSERT_TRUE(port_.open());
    if (::ioctl(pty_.slave(), TIOCVHANGUP) != 0) GTEST_SKIP() << "hang-up needs privilege";
    EXPECT_LT(CpuTimeOfIdleLoop(400ms), 100ms);
    ExpectQuietlyClosed(port_);
}

TEST(LineSettingsTest, ParsesBaudParityDataAndStopBits) {
    EXPECT_EQ(
        ParseLineSettings("9600,n,8,2"),
        (LineSettings{9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::TwoStop}));
    EXPECT_EQ(ParseLineSettings("115200,E,7,1.5"),
              (LineSettings{115200, QSerialPort::EvenParity, QSerialPort::Data7,
                            QSerialPort::OneAndHalfStop}));
    EXPECT_EQ(
        ParseLineSettings("300,m,5,1"),
        (LineSettings{300, QSerialPort::MarkParity, QSerialPort::Data5, QSerialPort::OneStop}));
    EXPECT_EQ(ParseLineSettings("1200,S,6,1")->parity, QSerialPort::SpaceParity);
    EXPECT_EQ(ParseLineSettings("1200,o,6,1")->parity, QSerialPort::OddParity);
    for (const char* bad :
         {"", "9600", "9600,n,8", "9600,n,8,2,", "9600,x,8,2", "9600,,8,2", "9600,no,8,2",
          "0,n,8,2", "-9600,n,8,2", "96a0,n,8,2", "9600,n,4,2", "9600,n,9,2", "9600,n,8,3",
          "9600,n,8,0", " 9600,n,8,2", "99999999999,n,8,2"}) {
        EXPECT_EQ(ParseLineSettings(bad), std::nullopt) << bad;
    }
}

}  // namespace
}  // namespace brindle
