#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "options/OptionsRules.h"
#include "options/frmOptions.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> texts(const QListWidget* list) {
    std::vector<std::string> result;
    for (int i = 0; i < list->count(); ++i) result.push_back(list->item(i)->text().toStdString());
    return result;
}

// The directories Dir1 offers, in order, as the paths they open.
std::vector<fs::path> dirEntries(const QListWidget* list) {
    std::vector<fs::path> result;
    for (int i = 0; i < list->count(); ++i) {
        result.emplace_back(list->item(i)->data(Qt::UserRole).toString().toStdString());
    }
    return result;
}

int rowOf(const QListWidget* list, const fs::path& path) {
    const std::vector<fs::path> entries = dirEntries(list);
    const auto found = std::find(entries.begin(), entries.end(), path);
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

fs::path highlighted(const QListWidget* list) {
    return list->currentItem() == nullptr
               ? fs::path()
               : fs::path(list->currentItem()->data(Qt::UserRole).toString().toStdString());
}

void pressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void clickRow(QListWidget* list, int row) {
    ASSERT_GE(row, 0);
    const QPointF at = list->visualItemRect(list->item(row)).center();
    const QPointF global = list->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
}

void touch(const fs::path& path) {
    std::ofstream(path) << "x";
}

// A transfer directory with two program files, a file of another kind and two subdirectories.
class OptionsWindow : public ::testing::Test {
protected:
    OptionsWindow() {
        touch(dir.path() / "Game.P81");
        touch(dir.path() / "notes.txt");
        touch(dir.path() / "old.o");
        fs::create_directory(dir.path() / "alpha");
        fs::create_directory(dir.path() / "beta");
        options.TransferDirectory = dir.path().string();
        options.PcFilePathMode = 1;
        options.Zx81Format = "P";
    }

    rig::TempDir dir;
    TransferOptions options;
};

TEST_F(OptionsWindow, LoadingOpensTheTransferDirectoryAndStoresItNormalised) {
    frmOptions window(options);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_EQ(options.TransferDirectory, dir.path().string() + "/");
    EXPECT_EQ(texts(window.File1), (std::vector<std::string>{"Game.P81", "old.o"}));
    std::vector<fs::path> expected = PathChain(dir.path());
    expected.push_back(dir.path() / "alpha");
    expected.push_back(dir.path() / "beta");
    EXPECT_EQ(dirEntries(window.Dir1), expected);
    EXPECT_EQ(highlighted(window.Dir1), dir.path());
    EXPECT_TRUE(window.chkPath->isChecked());
    EXPECT_EQ(window.cboFormat->currentText(), "P");
    EXPECT_FALSE(window.Timer1->isActive());
    EXPECT_EQ(window.Timer1->interval(), 5000);
}

TEST_F(OptionsWindow, MissingSavedDirectoryLeavesListAndSavedTextAlone) {
    options.TransferDirectory = (dir.path() / "gone").string() + "/";
    frmOptions window(options);
    EXPECT_EQ(window.DirPath(), fs::current_path());
    EXPECT_EQ(options.TransferDirectory, (dir.path() / "gone").string() + "/");

    // A missing directory named later changes nothing either.
    window.SetDirectory(dir.path().string());
    window.SetDirectory((dir.path() / "gone").string());
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_EQ(options.TransferDirectory, dir.path().string() + "/");
}

TEST_F(OptionsWindow, EveryDirectoryChangeStoresTheDirectoryWithOneTrailingSeparator) {
    frmOptions window(options);
    window.SetDirectory((dir.path() / "alpha").string() + "/");
    EXPECT_EQ(window.DirPath(), dir.path() / "alpha");
    EXPECT_EQ(options.TransferDirectory, (dir.path() / "alpha").string() + "/");
    EXPECT_TRUE(texts(window.File1).empty());

    window.SetDirectory((dir.path() / "alpha" / ".." / "beta").string());
    EXPECT_EQ(options.TransferDirectory, (dir.path() / "beta").string() + "/");

    window.SetDirectory("/");
    EXPECT_EQ(window.DirPath(), fs::path("/"));
    EXPECT_EQ(options.TransferDirectory, "/");
    EXPECT_EQ(dirEntries(window.Dir1).front(), fs::path("/"));
}

TEST_F(OptionsWindow, FixedTextsAndTheDriveList) {
    frmOptions window(options);
    EXPECT_EQ(window.windowTitle(), "Brindle - File Options");
    EXPECT_EQ(window.Label1->text(), "Formats:");
    EXPECT_EQ(window.cmdOK->text(), "&Hide");
    EXPECT_EQ(window.chkPath->text(), "&PC File Path");
    EXPECT_EQ(window.chkPath->toolTip(),
              "When checked, the ZX81 filename is assumed to be in PC file path and filename "
              "format. Hence it overrides the default file path.");
    EXPECT_EQ(window.cboFormat->toolTip(),
              "Sets the default PC format when loading and saving ZX81 programs.");
    EXPECT_EQ(window.cboFormat80->toolTip(),
              "Sets the default PC format when loading and saving ZX80 programs.");
    ASSERT_EQ(window.cboFormat->count(), 2);
    EXPECT_EQ(window.cboFormat->itemText(0), "P81");
    EXPECT_EQ(window.cboFormat->itemText(1), "P");
    ASSERT_EQ(window.cboFormat80->count(), 1);
    EXPECT_EQ(window.cboFormat80->itemText(0), "O");
    EXPECT_NE(window.Drive1->findText("/"), -1);
    EXPECT_EQ(window.Drive1->currentText(), "/");
}

TEST_F(OptionsWindow, FormatsAndModeKeepTheRecordInStep) {
    frmOptions window(options);
    EXPECT_EQ(options.Zx81Format, "P");

    window.setFormats("P81", "O");
    EXPECT_EQ(window.cboFormat->currentText(), "P81");
    EXPECT_EQ(options.Zx81Format, "P81");
    EXPECT_EQ(options.Zx80Format, "O");
    window.cboFormat->setCurrentIndex(1);
    EXPECT_EQ(options.Zx81Format, "P");

    window.chkPath->click();
    EXPECT_FALSE(window.chkPath->isChecked());
    EXPECT_EQ(options.PcFilePathMode, 0);
    window.chkPath->click();
    EXPECT_EQ(options.PcFilePathMode, 1);
}

TEST_F(OptionsWindow, ModeOtherThanOnOrOffLoadsAsOff) {
    options.PcFilePathMode = 2;
    frmOptions window(options);
    EXPECT_FALSE(window.chkPath->isChecked());
    EXPECT_EQ(options.PcFilePathMode, 0);
}

TEST_F(OptionsWindow, KeysOpenTheHighlightedDirectoryOnlyAfterThePause) {
    frmOptions window(options);
    window.ShowBeside(QRect(0, 0, 100, 100), 4000);

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
    EXPECT_TRUE(window.Timer1->isActive());
    EXPECT_GT(window.Timer1->remainingTime(), 4750);
    EXPECT_EQ(window.Timer1->interval(), 5000);

    // Let the pause run out at once: the timer's own firing opens the directory.
    window.Timer1->start(0);
    const QDeadlineTimer deadline(5000);
    while (window.Timer1->isActive() && !deadline.hasExpired()) QApplication::processEvents();
    EXPECT_FALSE(window.Timer1->isActive());
    EXPECT_EQ(window.DirPath(), dir.path() / "beta");
    EXPECT_EQ(options.TransferDirectory, (dir.path() / "beta").string() + "/");
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
    EXPECT_EQ(highlighted(window.Dir1), dir.path());
    pressKey(window.Dir1, Qt::Key_Space);
    EXPECT_FALSE(window.Timer1->isActive());
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_EQ(options.TransferDirectory, dir.path().string() + "/");
}

TEST_F(OptionsWindow, MouseClickOpensAtOnceAndStaysArmed) {
    frmOptions window(options);
    window.ShowBeside(QRect(0, 0, 100, 100), 4000);

    clickRow(window.Dir1, rowOf(window.Dir1, dir.path() / "beta"));
    EXPECT_EQ(window.DirPath(), dir.path() / "beta");
    EXPECT_EQ(options.TransferDirectory, (dir.path() / "beta").string() + "/");
    EXPECT_TRUE(window.DirOpenArmed());

    clickRow(window.Dir1, rowOf(window.Dir1, dir.path().parent_path()));
    EXPECT_EQ(window.DirPath(), dir.path().parent_path());

    // A key after the click disarms it again until the pause is over.
    pressKey(window.Dir1, Qt::Key_Down);
    EXPECT_FALSE(window.DirOpenArmed());
    EXPECT_TRUE(window.Timer1->isActive());
}

TEST_F(OptionsWindow, ClosingOnlyHidesAndKeepsTheChoices) {
    frmOptions window(options);
    QPointer<frmOptions> alive(&window);
    window.ShowBeside(QRect(0, 0, 100, 100), 4000);
    window.setFormats("P81", "O");
    window.SetDirectory((dir.path() / "alpha").string());

    window.close();
    ASSERT_FALSE(alive.isNull());
    EXPECT_FALSE(window.isVisible());

    window.ShowBeside(QRect(0, 0, 100, 100), 4000);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.cboFormat->currentText(), "P81");
    EXPECT_TRUE(window.chkPath->isChecked());
    EXPECT_EQ(window.DirPath(), dir.path() / "alpha");

    window.cmdOK->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(OptionsWindow, ShownAgainstTheMainWindowAndWithinTheScreen) {
    frmOptions window(options);
    window.ShowBeside(QRect(100, 50, 300, 200), 4000);
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(400, 50));

    const int width = window.frameGeometry().width();
    window.ShowBeside(QRect(3000, 80, 300, 200), 3400);
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(3400 - width, 80));
}

TEST_F(OptionsWindow, RefreshListsAFileStoredWhileShown) {
    frmOptions window(options);
    window.ShowBeside(QRect(100, 50, 300, 200), 4000);
    const QPoint position = window.frameGeometry().topLeft();

    touch(dir.path() / "NEW.P");
    window.Refresh();
    EXPECT_EQ(texts(window.File1), (std::vector<std::string>{"Game.P81", "NEW.P", "old.o"}));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.frameGeometry().topLeft(), position);
    EXPECT_EQ(window.DirPath(), dir.path());
    EXPECT_EQ(window.cboFormat->currentText(), "P");
    EXPECT_TRUE(window.chkPath->isChecked());
}

}  // namespace
}  // namespace brindle
