#include "printer/frmPrintout.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "app/frmMain.h"
#include "printer/PrintoutFile.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

// The column bytes of printer line k, different for every line and every column.
Bytes LineColumns(int k) {
    Bytes columns(256);
    for (int x = 0; x < 256; ++x) columns[x] = static_cast<std::uint8_t>(x * 31 + k * 17 + 5);
    return columns;
}

// What the viewport's inside should show of `lines` printed lines when the picture's row `top`
// is at its top edge: line k covers rows 8k to 8k+7, its row i is bit 7-i of each column byte;
// grey below the paper.
QImage Expected(int lines, int top) {
    QImage image(256, 288, QImage::Format_RGB32);
    for (int y = 0; y < 288; ++y) {
        const int row = top + y;
        for (int x = 0; x < 256; ++x) {
            QRgb colour = qRgb(128, 128, 128);
            if (row < 8 * lines) {
                const bool black = LineColumns(row / 8)[x] >> (7 - row % 8) & 1;
                colour = black ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            }
            image.setPixel(x, y, colour);
        }
    }
    return image;
}

void Mouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button) {
    const QPointF at(5, 5);
    QMouseEvent event(type, at, widget->mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Click(QWidget* widget, Qt::MouseButton button) {
    Mouse(widget, QEvent::MouseButtonPress, button);
    Mouse(widget, QEvent::MouseButtonRelease, button);
}

void KeyClick(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, " ");
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, " ");
    QApplication::sendEvent(widget, &release);
}

QImage Shown(frmPrintout& w) {
    return w.Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct WindowSession : DirSession {
    WindowSession() { window.show(); }
    void Print(int lines) {
        for (int k = 0; k < lines; ++k) {
            const Bytes columns = LineColumns(k);
            AddToBitmap(rig.link, PrinterLine(columns.data(), 256),
                        [this] { window.LoadPrintout(); });
        }
    }
    frmPrintout window{rig.link};
};

TEST(frmPrintoutTest, ShowsTheNewestLineAtTheViewportsLowerEdge) {
    // The printout (lines printed, or a file of 318 rows), and what the window then shows.
    struct Case {
        const char* what;
        int lines;
        int canvasHeight, maximum, value;
        bool enabled;
    };
    const Case cases[] = {
        {"no printout", 0, 1, 2, 0, false},
        {"one line", 1, 8, 2, 0, false},
        {"36 lines fill the viewport", 36, 288, 2, 0, false},
        {"37 lines overflow it", 37, 296, 8, 8, true},
        {"318 rows", -1, 318, 30, 30, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WindowSession s;
        if (c.lines >= 0) {
            s.Print(c.lines);
        } else {
            WriteFile(s.printout(), Concat(BmpHeader(318), Bytes(318 * 32, 0)));
            s.window.LoadPrintout();
        }
        frmPrintout& w = s.window;
        EXPECT_EQ(w.Picture1->canvasHeight(), c.canvasHeight);
        EXPECT_EQ(std::tuple(w.VScroll1->minimum(), w.VScroll1->maximum(), w.VScroll1->value(),
                             w.VScroll1->isEnabled()),
                  std::tuple(0, c.maximum, c.value, c.enabled));
        EXPECT_EQ(w.Picture1->canvasTop(), -c.value);
        if (c.lines >= 0) {
            EXPECT_EQ(Shown(w), Expected(c.lines, std::max(0, 8 * c.lines - 288)));
        }
        // Reloading an unchanged file leaves the view where it was.
        w.LoadPrintout();
        EXPECT_EQ(w.VScroll1->value(), c.value);
    }
}

TEST(frmPrintoutTest, FourHundredLinesScrollToTheirVeryTopAndBottom) {
    WindowSession s;
    s.Print(400);
    frmPrintout& w = s.window;
    EXPECT_EQ(w.VScroll1->maximum(), 3200 - 288);
    EXPECT_EQ(Shown(w), Expected(400, 3200 - 288));
    w.VScroll1->setValue(0);
    EXPECT_EQ(Shown(w), Expected(400, 0));
    w.VScroll1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(Shown(w), Expected(400, w.VScroll1->pageStep()));
    w.VScroll1->setValue(w.VScroll1->maximum());
    EXPECT_EQ(Shown(w), Expected(400, 3200 - 288));
    // The window holds the file's rows, one bit a dot, and no more.
    EXPECT_LE(w.Picture1->picture()->heldBytes(), fs::file_size(s.printout()));
}

TEST(frmPrintoutTest, FeedAddsABandAtEachPressAndEveryTickWhileHeld) {
    WindowSession s;
    frmPrintout& w = s.window;
    Click(w.cmdFeed, Qt::LeftButton);
    EXPECT_EQ(FileBytes(s.printout()), Printout({Band()}));
    EXPECT_FALSE(w.FeedHeld || w.Timer1->isActive());

    // Held for a second: ten ticks of 100 ms after the first band, any mouse button.
    Mouse(w.cmdFeed, QEvent::MouseButtonPress, Qt::RightButton);
    for (int tick = 0; tick < 10; ++tick) {
        ASSERT_TRUE(w.FeedHeld && w.Timer1->isActive() && w.Timer1->interval() == 100);
        w.Timer1_Timer();
    }
    Mouse(w.cmdFeed, QEvent::MouseButtonRelease, Qt::RightButton);
    EXPECT_FALSE(w.FeedHeld || w.Timer1->isActive());
    EXPECT_EQ(FileBytes(s.printout()), Printout(std::vector<Bytes>(12, Band())));
    EXPECT_EQ(w.Picture1->canvasHeight(), 96);

    // The keyboard feeds nothing; a feed that fails ends the hold.
    KeyClick(w.cmdFeed, Qt::Key_Space);
    fs::permissions(s.printout(), fs::perms::all, fs::perm_options::remove);
    Mouse(w.cmdFeed, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_FALSE(w.FeedHeld || w.Timer1->isActive());
    EXPECT_EQ(s.rig.messages.shown.size(), 1u);
    Mouse(w.cmdFeed, QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_EQ(FileBytes(s.printout()), Printout(std::vector<Bytes>(12, Band())));
}

TEST(frmPrintoutTest, SaveCopiesThePrintoutExactlyOrLeavesEverythingAsItWas) {
    const Bytes old{'o', 'l', 'd'};
    // Whether a printout exists, the answer of the dialog (relative to the directory), whether
    // the target exists before (read-only or not), and the target's content after.
    struct Case {
        const char* what;
        bool printed;
        std::optional<std::string> answer;
        std::optional<Bytes> before;
        bool readOnly;
        std::optional<Bytes> after;  // nullopt: the printout itself
    };
    const Case cases[] = {
        {"over an existing file", true, "Copy.BMP", old, false, std::nullopt},
        {"to a new file", true, "New.BMP", std::nullopt, false, std::nullopt},
        {"no printout yet", false, "Copy.BMP", old, false, old},
        {"no printout, no file made", false, "New.BMP", std::nullopt, false, Bytes{}},
        {"cancelled", true, std::nullopt, old, false, old},
        {"a read-only target", true, "Copy.BMP", old, true, old},
        {"a folder that is gone", true, "gone/Copy.BMP", std::nullopt, false, Bytes{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WindowSession s;
        if (c.printed) s.Print(3);
        const fs::path target = s.dir.path() / c.answer.value_or("Copy.BMP");
        if (c.before) WriteFile(target, *c.before);
        if (c.readOnly) fs::permissions(target, fs::perms::all, fs::perm_options::remove);
        s.rig.dialogs.answers.push_back(c.answer ? std::optional(target.string()) : std::nullopt);
        s.window.cmdSave->click();

        ASSERT_EQ(s.rig.dialogs.requests.size(), 1u);
        const FileDialogRequest& r = s.rig.dialogs.requests[0];
        EXPECT_EQ(
            std::tuple(r.kind, r.title, r.filter, r.defaultExtension, r.initialDirectory,
                       r.pathMustExist, r.fileMustExist),
            std::tuple(FileDialogRequest::Kind::Save, "Save Printer Output",
                       "*.BMP|*.BMP|PNG picture (*.png)|*.png", "BMP", s.dir.text(), true, false));
        EXPECT_EQ(FileBytes(target), c.after.value_or(FileBytes(s.printout())));
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        std::vector<std::string> names{"Copy.BMP", "New.BMP", "PrintOut.bmp"};
        std::erase_if(names,
                      [&](const std::string& name) { return !fs::exists(s.dir.path() / name); });
        EXPECT_EQ(Listing(s.dir.path()), names);  // no staging file left behind
    }
}

TEST(frmPrintoutTest, ClearEmptiesThePrintoutUnlessItIsReadOnly) {
    WindowSession s;
    frmPrintout& w = s.window;
    s.Print(40);
    w.cmdClear->click();
    EXPECT_FALSE(fs::exists(s.printout()));
    EXPECT_EQ(w.Picture1->canvasHeight(), 1);
    EXPECT_FALSE(w.VScroll1->isEnabled());
    s.Print(1);
    EXPECT_EQ(FileBytes(s.printout()).size(), 318u);
    EXPECT_EQ(PrintoutHeight(FileBytes(s.printout())), 8u);
    EXPECT_EQ(Shown(w), Expected(1, 0));

    fs::permissions(s.printout(), fs::perms::all, fs::perm_options::remove);
    w.cmdClear->click();
    EXPECT_EQ(PrintoutHeight(FileBytes(s.printout())), 8u);
    EXPECT_EQ(Shown(w), Expected(1, 0));
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
}

TEST(frmPrintoutTest, ANewTransferDirectoryShowsOnlyFromTheNextLine) {
    WindowSession s;
    frmPrintout& w = s.window;
    s.Print(2);
    const Bytes first = FileBytes(s.printout());
    TempDir other;
    s.rig.options.TransferDirectory = other.text();
    EXPECT_EQ(Shown(w), Expected(2, 0));
    Click(w.cmdFeed, Qt::LeftButton);
    EXPECT_EQ(FileBytes(other.path() / "PrintOut.bmp"), Printout({Band()}));
    EXPECT_EQ(FileBytes(s.printout()), first);
    EXPECT_EQ(w.Picture1->canvasHeight(), 8);
}

TEST(frmPrintoutTest, ALineFromThePeerReachesTheWindowAndAFailureShowsOverPrinting) {
    VirtualClock clock;
    SimPeer peer{clock};
    ScriptedPump pump;
    FakeMessages messages;
    FakeDialogs dialogs;
    TempDir programDir;
    DiskFiles files;
    frmMain w(AppPlatform{peer, peer, clock, pump, messages, dialogs, files, programDir.path(),
                          nullptr, [] {}});
    w.Load();
    const auto line = [](int k) {
        return Concat({27, 0x31, 0x1B, 0x4C, 0x00, 0x01}, LineColumns(k));
    };
    const fs::path printout = PrintoutPath(w.options.TransferDirectory);
    peer.arrive(Concat(line(0), line(1)));
    peer.raise(SerialEventKind::BytesReceived);
    EXPECT_EQ(Shown(*w.printoutWindow), Expected(2, 0));

    // A read-only printout: the box opens over "Printing...", and the window keeps its picture.
    fs::permissions(printout, fs::perms::all, fs::perm_options::remove);
    QString statusBehind;
    messages.onShow = [&](const Message&) { statusBehind = w.lblStatus->text(); };
    peer.arrive(line(2));
    peer.raise(SerialEventKind::BytesReceived);
    EXPECT_EQ(messages.shown,
              std::vector<Message>(
                  {{printout.string() + ": Permission denied", "Brindle", MessageIcon::None, {}}}));
    EXPECT_EQ(statusBehind, "Printing...");
    EXPECT_EQ(w.lblStatus->text(), "");
    EXPECT_EQ(Shown(*w.printoutWindow), Expected(2, 0));
    EXPECT_EQ(PrintoutHeight(FileBytes(printout)), 16u);
}

}  // namespace
}  // namespace brindle
