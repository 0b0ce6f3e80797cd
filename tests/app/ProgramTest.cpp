// The real program, started as a user would, on a pseudo-terminal pinned as its serial port.
#include <gtest/gtest.h>

#include <QProcess>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"
#include "tests/rig/Session.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

using rig::FileBytes;
using rig::WaitFor;

using namespace std::chrono_literals;

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        // The program must hold the device only when it opens it itself.
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        fcntl(slave_, F_SETFD, FD_CLOEXEC);
        termios raw{};  // raw from the start, before the program gets to set it
        tcgetattr(master_, &raw);
        cfmakeraw(&raw);
        tcsetattr(master_, TCSANOW, &raw);
        device_ = ttyname(slave_);
        std::filesystem::copy_file(BRINDLE_PROGRAM_PATH, dir_.path() / "Brindle");
        std::filesystem::create_directory(dir_.path() / "ports");
        std::filesystem::create_symlink(device_, dir_.path() / "ports" / "COM5");
    }
    void TearDown() override {
        program_.kill();  // if still running
        program_.waitForFinished(5000);
        close(master_);
        close(slave_);
    }

    bool holdsDevice() const {
        const auto fds =
            std::filesystem::path("/proc") / std::to_string(program_.processId()) / "fd";
        std::error_code ec;
        for (const auto& fd : std::filesystem::directory_iterator(fds, ec)) {
            if (std::filesystem::read_symlink(fd.path(), ec) == device_) return true;
        }
        return false;
    }

    rig::TempDir dir_;
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    QProcess program_;
};

TEST_F(ProgramTest, StoresASaveFromThePinnedPortAndNamesThePortInTheSettingsAtTheEnd) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program_.setProcessEnvironment(env);
    program_.setWorkingDirectory(QString::fromStdString(dir_.path().string()));
    program_.start(QString::fromStdString((dir_.path() / "Brindle").string()), {});
    ASSERT_TRUE(program_.waitForStarted(10000));
    ASSERT_TRUE(WaitFor([&] { return holdsDevice(); })) << "the port was never opened";

    const Bytes name = TextToZX81("REAL");
    const Bytes image = rig::Zx81Image(200);
    Bytes request{32};
    request.insert(request.end(), name.begin(), name.end());
    request.insert(request.end(), image.begin(), image.end());
    ASSERT_EQ(write(master_, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes expected = name;
    expected.insert(expected.end(), image.begin(), image.end());
    const auto file = dir_.path() / "REAL.P81";
    WaitFor([&] { return FileBytes(file) == expected; });
    EXPECT_EQ(FileBytes(file), expected);

    ::kill(static_cast<pid_t>(program_.processId()), SIGTERM);
    ASSERT_TRUE(program_.waitForFinished(10000));
    EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program_.exitCode(), 0);
    const std::string settings = dir_.text() + "\r\n 0 \r\nFalse\r\nFalse\r\nP81\r\nO\r\nCOM5\r\n";
    EXPECT_EQ(FileBytes(dir_.path() / "Brindle.ini"), Bytes(settings.begin(), settings.end()));
}

}  // namespace
}  // namespace brindle
