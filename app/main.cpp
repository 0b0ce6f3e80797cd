#include <QApplication>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>

#include "app/frmMain.h"
#include "link/ProgramInfo.h"
#include "platform/AppDir.h"
#include "platform/FileIo.h"
#include "platform/SystemPortCatalogue.h"
#include "platform/qt/QtDeviceWatch.h"
#include "platform/qt/QtSerialPort.h"
#include "platform/qt/QtSystem.h"
#include "platform/qt/QtTermination.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(brindle::kProgramTitle);
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName("brindle");

    const std::filesystem::path programDir = brindle::ChooseProgramDir(
        QCoreApplication::applicationDirPath().toStdString(),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString());

    // An installed copy finds its companion files in the system's data directories.
    std::vector<std::filesystem::path> dataDirectories;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::AppDataLocation))
        dataDirectories.emplace_back(dir.toStdString());

    brindle::SystemPortCatalogue catalogue(programDir);
    brindle::QtSerialPort port([&](int number) { return catalogue.deviceName(number); });
    brindle::QtClock clock;
    brindle::QtEventPump pump;
    brindle::QtMessageBoxes messages;
    brindle::QtFileDialogs dialogs;
    brindle::DiskFiles files;

    brindle::frmMain window({port, catalogue, clock, pump, messages, dialogs, files, programDir,
                             [&] { catalogue.refresh(); },
                             [&] {
                                 // Whatever runs is abandoned: the settings are saved already.
                                 port.close();
                                 std::quick_exit(0);
                             },
                             dataDirectories});
    // A transfer abandoned by Exit leaves no half-received file behind.
    std::at_quick_exit(brindle::RemoveAbandonedStagingFiles);
    brindle::HandleTerminationSignals([&] { window.ExitProgram(); });
    window.Load();
    // An adapter plugged in again, or a port link pointed at it, is taken again without the user.
    brindle::QtDeviceWatch devices(
        {"/dev", "/dev/serial", "/dev/serial/by-id", programDir / "ports"});
    devices.onChange = [&] { window.DevicesChanged(); };
    return QApplication::exec();
}
