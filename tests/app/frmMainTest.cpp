#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <fstream>
#include <sstream>

#include "app/frmMain.h"
#include "options/frmOptions.h"
#include "platform/FileIo.h"
#include "printer/frmPrintout.h"
#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

struct ProgramEnded {};

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class frmMainTest : public ::testing::Test {
protected:
    frmMainTest() {
        peer.ports = {{1, OpenFailure::None}, {2, OpenFailure::InUse}, {3, OpenFailure::None}};
    }

    frmMain& start() {
        window = std::make_unique<frmMain>(
            AppPlatform{peer, clock, pump, messages, dialogs, programDir.path(), nullptr, [this] {
                            ++ended;
                            throw ProgramEnded{};
                        }});
        window->Load();
        return *window;
    }

    std::string settingsFile() const { return (programDir.path() / "Brindle.ini").string(); }

    rig::VirtualClock clock;
    rig::SimPeer peer{clock};
    rig::ScriptedPump pump;
    rig::FakeMessages messages;
    rig::FakeDialogs dialogs;
    rig::TempDir programDir;
    rig::TempDir transfer;
    std::unique_ptr<frmMain> window;
    int ended = 0;
};

TEST_F(frmMainTest, FirstRunStartsWithDefaultsOnTheFirstFreePort) {
    frmMain& w = start();
    EXPECT_EQ(w.windowTitle(), "Brindle V1.06");
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.optionsWindow->isVisible());
    EXPECT_FALSE(w.printoutWindow->isVisible());
    EXPECT_EQ(w.options.TransferDirectory, programDir.text());
    EXPECT_EQ(w.options.PcFilePathMode, 0);
    EXPECT_EQ(w.options.Zx81Format, "P81");
    EXPECT_EQ(w.options.Zx80Format, "O");
    EXPECT_EQ(w.cboPort->count(), 2);
    EXPECT_EQ(w.cboPort->currentText(), "COM1");
    EXPECT_EQ(w.cboPort->itemData(1, Qt::ToolTipRole).toString(), "/dev/sim3");
    EXPECT_TRUE(peer.isOpen());
    EXPECT_EQ(peer.portNumber(), 1);
    EXPECT_EQ(peer.settings(), "9600,n,8,2");
    EXPECT_TRUE(peer.dtr());
    EXPECT_EQ(w.link.state.LinkBusy, 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(frmMainTest, SavedSettingsAreRestoredAndWrittenBackAtExit) {
    const std::string saved = transfer.text() + "\r\n 1 \r\nTrue\r\nFalse\r\nP\r\nO\r\nCOM3\r\n";
    writeText(settingsFile(), saved);
    frmMain& w = start();
    EXPECT_TRUE(w.optionsWindow->isVisible());
    EXPECT_FALSE(w.printoutWindow->isVisible());
    EXPECT_EQ(w.options.TransferDirectory, transfer.text());
    EXPECT_EQ(w.options.PcFilePathMode, 1);
    EXPECT_EQ(w.options.Zx81Format, "P");
    EXPECT_EQ(w.cboPort->currentText(), "COM3");
    EXPECT_EQ(peer.portNumber(), 3);

    EXPECT_THROW(w.cmdExit->click(), ProgramEnded);
    EXPECT_EQ(readText(settingsFile()), saved);
}

TEST_F(frmMainTest, BadSettingsStartQuietlyWithWhatCanBeUsed) {
    writeText(settingsFile(), "/no/such/dir\r\nzz\r\nnonsense\r\n0\r\np81\r\n\r\nCOM2\r\n");
    frmMain& w = start();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(w.optionsWindow->isVisible());  // an unreadable boolean reads as true
    EXPECT_EQ(w.options.TransferDirectory, "/no/such/dir/");
    EXPECT_EQ(w.options.Zx81Format, "P81");
    EXPECT_EQ(w.cboPort->currentText(), "COM1");  // COM2 is busy
    EXPECT_TRUE(peer.isOpen());
}

TEST_F(frmMainTest, ExitDuringATransferSavesAndEndsAtOnce) {
    frmMain& w = start();
    w.options.Zx81Format = "P";
    rig::RecordingHandlers handlers;
    handlers.during = [&](const std::string&) {
        for (;;) w.link.ProcessEvents();  // a transfer that never ends by itself
    };
    w.link.setHandlers(&handlers);
    peer.onEvent = [&](SerialEventKind kind) { w.link.LinkDispatcher(kind); };
    pump.when([&] { return pump.calls() > 50; }, [&] { w.FileMenu_Exit->trigger(); });
    peer.send({32, 0xA6});
    EXPECT_THROW(
        {
            while (true) {
                clock.advanceNs(100'000);
                peer.deliverPendingEvent();
            }
        },
        ProgramEnded);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(readText(settingsFile()),
              programDir.text() + "\r\n 0 \r\nFalse\r\nFalse\r\nP\r\nO\r\nCOM1\r\n");
}

TEST_F(frmMainTest, ResetButtonAbortsTheRunningTransfer) {
    frmMain& w = start();
    rig::RecordingHandlers handlers;
    bool sawAbort = false;
    handlers.during = [&](const std::string& name) {
        if (name != "ReceiveZX81") return;
        w.cmdClear->click();
        w.cmdClear->click();
        sawAbort = w.link.state.AbortFlag && !peer.dtr();
    };
    w.link.setHandlers(&handlers);
    peer.arrive({32, 0xA6});
    peer.raise(SerialEventKind::BytesReceived);
    EXPECT_TRUE(sawAbort);
    EXPECT_FALSE(w.link.state.AbortFlag);
    EXPECT_TRUE(peer.dtr());
}

TEST_F(frmMainTest, ShowsWhatTheLinkPresents) {
    frmMain& w = start();
    TransferDisplay d;
    d.filename = "GAME";
    d.filepath = "/zx/";
    d.fileLength = "-";
    d.programLength = "300";
    d.startAddr = "16393";
    d.endAddr = "16692";
    d.programInfo = "Filename: A6 \r\n";
    d.status = "Receiving...";
    d.progressMax = 300;
    d.progressValue = 12;
    w.present(d);
    d.programInfo += "16393=00\r\n";
    w.present(d);
    EXPECT_EQ(w.txtFilename->text(), "GAME");
    EXPECT_EQ(w.txtFilepath->text(), "/zx/");
    EXPECT_EQ(w.txtFileLength->text(), "-");
    EXPECT_EQ(w.txtProgramLength->text(), "300");
    EXPECT_EQ(w.txtStartAddr->text(), "16393");
    EXPECT_EQ(w.txtEndAddr->text(), "16692");
    EXPECT_EQ(w.txtProgramInfo->toPlainText(), "Filename: A6 \n16393=00\n");
    EXPECT_EQ(w.lblStatus->text(), "Receiving...");
    EXPECT_EQ(w.ProgressBar1->maximum(), 300);
    EXPECT_EQ(w.ProgressBar1->value(), 12);

    w.present(TransferDisplay{});
    EXPECT_EQ(w.txtProgramInfo->toPlainText(), "");
    EXPECT_EQ(w.ProgressBar1->maximum(), 13);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
}

TEST_F(frmMainTest, ControlsAndMenusCarryTheirTexts) {
    frmMain& w = start();
    EXPECT_EQ(w.Frame1->title(), "Program Details");
    EXPECT_EQ(w.Frame2->title(), "Program Info");
    EXPECT_EQ(w.Label1->text(), "File Name");
    EXPECT_EQ(w.Label2[2]->text(), "File Path");
    EXPECT_EQ(w.Label2[0]->text(), "File Length");
    EXPECT_EQ(w.Label2[1]->text(), "Program Length");
    EXPECT_EQ(w.Label3->text(), "Address Range");
    EXPECT_EQ(w.cmdClear->text(), "R&eset");
    EXPECT_EQ(w.cmdExit->text(), "E&xit");
    EXPECT_EQ(w.FileMenu->title(), "&File");
    EXPECT_EQ(w.FileMenu_Exit->text(), "E&xit");
    EXPECT_EQ(w.OptionsMenu->title(), "&View");
    EXPECT_EQ(w.OptionsMenu_FilePath->text(), "File &Path");
    EXPECT_EQ(w.OptionsMenu_Printout->text(), "Printer &Output");
    EXPECT_EQ(w.HelpMenu->title(), "&Help");
    EXPECT_EQ(w.HelpMenu_About->text(), "&About Brindle...");
    EXPECT_TRUE(w.txtFilename->isReadOnly());
    EXPECT_TRUE(w.txtProgramInfo->isReadOnly());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // the user cannot resize it
    EXPECT_EQ(w.centralWidget()->size(), QSize(342, 320));
}

TEST_F(frmMainTest, PrinterWindowOpensAgainstTheLeftSide) {
    writeText(settingsFile(), "\r\n0\r\nFalse\r\nTrue\r\n");
    frmMain& w = start();
    EXPECT_TRUE(w.printoutWindow->isVisible());
    EXPECT_FALSE(w.optionsWindow->isVisible());
    EXPECT_EQ(w.printoutWindow->windowTitle(), "Brindle - Printer Output");
    EXPECT_EQ(w.printoutWindow->frameGeometry().left(),
              std::max(0, w.frameGeometry().left() - w.printoutWindow->frameGeometry().width()));
    w.printoutWindow->close();
    EXPECT_FALSE(w.printoutWindow->isVisible());
}

TEST_F(frmMainTest, SaveThroughTheWindowShowsItsDetailsAndListsTheNewFile) {
    writeText(settingsFile(), transfer.text() + "\r\n0\r\nTrue\r\nFalse\r\nP81\r\n");
    frmMain& w = start();
    ASSERT_TRUE(w.optionsWindow->isVisible());
    ASSERT_EQ(w.optionsWindow->File1->count(), 0);
    peer.onEvent = [&](SerialEventKind kind) { w.link.LinkDispatcher(kind); };
    pump.everyPass([&] { peer.deliverPendingEvent(); });

    const Bytes name = TextToZX81("HELLO");
    const Bytes image = rig::Zx81Image(40);
    Bytes request{32};
    request.insert(request.end(), name.begin(), name.end());
    request.insert(request.end(), image.begin(), image.end());
    peer.send(request);
    for (int i = 0; i < 200'000 && (peer.pendingBytes() > 0 || w.link.state.LinkBusy != 0); ++i) {
        clock.advanceNs(100'000);
        peer.deliverPendingEvent();
    }

    Bytes expected = name;
    expected.insert(expected.end(), image.begin(), image.end());
    EXPECT_EQ(ReadWholeFile(transfer.path() / "HELLO.P81"), expected);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(w.txtFilename->text(), "HELLO");
    EXPECT_EQ(w.txtFilepath->text(), QString::fromStdString(transfer.text()));
    EXPECT_EQ(w.txtFileLength->text(), "-");
    EXPECT_EQ(w.txtProgramLength->text(), QString::number(image.size()));
    EXPECT_EQ(w.txtStartAddr->text(), "16393");
    EXPECT_EQ(w.txtEndAddr->text(), QString::number(16393 + image.size() - 1));
    const QString info = w.txtProgramInfo->toPlainText();
    EXPECT_TRUE(info.startsWith("Filename: 2D 2A 31 31 B4 \n16393=00\n"));
    EXPECT_TRUE(info.endsWith("16508=73\n"));
    EXPECT_EQ(info.count('\n'), 117);
    EXPECT_EQ(w.lblStatus->text(), "");
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    EXPECT_TRUE(peer.dtr());
    ASSERT_EQ(w.optionsWindow->File1->count(), 1);
    EXPECT_EQ(w.optionsWindow->File1->item(0)->text(), "HELLO.P81");
}

}  // namespace
}  // namespace brindle
