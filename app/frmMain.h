#pragma once

#include <QComboBox>
#include <QMainWindow>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/PortSelection.h"
#include "link/Link.h"
#include "link/Settings.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace brindle {

class frmHistory;
class frmListing;
enum class Machine;  // basic/BasicText.h
class frmOptions;
class frmPrintout;

// What the main window reaches the world through; the program passes the real ones, tests pass
// the simulated peer, the virtual clock and scripted dialogs.
struct AppPlatform {
    SerialPort& port;
    const PortCatalogue& catalogue;
    Clock& clock;
    EventPump& pump;
    MessageBoxes& messages;
    FileDialogs& dialogs;
    FileSystem& files;
    // Where the settings file is kept, and the default transfer directory.
    std::filesystem::path programDirectory;
    // Looks for serial devices again before the port list is rebuilt.
    std::function<void()> rediscoverPorts;
    // Ends the program at once; it does not return.
    std::function<void()> endProgram;
    // Further places for the program's companion files (an installed copy's data directories),
    // searched after the program's own directory.
    std::vector<std::filesystem::path> dataDirectories = {};
};

// A port list that is rebuilt each time the user opens it.
class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override;
};

// The main window: port, status, details of the transfer, progress, Reset and Exit. It owns the
// serial link and shows what the link presents.
class frmMain : public QMainWindow, public DisplaySink {
    Q_OBJECT

public:
    explicit frmMain(AppPlatform platform);
    ~frmMain() override;

    // Start-up: settings, windows, port, and the link left idle.
    void Load();
    // Saves the settings and ends the program at once, whatever runs.
    void ExitProgram();
    // The values the settings file keeps, as they stand now.
    Settings CurrentSettings() const;
    std::filesystem::path SettingsPath() const;

    void present(const TransferDisplay& display) override;

    // Serial devices came or went: a lost port that is back is opened again, the list shows it
    // and the link is left idle as after start-up.
    void DevicesChanged();

    void OptionsMenu_FilePath_Click();
    void OptionsMenu_Printout_Click();
    void OptionsMenu_History_Click();
    void OptionsMenu_Listing_Click();
    void FileMenu_Open_Click();
    void FileMenu_Export_Click();
    // Opens the listing window on a stored program; BASIC text is made into textMachine's, or
    // the ZX81's.
    void ShowListing(const std::filesystem::path& file, Machine textMachine);
    void ShowListing(const std::filesystem::path& file);
    void HelpMenu_About_Click();
    void cmdClear_Click();

    TransferOptions options;
    Link link;
    PortSelection ports;
    TransferHistory history;

    QGroupBox* Frame1;
    QLabel* Label1;
    QLineEdit* txtFilename;
    QLabel* Label2[3];
    QLineEdit* txtFilepath;
    QLineEdit* txtFileLength;
    QLineEdit* txtProgramLength;
    QLabel* Label3;
    QLineEdit* txtStartAddr;
    QLabel* Label5;
    QLineEdit* txtEndAddr;
    QGroupBox* Frame2;
    QPlainTextEdit* txtProgramInfo;
    QProgressBar* ProgressBar1;
    PortComboBox* cboPort;
    QLabel* lblStatus;
    QPushButton* cmdClear;
    QPushButton* cmdExit;
    QMenu* FileMenu;
    QAction* FileMenu_Open;
    QAction* FileMenu_Export;
    QAction* FileMenu_Exit;
    QMenu* OptionsMenu;
    QAction* OptionsMenu_FilePath;
    QAction* OptionsMenu_Printout;
    QAction* OptionsMenu_History;
    QAction* OptionsMenu_Listing;
    QMenu* HelpMenu;
    QAction* HelpMenu_About;

    frmOptions* optionsWindow = nullptr;
    frmPrintout* printoutWindow = nullptr;
    frmHistory* historyWindow = nullptr;
    frmListing* listingWindow = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void showPorts();
    void rebuildPortList();
    void listProgram(const std::filesystem::path& file, Machine textMachine);

    AppPlatform platform_;
    TransferDisplay shown_;
    // The status line while the port's device is gone; empty when it is not.
    std::string lostStatus_;
};

}  // namespace brindle
