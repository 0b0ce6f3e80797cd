#include "platform/qt/QtSerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>

namespace brindle {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<SerialEventKind>;
constexpr auto kReceived = SerialEventKind::BytesReceived;
constexpr int kPort = 3;

// Runs the event loop, idle when there is nothing to do, until done() holds or the time is up.
bool RunEventLoop(std::chrono::milliseconds limit, const std::function<bool()>& done = nullptr) {
    QEventLoop loop;
    QTimer check;
    if (done) {
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done()) loop.quit();
        });
        check.start(1);
    }
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return done && done();
}

// Reads without running the event loop until count bytes came or the time is up.
Bytes ReadWithoutEventLoop(const std::function<Bytes()>& read, std::size_t count,
                           std::chrono::milliseconds limit = 2000ms) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        const Bytes now = read();
        got.insert(got.end(), now.begin(), now.end());
        if (now.empty()) std::this_thread::sleep_for(1ms);
    }
    return got;
}

// The port on the slave side of a pseudo-terminal; the test plays the peer on the master side.
class QtSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[256] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        path_ = name;
        port_ = std::make_unique<QtSerialPort>(
            [this](int number) { return number == kPort ? path_ : std::string(); });
        port_->setPortNumber(kPort);
        port_->onEvent = [this](SerialEventKind kind) { events_.push_back(kind); };
        port_->onLost = [this] { ++losses_; };
    }
    void TearDown() override {
        port_.reset();
        closeMaster();
        ::close(slave_);
    }

    void send(const Bytes& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    Bytes fromMaster() {
        std::uint8_t chunk[256];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        return n > 0 ? Bytes(chunk, chunk + n) : Bytes{};
    }
    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    termios settings() const {
        termios t{};
        return ::tcgetattr(slave_, &t) == 0 ? t : termios{};
    }

    // After the device went away: no busy event loop, and a closed port that fails quietly.
    void expectLossHandledQuietly() {
        const std::clock_t start = std::clock();
        RunEventLoop(400ms);
        EXPECT_LT((std::clock() - start) * 1000 / CLOCKS_PER_SEC, 100);
        EXPECT_FALSE(port_->isOpen());
        EXPECT_EQ(port_->readAll(), Bytes{});
        EXPECT_EQ(port_->bytesWaiting(), 0);
        EXPECT_FALSE(port_->write({1, 2, 3}));
        EXPECT_TRUE(events_.empty());
        EXPECT_EQ(losses_, 1);  // the owner is told once
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::unique_ptr<QtSerialPort> port_;
    Events events_;
    int losses_ = 0;
};

TEST_F(QtSerialPortTest, OpensWithTheLineSettingsAndKeepsDtrAcrossReopening) {
    port_->setDtr(true);  // remembered while closed: a pseudo-terminal has no DTR to refuse yet
    ASSERT_TRUE(port_->open());
    EXPECT_TRUE(port_->dtr());
    // 9600 baud, no parity, 8 data bits, 2 stop bits, no hardware flow control.
    termios t = settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8 | CSTOPB));

    // New settings apply to the open port and last across reopening; a bad text changes nothing.
    EXPECT_TRUE(port_->setSettings({2400, 8, Parity::None, StopBits::One}));
    EXPECT_FALSE(port_->setSettings({1200, 9, Parity::None, StopBits::Two}));
    t = settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
    port_->setDtr(false);
    port_->close();
    EXPECT_FALSE(port_->isOpen());
    ASSERT_TRUE(port_->open());
    EXPECT_FALSE(port_->dtr());
    t = settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
    EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t(0));
}

TEST_F(QtSerialPortTest, OpenFailuresSayWhy) {
    port_->setPortNumber(kPort + 1);
    EXPECT_FALSE(port_->open());
    EXPECT_EQ(port_->lastOpenFailure(), OpenFailure::NoSuchPort);
    QtSerialPort missing([this](int) { return path_ + "-absent"; });
    missing.setPortNumber(1);
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.lastOpenFailure(), OpenFailure::NoSuchPort);

    QtSerialPort other([this](int) { return path_; });  // another user of the device
    other.setPortNumber(1);
    ASSERT_TRUE(other.open());
    port_->setPortNumber(kPort);
    EXPECT_FALSE(port_->open());
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(port_->lastOpenFailure(), OpenFailure::InUse);
    other.close();
    EXPECT_TRUE(port_->open());
}

TEST_F(QtSerialPortTest, ExchangesBytesWithoutTheEventLoop) {
    ASSERT_TRUE(port_->open());
    EXPECT_EQ(port_->readAll(), Bytes{});
    // Every byte value passes unchanged: no line-end or control-character handling.
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = std::uint8_t(i);
    send(all);
    EXPECT_EQ(ReadWithoutEventLoop([&] { return port_->readAll(); }, all.size()), all);
    send({32, 0xA6});
    for (int i = 0; i < 2000 && port_->bytesWaiting() < 2; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(port_->bytesWaiting(), 2);
    EXPECT_EQ(port_->readAll(), (Bytes{32, 0xA6}));
    // The writer sleeps next, without the event loop: the bytes must already be on their way.
    EXPECT_TRUE(port_->write(all));
    EXPECT_EQ(ReadWithoutEventLoop([&] { return fromMaster(); }, all.size(), 200ms), all);
    EXPECT_TRUE(events_.empty());  // nothing delivered while the event loop did not run
}

// After drain() the bytes have left the port: on a pseudo-terminal they wait at the other end
// at once. A device that takes nothing ends the wait early, so the sender can let Reset run.
TEST_F(QtSerialPortTest, DrainWaitsUntilTheBytesHaveLeft) {
    EXPECT_FALSE(port_->drain());  // closed
    ASSERT_TRUE(port_->open());
    Bytes sent;
    for (int i = 0; i < 300; ++i) {
        const Bytes one{std::uint8_t(i * 7)};
        ASSERT_TRUE(port_->write(one));
        ASSERT_TRUE(port_->drain());
        sent.push_back(one[0]);
    }
    Bytes got;
    for (Bytes chunk = fromMaster(); !chunk.empty(); chunk = fromMaster())
        got.insert(got.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(got, sent);

    // Far more than the pseudo-terminal holds, with nobody reading.
    ASSERT_TRUE(port_->write(Bytes(1 << 20, 0x55)));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(port_->drain());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(events_.empty());
}

TEST_F(QtSerialPortTest, ReceiveEventsComeFromTheLoopOnlyWhileTheThresholdIsOne) {
    ASSERT_TRUE(port_->open());
    port_->setReceiveThreshold(0);
    send({10, 65});
    RunEventLoop(200ms);  // the port takes the bytes in, but tells no one
    EXPECT_TRUE(events_.empty());
    // No new data will come: the waiting bytes must be announced by themselves.
    port_->setReceiveThreshold(1);
    ASSERT_TRUE(RunEventLoop(2000ms, [&] { return !events_.empty(); }));
    EXPECT_EQ(port_->readAll(), (Bytes{10, 65}));
    // With nothing waiting, turning events on again announces nothing; new data does.
    port_->setReceiveThreshold(0);
    port_->setReceiveThreshold(1);
    RunEventLoop(100ms);
    EXPECT_EQ(events_, Events{kReceived});
    send({32});
    ASSERT_TRUE(RunEventLoop(2000ms, [&] { return events_.size() == 2; }));
    EXPECT_EQ(port_->readAll(), Bytes{32});
    RunEventLoop(100ms);
    EXPECT_EQ(events_, (Events{kReceived, kReceived}));
}

// A port whose framing-error count the test sets, as a real UART's driver would count.
class CountingPort : public QtSerialPort {
public:
    using QtSerialPort::QtSerialPort;
    long frames = 0;

protected:
    std::optional<long> framingErrorCount() const override { return frames; }
};

// The driver delivers a byte with a framing error rather than dropping it, so the error reaches
// the program at once, before that byte; the count, not the byte, says it was one.
TEST_F(QtSerialPortTest, FramingErrorComesAtOnceBeforeItsByte) {
    port_.reset();
    CountingPort port([this](int) { return path_; });
    port.setPortNumber(kPort);
    port.onEvent = [this](SerialEventKind kind) { events_.push_back(kind); };
    ASSERT_TRUE(port.open());
    EXPECT_EQ(settings().c_iflag & IGNPAR, tcflag_t(0));
    ASSERT_TRUE(port.setSettings({9600, 8, Parity::None, StopBits::Two}));
    EXPECT_EQ(settings().c_iflag & IGNPAR, tcflag_t(0));

    port.frames = 1;
    send({0});
    ASSERT_TRUE(RunEventLoop(2000ms, [&] { return events_.size() == 2; }));
    EXPECT_EQ(events_, (Events{SerialEventKind::FramingError, kReceived}));
    EXPECT_EQ(port.readAll(), Bytes{0});
    send({0});  // a good 0 is no error
    ASSERT_TRUE(RunEventLoop(2000ms, [&] { return events_.size() == 3; }));
    RunEventLoop(50ms);
    EXPECT_EQ(events_, (Events{SerialEventKind::FramingError, kReceived, kReceived}));
}

// The device goes away as the event loop finds it, as a read finds it, or hung up as an unplugged
// adapter leaves its terminal (reads then end without an error code).
TEST_F(QtSerialPortTest, LostDeviceClosesThePortQuietly) {
    for (const std::string how : {"loop", "read", "hang-up"}) {
        SCOPED_TRACE(how);
        TearDown();
        SetUp();
        losses_ = 0;
        ASSERT_TRUE(port_->open());
        if (how == "hang-up") {
            if (::ioctl(slave_, TIOCVHANGUP) != 0) continue;  // needs privilege
        } else {
            closeMaster();
        }
        if (how == "read") {
            EXPECT_EQ(port_->readAll(), Bytes{});
            EXPECT_FALSE(port_->isOpen());
        }
        expectLossHandledQuietly();
    }
}

}  // namespace
}  // namespace brindle
