#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>

#include <fstream>
#include <functional>
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

TEST_F(frmMainTest, EveryExitPathSavesWhatIsShownNowAndEnds) {
    const std::vector<std::pair<const char*, std::function<void(frmMain&)>>> paths{
        {"button", [](frmMain& w) { w.cmdExit->click(); }},
        {"menu", [](frmMain& w) { w.FileMenu_Exit->trigger(); }},
        {"closing the window", [](frmMain& w) { w.close(); }},
    };
    int runs = 0;
    for (const auto& [path, exit] : paths) {
        SCOPED_TRACE(path);
        // Each start reads what the exit before it wrote.
        frmMain& w = start();
        EXPECT_EQ(w.optionsWindow->isVisible(), runs % 2 == 1);
        if (runs % 2 == 0) {
            w.OptionsMenu_FilePath_Click();
            w.optionsWindow->cboFormat->setCurrentText("P");
        } else {
            w.optionsWindow->close();
            w.optionsWindow->cboFormat->setCurrentText("P81");
        }
        EXPECT_THROW(exit(w), ProgramEnded);
        EXPECT_EQ(ended, ++runs);
        EXPECT_EQ(readText(settingsFile()),
                  programDir.text() + "\r\n 0 \r\n" + (runs % 2 == 1 ? "True" : "False") +
                      "\r\nFalse\r\n" + (runs % 2 == 1 ? "P" : "P81") + "\r\nO\r\nCOM1\r\n");
    }
}

TEST_F(frmMainTest, PortMessagesComeAfterTheWindowsAreUp) {
    peer.ports = {{1, OpenFailure::InUse}};
    writeText(settingsFile(), "\r\n0\r\nTrue\r\nTrue\r\n");
    struct Seen {
        bool mainShown, optionsShown, printoutShown;
        QString caption;
    };
    std::vector<Seen> seen;
    messages.onShow = [&](const Message&) {
        seen.push_back({window->isVisible(), window->optionsWindow->isVisible(),
                        window->printoutWindow != nullptr && window->printoutWindow->isVisible(),
                        window->windowTitle()});
    };
    start();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "There are no free serial ports available");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].mainShown);
    EXPECT_TRUE(seen[0].optionsShown);
    EXPECT_TRUE(seen[0].printoutShown);
    EXPECT_EQ(seen[0].caption, "Brindle V1.06");
    EXPECT_FALSE(peer.isOpen());
    EXPECT_TRUE(peer.dtr());  // idle all the same, for a port chosen later
}

TEST_F(frmMainTest, OpeningThePortListProbesAgainAndKeepsTheChoice) {
    frmMain& w = start();
    peer.ports[3] = OpenFailure::InUse;
    peer.ports[12] = OpenFailure::None;
    const int opens = peer.opens();
    w.cboPort->showPopup();
    w.cboPort->hidePopup();
    QStringList listed;
    for (int i = 0; i < w.cboPort->count(); ++i) listed << w.cboPort->itemText(i);
    EXPECT_EQ(listed, (QStringList{"COM1", "COM12"}));
    EXPECT_EQ(w.cboPort->itemData(1, Qt::ToolTipRole).toString(), "/dev/sim12");
    EXPECT_EQ(w.cboPort->currentText(), "COM1");
    EXPECT_TRUE(peer.isOpen());
    EXPECT_EQ(peer.portNumber(), 1);
    EXPECT_GT(peer.opens(), opens);

    // Choosing an entry opens its port, COM12 as port 12.
    w.cboPort->activated(1);
    EXPECT_EQ(peer.portNumber(), 12);
    EXPECT_TRUE(peer.isOpen());
    EXPECT_EQ(w.cboPort->currentText(), "COM12");
    EXPECT_TRUE(messages.shown.empty());
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

TEST_F(frmMainTest, ReopeningThePortMidTransferKeepsTheRunGoing) {
    frmMain& w = start();
    rig::RecordingHandlers handlers;
    std::vector<bool> seen;
    handlers.during = [&](const std::string& name) {
        if (name != "ReceiveZX81") return;
        peer.arrive({10, 0xA6});  // a request that may not start inside this one
        w.cboPort->showPopup();
        w.cboPort->hidePopup();
        w.cboPort->activated(1);  // COM3
        w.link.ProcessEvents();
        seen = {peer.isOpen(), peer.portNumber() == 3, peer.receiveThreshold() == 0,
                w.link.state.LinkBusy == 2};
    };
    w.link.setHandlers(&handlers);
    pump.everyPass([&] { peer.deliverPendingEvent(); });
    peer.arrive({32, 0xA6});
    peer.raise(SerialEventKind::BytesReceived);
    EXPECT_EQ(seen, (std::vector<bool>{true, true, true, true}));
    ASSERT_EQ(handlers.calls.size(), 2u);  // the SAVE and the refresh after it
    EXPECT_EQ(handlers.calls[0].name, "ReceiveZX81");
    EXPECT_EQ(w.cboPort->currentText(), "COM3");
    EXPECT_TRUE(peer.dtr());
    EXPECT_EQ(peer.receiveThreshold(), 1);
    EXPECT_EQ(w.link.state.LinkBusy, 0);
    EXPECT_TRUE(messages.shown.empty());
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

    // A program whose end comes before its start leaves the bar a range, never the endlessly
    // animated busy indicator that a range of 0 to 0 would show.
    for (int max : {0, -16392}) {
        d.progressMax = max;
        d.progressValue = 0;
        w.present(d);
        EXPECT_GT(w.ProgressBar1->maximum(), w.ProgressBar1->minimum()) << max;
        w.present(TransferDisplay{});
    }
}

TEST_F(frmMainTest, PrinterStatusIsPaintedThoughNoEventsRun) {
    frmMain& w = start();
    // Painting begins once the window system has put the window on the screen.
    for (int i = 0; i < 100 && !w.windowHandle()->isExposed(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_TRUE(w.windowHandle()->isExposed());
    QCoreApplication::processEvents();
    QStringList painted;
    struct PaintSpy : QObject {
        QStringList* painted;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) *painted << static_cast<QLabel*>(watched)->text();
            return false;
        }
    } spy;
    spy.painted = &painted;
    w.lblStatus->installEventFilter(&spy);
    rig::RecordingHandlers handlers;
    QStringList paintedDuring;
    handlers.during = [&](const std::string& name) {
        if (name == "Printing") paintedDuring = painted;
    };
    w.link.setHandlers(&handlers);
    peer.arrive({27, 0x31});
    peer.raise(SerialEventKind::BytesReceived);
    w.lblStatus->removeEventFilter(&spy);
    EXPECT_TRUE(paintedDuring.contains("Printing...")) << paintedDuring.join(",").toStdString();
    EXPECT_EQ(w.lblStatus->text(), "");
}

TEST_F(frmMainTest, ControlsAndMenusCarryTheirTextsAndPlaces) {
    frmMain& w = start();
    // Container, fixed content (a caption or text), then left, top, width and height in twips,
    // 15 to a pixel. Text boxes are read-only.
    struct Control {
        const char* name;
        const char* container;
        const char* content;
        int left, top, width, height;
    };
    const Control controls[] = {
        {"Frame1", "client", "Program Details", 120, 0, 3855, 2295},
        {"Label1", "Frame1", "File Name", 120, 360, 975, 255},
        {"txtFilename", "Frame1", nullptr, 1440, 360, 2295, 285},
        {"Label2_2", "Frame1", "File Path", 120, 720, 1095, 255},
        {"txtFilepath", "Frame1", nullptr, 1440, 720, 2295, 285},
        {"Label2_0", "Frame1", "File Length", 120, 1080, 1095, 255},
        {"txtFileLength", "Frame1", nullptr, 1440, 1080, 855, 285},
        {"Label2_1", "Frame1", "Program Length", 120, 1440, 1215, 255},
        {"txtProgramLength", "Frame1", nullptr, 1440, 1440, 855, 285},
        {"Label3", "Frame1", "Address Range", 120, 1800, 1215, 255},
        {"txtStartAddr", "Frame1", nullptr, 1440, 1800, 855, 285},
        {"Label5", "Frame1", "-", 2280, 1800, 255, 375},
        {"txtEndAddr", "Frame1", nullptr, 2520, 1800, 855, 285},
        {"Frame2", "client", "Program Info", 120, 2400, 3855, 1935},
        {"txtProgramInfo", "Frame2", nullptr, 120, 240, 3615, 1575},
        {"ProgressBar1", "client", nullptr, 120, 4440, 3855, 255},
        {"cboPort", "client", nullptr, 4080, 120, 975, 315},
        {"lblStatus", "client", "", 4080, 960, 975, 255},
        {"cmdClear", "client", "R&eset", 4080, 1920, 975, 375},
        {"cmdExit", "client", "E&xit", 4080, 4320, 975, 375},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        const QWidget* control = w.findChild<QWidget*>(c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), c.container);
        EXPECT_EQ(control->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
        if (c.content != nullptr) {
            const QVariant title = control->property("title");
            EXPECT_EQ((title.isValid() ? title : control->property("text")).toString(), c.content);
        }
        if (QString(c.name).startsWith("txt")) {
            EXPECT_TRUE(control->property("readOnly").toBool());
        }
    }
    EXPECT_EQ(w.FileMenu->title(), "&File");
    EXPECT_EQ(w.FileMenu_Exit->text(), "E&xit");
    EXPECT_EQ(w.OptionsMenu->title(), "&View");
    EXPECT_EQ(w.OptionsMenu_FilePath->text(), "File &Path");
    EXPECT_EQ(w.OptionsMenu_Printout->text(), "Printer &Output");
    EXPECT_EQ(w.HelpMenu->title(), "&Help");
    EXPECT_EQ(w.HelpMenu_About->text(), "&About Brindle...");
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
