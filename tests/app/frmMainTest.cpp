#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QWindow>

#include <functional>

#include "app/frmMain.h"
#include "options/frmAbout.h"
#include "options/frmOptions.h"
#include "platform/FileIo.h"
#include "printer/frmPrintout.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

struct ProgramEnded {};

// What the window shows, read back from its controls.
TransferDisplay Shown(const frmMain& w) {
    auto text = [](const QLineEdit* box) { return box->text().toStdString(); };
    return {text(w.txtFilename),
            text(w.txtFilepath),
            text(w.txtFileLength),
            text(w.txtProgramLength),
            text(w.txtStartAddr),
            text(w.txtEndAddr),
            w.txtProgramInfo->toPlainText().replace("\n", "\r\n").toStdString(),
            w.lblStatus->text().toStdString(),
            w.ProgressBar1->maximum(),
            w.ProgressBar1->value()};
}

class frmMainTest : public ::testing::Test {
protected:
    frmMainTest() {
        peer.ports = {{1, OpenFailure::None}, {2, OpenFailure::InUse}, {3, OpenFailure::None}};
    }

    frmMain& start() {
        window = std::make_unique<frmMain>(AppPlatform{peer, peer, clock, pump, messages, dialogs,
                                                       files, programDir.path(), nullptr,
                                                       [] { throw ProgramEnded{}; }});
        window->Load();
        return *window;
    }

    std::filesystem::path settingsFile() const { return programDir.path() / "Brindle.ini"; }
    void writeSettings(const std::string& text) {
        rig::WriteFile(settingsFile(), Bytes(text.begin(), text.end()));
    }
    std::string savedSettings() const {
        const Bytes bytes = rig::FileBytes(settingsFile());
        return std::string(bytes.begin(), bytes.end());
    }

    rig::VirtualClock clock;
    rig::SimPeer peer{clock};
    rig::ScriptedPump pump;
    rig::FakeMessages messages;
    rig::FakeDialogs dialogs;
    DiskFiles files;
    rig::TempDir programDir;
    rig::TempDir transfer;
    std::unique_ptr<frmMain> window;
};

TEST_F(frmMainTest, StartUpUsesWhatTheSettingsAllowAndEveryExitSavesWhatIsShown) {
    const std::string keep = transfer.text() + "\r\n 1 \r\nTrue\r\nTrue\r\nP\r\nO\r\nCOM3\r\n";
    // The settings file before the start (none when empty), what the user does to leave the
    // program, and the settings file written then.
    struct Case {
        std::string before;
        std::function<void(frmMain&)> leave;
        std::string after;
    };
    const Case cases[] = {
        {"",
         [](frmMain& w) {
             w.OptionsMenu_FilePath_Click();
             w.optionsWindow->cboFormat->setCurrentText("P");
             w.cmdExit->click();
         },
         programDir.text() + "\r\n 0 \r\nTrue\r\nFalse\r\nP\r\nO\r\nCOM1\r\n"},
        {keep,
         [](frmMain& w) {
             w.optionsWindow->close();
             w.FileMenu_Exit->trigger();
         },
         transfer.text() + "\r\n 1 \r\nFalse\r\nTrue\r\nP\r\nO\r\nCOM3\r\n"},
        // An unreadable boolean reads as true; COM2 is busy.
        {"/no/such/dir\r\nzz\r\nnonsense\r\n0\r\np81\r\n\r\nCOM2\r\n",
         [](frmMain& w) { w.close(); },
         "/no/such/dir/\r\n 0 \r\nTrue\r\nFalse\r\nP81\r\nO\r\nCOM1\r\n"},
    };
    for (const auto& [before, leave, after] : cases) {
        SCOPED_TRACE(before);
        std::filesystem::remove(settingsFile());
        if (!before.empty()) writeSettings(before);
        frmMain& w = start();
        EXPECT_EQ(w.windowTitle(), "Brindle V1.06");
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_TRUE(peer.isOpen() && peer.dtr());
        EXPECT_EQ(w.optionsWindow->isVisible(), !before.empty());
        if (w.printoutWindow->isVisible()) {  // against the main window's left side
            const QRect printout = w.printoutWindow->frameGeometry();
            EXPECT_EQ(printout.topLeft(),
                      QPoint(std::max(0, w.frameGeometry().left() - printout.width()),
                             w.frameGeometry().top()));
        }
        EXPECT_THROW(leave(w), ProgramEnded);
        EXPECT_EQ(savedSettings(), after);
    }
}

TEST_F(frmMainTest, PortListIsProbedAtStartAfterTheWindowsAndAgainAtEveryOpening) {
    peer.ports = {{1, OpenFailure::InUse}};
    writeSettings("\r\n0\r\nTrue\r\nTrue\r\n");
    std::vector<bool> windowsUp;
    messages.onShow = [&](const Message&) {
        windowsUp.push_back(window->isVisible() && window->optionsWindow->isVisible() &&
                            window->printoutWindow != nullptr &&
                            window->printoutWindow->isVisible() &&
                            window->windowTitle() == "Brindle V1.06");
    };
    frmMain& w = start();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "There are no free serial ports available");
    EXPECT_EQ(windowsUp, std::vector<bool>{true});
    EXPECT_FALSE(peer.isOpen());
    EXPECT_TRUE(peer.dtr());  // idle all the same, for a port chosen later

    peer.ports = {{1, OpenFailure::None}, {12, OpenFailure::None}};
    w.cboPort->showPopup();
    w.cboPort->hidePopup();
    EXPECT_EQ(w.cboPort->currentText(), "");  // still nothing chosen
    EXPECT_EQ(w.cboPort->itemData(1, Qt::ToolTipRole).toString(), "/dev/sim12");
    w.cboPort->activated(1);
    EXPECT_EQ(w.cboPort->currentText(), "COM12");
    EXPECT_TRUE(peer.isOpen());
    EXPECT_EQ(peer.portNumber(), 12);
    EXPECT_EQ(messages.shown.size(), 1u);
}

// An adapter pulled out: the list shows no port and the status says why; the lost port stays the
// one kept for the next start, and opening the list once it is back takes it again.
TEST_F(frmMainTest, LostPortIsShownAndTakenAgainWhenBack) {
    frmMain& w = start();
    w.cboPort->activated(1);  // COM3
    peer.lose();
    EXPECT_EQ(w.cboPort->currentIndex(), -1);
    EXPECT_EQ(w.lblStatus->text(), "COM3 lost: plug the adapter back in");
    EXPECT_EQ(w.CurrentSettings().Port, "COM3");

    peer.replug();
    w.cboPort->showPopup();
    w.cboPort->hidePopup();
    EXPECT_EQ(w.cboPort->currentText(), "COM3");
    EXPECT_TRUE(peer.isOpen());
    EXPECT_EQ(peer.portNumber(), 3);
    EXPECT_EQ(w.lblStatus->text(), "");
}

TEST_F(frmMainTest, ResetAsksTheTransferToStopAndExitEndsItAtOnce) {
    frmMain& w = start();
    w.options.Zx81Format = "P";
    rig::RecordingRequests handlers;
    handlers.during = [&](std::uint8_t) {
        for (int i = 0; i < 1000; ++i) w.link.ProcessEvents();  // a transfer that does not end
    };
    handlers.wrap(w.link.requests);
    bool aborted = false;
    pump.when([&] { return pump.calls() > 10; },
              [&] {
                  w.cmdClear->click();
                  aborted = w.link.state.AbortFlag && !peer.dtr();
              });
    pump.when([&] { return pump.calls() > 50; }, [&] { w.FileMenu_Exit->trigger(); });
    peer.send({32, 0xA6});
    EXPECT_THROW(
        for (int i = 0; i < 1000; ++i) {
            clock.advanceNs(100'000);
            peer.deliverPendingEvent();
        },
        ProgramEnded);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(savedSettings(),
              programDir.text() + "\r\n 0 \r\nFalse\r\nFalse\r\nP\r\nO\r\nCOM1\r\n");
}

TEST_F(frmMainTest, ReopeningThePortMidTransferKeepsTheRunGoing) {
    frmMain& w = start();
    rig::RecordingRequests handlers;
    handlers.during = [&](std::uint8_t code) {
        if (code != kCodeZx81Save) return;
        peer.arrive({10, 0xA6});  // a request that may not start inside this one
        w.cboPort->showPopup();
        w.cboPort->hidePopup();
        w.cboPort->activated(1);  // COM3
        w.link.ProcessEvents();
        EXPECT_TRUE(peer.isOpen());
        EXPECT_EQ(peer.receiveThreshold(), 0);
        EXPECT_EQ(w.link.state.LinkBusy, 2);
    };
    handlers.wrap(w.link.requests);
    pump.everyPass([&] { peer.deliverPendingEvent(); });
    peer.arrive({32, 0xA6});
    peer.raise(SerialEventKind::BytesReceived);
    EXPECT_EQ(handlers.calls.size(), 1u);
    EXPECT_EQ(peer.portNumber(), 3);
    EXPECT_TRUE(peer.dtr());
    EXPECT_EQ(peer.receiveThreshold(), 1);
    EXPECT_EQ(w.link.state.LinkBusy, 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(frmMainTest, ShowsWhatTheLinkPresents) {
    frmMain& w = start();
    TransferDisplay d{"GAME",         "/zx/", "-", "300", "16393", "16692", "Filename: A6 \r\n",
                      "Receiving...", 300,    12};
    w.present(d);
    d.programInfo += "16393=00\r\n";  // lines come one at a time
    w.present(d);
    EXPECT_EQ(Shown(w), d);
    w.present(TransferDisplay{});
    EXPECT_EQ(Shown(w), TransferDisplay{});

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
    struct PaintSpy : QObject {
        QStringList painted;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) painted << static_cast<QLabel*>(watched)->text();
            return false;
        }
    } spy;
    w.lblStatus->installEventFilter(&spy);
    rig::RecordingRequests handlers;
    QStringList paintedDuring;
    handlers.during = [&](std::uint8_t) { paintedDuring = spy.painted; };
    handlers.wrap(w.link.requests);
    peer.arrive({27, 0x31});
    peer.raise(SerialEventKind::BytesReceived);
    w.lblStatus->removeEventFilter(&spy);
    EXPECT_TRUE(paintedDuring.contains("Printing...")) << paintedDuring.join(",").toStdString();
    EXPECT_EQ(w.lblStatus->text(), "");
}

// Every control lies inside its frame, below a frame's caption, apart from the others; a label's
// whole text shows with a gap before the next control. One font size serves every window, and
// every window shows the program's icon.
TEST_F(frmMainTest, OneFontAndTheProgramsIcon) {
    frmMain& w = start();
    frmAbout about(&w);
    const QWidget* windows[] = {w.txtFilename,    w.menuBar(),          w.optionsWindow->cboFormat,
                                w.printoutWindow, about.lblDescription, about.lblTitle};
    for (const QWidget* window : windows)
        EXPECT_EQ(window->font().pointSizeF(), QApplication::font().pointSizeF());
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_EQ(w.windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
    EXPECT_EQ(about.picIcon->width(), 64);
}

}  // namespace
}  // namespace brindle
