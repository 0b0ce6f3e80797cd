#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "options/OptionsRules.h"
#include "options/frmOptions.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// The texts of a list, or with a role, the data of that role as text.
std::vector<std::string> texts(const QListWidget* list, int role = Qt::DisplayRole) {
    std::vector<std::string> result;
    for (int i = 0; i < list->count(); ++i)
        result.push_back(list->item(i)->data(role).toString().toStdString());
    return result;
}

// The directories Dir1 offers, in order, as the paths they open.
std::vector<fs::path> dirEntries(const QListWidget* list) {
    const std::vector<std::string> paths = texts(list, Qt::UserRole);
    return {paths.begin(), paths.end()};
}

fs::path highlighted(const QListWidget* list) {
    return dirEntries(list).at(static_cast<std::size_t>(list->currentRow()));
}

void pressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void clickEntry(QListWidget* list, const fs::path& entry) {
    const std::vector<fs::path> entries = dirEntries(list);
    const auto row = std::find(entries.begin(), entries.end(), entry) - entries.begin();
    ASSERT_LT(row, list->count()) << entry;
    const QPointF at = list->visualItemRect(list->item(static_cast<int>(row))).center();
    const QPointF global = list->viewport()->mapToGlobal(at);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, global, Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &event);
    }
}

// A transfer directory with two program files, a file of another kind and two subdirectories.
class OptionsWindow : public ::testing::Test {
protected:
    OptionsWindow() {
        for (const char* name : {"Game.P81", "notes.txt", "old.o"})
            rig::WriteFile(dir.path() / name, {1});
        fs::create_directory(dir.path() / "alpha");
        fs::create_directory(dir.path() / "beta");
        options.TransferDirectory = dir.path().string();
        options.PcFilePathMode = 1;
        options.Zx81Format = "P";
    }
    // The transfer directory as stored: the directory text with one trailing separator.
    std::string stored(const fs::path& directory) { return directory.string() + "/"; }

    rig::TempDir dir;
    TransferOptions options;
};

TEST_F(OptionsWindow, LoadingOpensTheTransferDirectoryAndStoresItNormalised) {
    frmOptions window(options);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_EQ(options.TransferDirectory, stored(dir.path()));
    EXPECT_EQ(texts(window.File1), (std::vector<std::string>{"Game.P81", "old.o"}));
    std::vector<fs::path> expected = PathChain(dir.path());
    expected.push_back(dir.path() / "alpha");
    expected.push_back(dir.path() / "beta");
    EXPECT_EQ(dirEntries(window.Dir1), expected);
    EXPECT_EQ(highlighted(window.Dir1), dir.path());
    EXPECT_EQ(window.Drive1->currentText(), "/");

    // A saved directory that is gone leaves the lists where the process stands, and the saved
    // text as it was.
    options.TransferDirectory = stored(dir.path() / "gone");
    frmOptions missing(options);
    EXPECT_EQ(missing.DirPath(), fs::current_path());
    EXPECT_EQ(options.TransferDirectory, stored(dir.path() / "gone"));
}

TEST_F(OptionsWindow, EveryDirectoryChangeStoresTheDirectoryWithOneTrailingSeparator) {
    frmOptions window(options);
    window.SetDirectory(stored(dir.path() / "alpha"));
    EXPECT_EQ(window.DirPath(), dir.path() / "alpha");
    EXPECT_EQ(options.TransferDirectory, stored(dir.path() / "alpha"));
    EXPECT_TRUE(texts(window.File1).empty());

    window.SetDirectory((dir.path() / "alpha" / ".." / "beta").string());
    EXPECT_EQ(options.TransferDirectory, stored(dir.path() / "beta"));
    window.SetDirectory((dir.path() / "gone").string());  // a missing one changes nothing
    EXPECT_EQ(window.DirPath(), dir.path() / "beta");
    EXPECT_EQ(options.TransferDirectory, stored(dir.path() / "beta"));

    window.SetDirectory("/");
    EXPECT_EQ(window.DirPath(), fs::path("/"));
    EXPECT_EQ(options.TransferDirectory, "/");
}

// A directory whose name holds a line break or bytes that are not UTF-8 could not be kept in the
// settings file: it is listed, but refused with a word to the user, and everything stays where
// it was.
TEST_F(OptionsWindow, DirectoryWithALineBreakOrNoUtf8NameIsRefused) {
    for (const char* name : {"two\nlines", "Latin\xDC"}) fs::create_directory(dir.path() / name);
    frmOptions window(options);
    EXPECT_EQ(window.Dir1->count(), static_cast<int>(PathChain(dir.path()).size()) + 4);
    int refusals = 0;
    window.directoryRefused = [&refusals] { ++refusals; };
    for (const char* name : {"two\nlines", "Latin\xDC"})
        window.SetDirectory((dir.path() / name).string());
    EXPECT_EQ(refusals, 2);
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_EQ(options.TransferDirectory, stored(dir.path()));
}

TEST_F(OptionsWindow, FormatsAndModeKeepTheRecordInStep) {
    options.PcFilePathMode = 2;  // neither on nor off: loads as off
    frmOptions window(options);
    EXPECT_FALSE(window.chkPath->isChecked());
    EXPECT_EQ(options.PcFilePathMode, 0);
    EXPECT_EQ(options.Zx81Format, "P");

    window.setFormats("P81", "O");
    EXPECT_EQ(options.Zx81Format, "P81");
    EXPECT_EQ(options.Zx80Format, "O");
    window.cboFormat->setCurrentIndex(1);
    EXPECT_EQ(options.Zx81Format, "P");
    window.chkPath->click();
    EXPECT_EQ(options.PcFilePathMode, 1);
    window.chkPath->click();
    EXPECT_EQ(options.PcFilePathMode, 0);
}

TEST_F(OptionsWindow, KeysOpenTheHighlightedDirectoryOnlyAfterThePause) {
    frmOptions window(options);
    window.ShowBeside(QRect(0, 0, 100, 100), 4000);
    EXPECT_EQ(window.Timer1->interval(), 5000);

    pressKey(window.Dir1, Qt::Key_Down);
    EXPECT_EQ(highlighted(window.Dir1), dir.path() / "alpha");
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_TRUE(window.Timer1->isActive());
    EXPECT_FALSE(window.DirOpenArmed());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(window.Timer1->remainingTime(), 4750);

    pressKey(window.Dir1, Qt::Key_Down);  // the next key starts the pause again
    EXPECT_EQ(highlighted(window.Dir1), dir.path() / "beta");
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_GT(window.Timer1->remainingTime(), 4750);

    // Let the pause run out at once: the timer's own firing opens the directory.
    window.Timer1->start(0);
    const QDeadlineTimer deadline(5000);
    while (window.Timer1->isActive() && !deadline.hasExpired()) QApplication::processEvents();
    EXPECT_EQ(window.DirPath(), dir.path() / "beta");
    EXPECT_EQ(options.TransferDirectory, stored(dir.path() / "beta"));
    EXPECT_FALSE(window.DirOpenArmed());
}

TEST_F(OptionsWindow, EnterOrSpaceOpensAtOnceIncludingTheWayUp) {
    frmOptions window(options);
    window.ShowBeside(QRect(0, 0, 100, 100), 4000);
    pressKey(window.Dir1, Qt::Key_Down);
    pressKey(window.Dir1, Qt::Key_Return);
    EXPECT_FALSE(window.Timer1->isActive());
    EXPECT_EQ(window.DirPath(), dir.path() / "alpha");
    EXPECT_FALSE(window.DirOpenArmed());

    pressKey(window.Dir1, Qt::Key_Up);  // the parent stands above the opened directory
    pressKey(window.Dir1, Qt::Key_Space);
    EXPECT_FALSE(window.Timer1->isActive());
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_EQ(options.TransferDirectory, stored(dir.path()));
}

TEST_F(OptionsWindow, MouseClickOpensAtOnceAndStaysArmed) {
    frmOptions window(options);
    window.ShowBeside(QRect(0, 0, 100, 100), 4000);
    clickEntry(window.Dir1, dir.path() / "beta");
    EXPECT_EQ(window.DirPath(), dir.path() / "beta");
    EXPECT_EQ(options.TransferDirectory, stored(dir.path() / "beta"));
    EXPECT_TRUE(window.DirOpenArmed());
    clickEntry(window.Dir1, dir.path());
    EXPECT_EQ(window.DirPath(), dir.path());

    // A key after the click disarms it again until the pause is over.
    pressKey(window.Dir1, Qt::Key_Down);
    EXPECT_FALSE(window.DirOpenArmed());
    EXPECT_TRUE(window.Timer1->isActive());
}

TEST_F(OptionsWindow, ClosingOnlyHidesAndKeepsTheChoices) {
    QPointer<frmOptions> window(new frmOptions(options));
    window->ShowBeside(QRect(0, 0, 100, 100), 4000);
    window->setFormats("P81", "O");
    window->SetDirectory((dir.path() / "alpha").string());
    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible());

    window->ShowBeside(QRect(0, 0, 100, 100), 4000);
    EXPECT_EQ(window->cboFormat->currentText(), "P81");
    EXPECT_TRUE(window->chkPath->isChecked());
    EXPECT_EQ(window->DirPath(), dir.path() / "alpha");
    window->cmdOK->click();
    EXPECT_FALSE(window->isVisible());
    delete window;
}

// Shown against the right side of the main window, pushed left to stay on the screen; a refresh
// lists a file stored meanwhile and leaves the window where it is.
TEST_F(OptionsWindow, ShownBesideTheMainWindowAndRefreshedInPlace) {
    frmOptions window(options);
    window.ShowBeside(QRect(3000, 80, 300, 200), 3400);
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(3400 - window.frameGeometry().width(), 80));
    window.ShowBeside(QRect(100, 50, 300, 200), 4000);
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(400, 50));

    rig::WriteFile(dir.path() / "NEW.P", {1});
    window.Refresh();
    EXPECT_EQ(texts(window.File1), (std::vector<std::string>{"Game.P81", "NEW.P", "old.o"}));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(400, 50));
    EXPECT_EQ(window.DirPath(), dir.path());
}

}  // namespace
}  // namespace brindle
