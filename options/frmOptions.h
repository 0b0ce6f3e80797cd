#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "link/LinkTypes.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace brindle {

// The file options window: the transfer directory, the default file formats and the PC-file-path
// mode. Its controls are the live home of TransferOptions. It is created once, hidden, and lives
// as long as the program; closing it only hides it.
class frmOptions : public QWidget {
    Q_OBJECT

public:
    explicit frmOptions(TransferOptions& options, QWidget* parent = nullptr);

    // Selects the two format texts (already known to be in the lists) and keeps the record in
    // step with them from then on.
    void setFormats(const std::string& zx81, const std::string& zx80);

    // Shows the window against the right side of the main window, pushed left to stay within
    // the screen's width.
    void ShowBeside(const QRect& mainFrame, int screenWidth);

    // Re-reads the file list after a file was stored, if the window is visible.
    void Refresh();

    // Points the directory list at a directory chosen elsewhere; a missing one changes nothing.
    void SetDirectory(const std::string& directory);

    // The directory the lists show, in the directory list's own form.
    const std::filesystem::path& DirPath() const { return dirPath_; }

    // Whether a selection in the directory list opens the selected directory.
    bool DirOpenArmed() const { return dirOpenArmed_; }

    // Told when the user picks a directory that the settings file could not keep; the lists and
    // the transfer directory stay as they were.
    std::function<void()> directoryRefused;

    QComboBox* cboFormat;
    QComboBox* cboFormat80;
    QCheckBox* chkPath;
    QPushButton* cmdOK;
    QComboBox* Drive1;
    QListWidget* Dir1;  // the path from the root down, then the subdirectories
    QListWidget* File1;
    QLabel* Label1;
    QTimer* Timer1;  // the pause after the last key in Dir1 before its selection opens

public slots:
    // Opens the directory highlighted in Dir1 at once: the end of the keyboard pause, or Enter
    // or Space.
    void OpenHighlighted();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool showDirectory(const std::filesystem::path& directory);
    bool setDirPath(const std::filesystem::path& directory);
    void fillDir1(const std::vector<std::string>& subdirectories);
    void fillFile1(const std::vector<std::string>& files);
    void listFiles();
    void syncDrive();
    void Dir1_Click();
    void Drive1_Change(int index);
    void storeFormats();

    TransferOptions& options_;
    std::filesystem::path dirPath_;
    bool dirOpenArmed_ = false;
};

}  // namespace brindle
