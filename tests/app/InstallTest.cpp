// The installed program: `cmake --install` into a fresh prefix puts the program, its listing
// routine, the menu entry and the icon theme in place, and the installed copy runs from there.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "platform/qt/ProgramIcon.h"
#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"
#include "tests/rig/Session.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

using rig::FileBytes;
using rig::WaitFor;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        QProcess install;
        install.start("cmake", {"--install", BRINDLE_BUILD_DIR, "--prefix",
                                QString::fromStdString(prefix_.path().string())});
        ASSERT_TRUE(install.waitForFinished(60000));
        ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    }

    fs::path installed(const fs::path& relative) const { return prefix_.path() / relative; }

    rig::TempDir prefix_;
    rig::TempDir home_;
};

TEST_F(InstallTest, PutsTheProgramItsRoutineAndItsMenuEntryInTheUsualPlaces) {
    EXPECT_EQ(fs::status(installed("bin/Brindle")).permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec);
    EXPECT_EQ(FileBytes(installed("share/Brindle/Brindle.bin")),
              FileBytes(fs::path(BRINDLE_ROUTINE_PATH)));
    // The menu entry starts the installed program under its icon's name.
    const Bytes entry = FileBytes(installed("share/applications/brindle.desktop"));
    const std::string text(entry.begin(), entry.end());
    EXPECT_NE(text.find("\nExec=Brindle\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=brindle\n"), std::string::npos) << text;
    // Every size of the theme is the picture the windows show.
    for (const int size : kProgramIconSizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const QImage icon(
            QString::fromStdString(installed("share/icons/hicolor/" + name + "/apps/brindle.png")));
        EXPECT_EQ(icon.convertToFormat(QImage::Format_ARGB32_Premultiplied), ProgramIconImage(size))
            << name;
    }
}

// The installed copy started as from the menu, on a pseudo-terminal pinned as its port, stores a
// SAVE.
TEST_F(InstallTest, InstalledProgramRunsAndStoresASave) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    // The prefix's bin folder is writable here, so it is the program's own folder.
    fs::create_directory(installed("bin/ports"));
    fs::create_symlink(ttyname(slave), installed("bin/ports/COM4"));

    QProcess program;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(home_.path().string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((home_.path() / "data").string()));
    env.insert("XDG_DATA_DIRS", QString::fromStdString(installed("share").string()));
    program.setProcessEnvironment(env);
    program.start(QString::fromStdString(installed("bin/Brindle").string()), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    const Bytes name = TextToZX81("INSTALLED");
    const Bytes image = rig::Zx81Image(120);
    Bytes request{32};
    request.insert(request.end(), name.begin(), name.end());
    request.insert(request.end(), image.begin(), image.end());
    // Sent once the program holds the port: before, the bytes would wait in the terminal.
    const auto fds = fs::path("/proc") / std::to_string(program.processId()) / "fd";
    const std::string device = ttyname(slave);
    EXPECT_TRUE(WaitFor([&] {
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator(fds, ec))
            if (fs::read_symlink(fd.path(), ec) == device) return true;
        return false;
    }));
    ASSERT_EQ(write(master, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes expected = name;
    expected.insert(expected.end(), image.begin(), image.end());
    const fs::path file = installed("bin/INSTALLED.P81");
    WaitFor([&] { return FileBytes(file) == expected; });
    EXPECT_EQ(FileBytes(file), expected);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    EXPECT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    close(master);
    close(slave);
}

}  // namespace
}  // namespace brindle
