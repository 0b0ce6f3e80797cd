#include "app/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>

#include "app/PortDoctor.h"
#include "app/Requests.h"
#include "app/frmHistory.h"
#include "app/frmListing.h"
#include "basic/BasicText.h"
#include "options/OptionsRules.h"
#include "options/frmAbout.h"
#include "options/frmOptions.h"
#include "platform/qt/ProgramIcon.h"
#include "printer/frmPrintout.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

namespace {

// Which machine's text a history entry's program is, for a BASIC text file that says nothing.
Machine MachineOf(const TransferRecord& record) {
    return record.machine == "ZX80" ? Machine::Zx80 : Machine::Zx81;
}

// Design positions are in twips, 15 to a pixel for the small dialog font the layout was drawn
// for. A larger font scales the whole layout, so that every text fits its control.
class Twips {
public:
    explicit Twips(const QFontMetrics& metrics)
        : scale_(std::max({1.0, (metrics.horizontalAdvance(kWidestLabel) + 4) / 81.0,
                           (metrics.height() + 4) / 19.0})) {}
    int operator()(int twips) const { return static_cast<int>(twips * scale_ / 15 + 0.5); }
    QRect operator()(int left, int top, int width, int height) const {
        return QRect((*this)(left), (*this)(top), (*this)(width), (*this)(height));
    }

    // The widest label, in its 1215-twip room with a gap before its box.
    static constexpr const char* kWidestLabel = "Program Length";

private:
    double scale_;
};

// A frame's control placed below the frame's caption, which this toolkit draws above the frame's
// border rather than across it: moved down as needed and shortened by as much.
QRect BelowCaption(const QGroupBox* frame, QRect where) {
    const int captionBottom = frame->fontMetrics().height() + 4;  // the border lies just below
    if (where.top() < captionBottom) {
        where.setHeight(where.height() - (captionBottom - where.top()));
        where.moveTop(captionBottom);
    }
    return where;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect where) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(where);
    return l;
}

QLineEdit* textBox(QWidget* parent, const char* name, QRect where, bool centred) {
    auto* t = new QLineEdit(parent);
    t->setObjectName(name);
    t->setReadOnly(true);
    t->setGeometry(where);
    if (centred) t->setAlignment(Qt::AlignCenter);
    return t;
}

void setText(QLineEdit* box, const std::string& now, const std::string& before) {
    if (now != before) box->setText(QString::fromStdString(now));
}

}  // namespace

void PortComboBox::showPopup() {
    if (beforePopup) beforePopup();
    QComboBox::showPopup();
}

frmMain::frmMain(AppPlatform platform)
    : link({platform.port, platform.clock, platform.pump, platform.messages, platform.dialogs,
            platform.files},
           options, *this),
      ports(platform.port, platform.catalogue, platform.messages),
      platform_(std::move(platform)) {
    setObjectName("frmMain");
    setWindowTitle(kProgramTitle);
    // Every window of the program, message boxes and dialogs included, shows its icon.
    QApplication::setWindowIcon(ProgramIcon());
    RequestHooks hooks;
    hooks.refreshOptions = [this] {
        if (optionsWindow != nullptr) optionsWindow->Refresh();
    };
    hooks.printoutChanged = [this] {
        if (printoutWindow != nullptr) printoutWindow->LoadPrintout();
    };
    hooks.routineDirectories.push_back(platform_.programDirectory);
    for (const auto& dir : platform_.dataDirectories) hooks.routineDirectories.push_back(dir);
    link.requests = TransferRequests(link, std::move(hooks));
    link.runEnded = [this](const TransferRecord& record) {
        history.Add(record);
        if (historyWindow != nullptr && historyWindow->isVisible()) historyWindow->Refresh();
        using Outcome = TransferRecord::Outcome;
        const bool program =
            record.kind == TransferRecord::Kind::Save || record.kind == TransferRecord::Kind::Load;
        const bool done = record.outcome == Outcome::Stored ||
                          record.outcome == Outcome::Replaced || record.outcome == Outcome::Sent;
        if (program && done && !record.file.empty())
            listProgram(PathFromUtf8(record.file), MachineOf(record));
    };
    link.transferDirectoryMoved = [this](const std::string& directory) {
        if (optionsWindow != nullptr) optionsWindow->SetDirectory(directory);
    };
    platform_.port.onEvent = [this](SerialEventKind kind) { link.LinkDispatcher(kind); };
    platform_.port.onLost = [this] {
        link.PortLost();
        // The list shows no port, so the user knows to pick one again once it is back.
        ports.Lost();
        showPorts();
        lostStatus_ = ports.savedText() + " lost: plug the adapter back in";
        link.display.status = lostStatus_;
        present(link.display);
    };
    buildControls();
    listingWindow = new frmListing(platform_.files, this);
    buildMenus();
}

frmMain::~frmMain() {
    platform_.port.onEvent = nullptr;
    platform_.port.onLost = nullptr;
}

void frmMain::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    const Twips twips(client->fontMetrics());
    client->setFixedSize(twips(5130), twips(4800));
    setCentralWidget(client);

    Frame1 = new QGroupBox("Program Details", client);
    Frame1->setObjectName("Frame1");
    Frame1->setGeometry(twips(120, 0, 3855, 2295));
    Label1 = label(Frame1, "Label1", "File Name", twips(120, 360, 975, 255));
    txtFilename = textBox(Frame1, "txtFilename", twips(1440, 360, 2295, 285), false);
    Label2[2] = label(Frame1, "Label2_2", "File Path", twips(120, 720, 1095, 255));
    txtFilepath = textBox(Frame1, "txtFilepath", twips(1440, 720, 2295, 285), false);
    Label2[0] = label(Frame1, "Label2_0", "File Length", twips(120, 1080, 1095, 255));
    txtFileLength = textBox(Frame1, "txtFileLength", twips(1440, 1080, 855, 285), true);
    Label2[1] = label(Frame1, "Label2_1", "Program Length", twips(120, 1440, 1215, 255));
    txtProgramLength = textBox(Frame1, "txtProgramLength", twips(1440, 1440, 855, 285), true);
    Label3 = label(Frame1, "Label3", "Address Range", twips(120, 1800, 1215, 255));
    txtStartAddr = textBox(Frame1, "txtStartAddr", twips(1440, 1800, 855, 285), true);
    // Between the two addresses, touching neither.
    Label5 = label(Frame1, "Label5", "-", twips(2310, 1800, 195, 285));
    Label5->setAlignment(Qt::AlignCenter);
    txtEndAddr = textBox(Frame1, "txtEndAddr", twips(2520, 1800, 855, 285), true);

    Frame2 = new QGroupBox("Program Info", client);
    Frame2->setObjectName("Frame2");
    Frame2->setGeometry(twips(120, 2400, 3855, 1935));
    txtProgramInfo = new QPlainTextEdit(Frame2);
    txtProgramInfo->setObjectName("txtProgramInfo");
    txtProgramInfo->setReadOnly(true);
    txtProgramInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtProgramInfo->setGeometry(BelowCaption(Frame2, twips(120, 240, 3615, 1575)));

    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(twips(120, 4440, 3855, 255));
    ProgressBar1->setRange(0, 13);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    cboPort = new PortComboBox(client);
    cboPort->setObjectName("cboPort");
    cboPort->setGeometry(twips(4080, 120, 975, 315));
    cboPort->beforePopup = [this] { rebuildPortList(); };
    connect(cboPort, &QComboBox::activated, this, [this](int index) {
        ports.Select(index);
        showPorts();
    });

    // A status that names a lost port and what to do takes several lines, down to Reset.
    lblStatus = label(client, "lblStatus", "", twips(4080, 960, 975, 900));
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdClear = new QPushButton("R&eset", client);
    cmdClear->setObjectName("cmdClear");
    cmdClear->setGeometry(twips(4080, 1920, 975, 375));
    connect(cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);

    cmdExit = new QPushButton("E&xit", client);
    cmdExit->setObjectName("cmdExit");
    cmdExit->setGeometry(twips(4080, 4320, 975, 375));
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::ExitProgram);
}

void frmMain::buildMenus() {
    FileMenu = menuBar()->addMenu("&File");
    FileMenu->setObjectName("FileMenu");
    FileMenu_Open = FileMenu->addAction("&Open Program...", this, &frmMain::FileMenu_Open_Click);
    FileMenu_Open->setObjectName("FileMenu_Open");
    FileMenu_Export =
        FileMenu->addAction("&Export Listing...", this, &frmMain::FileMenu_Export_Click);
    FileMenu_Export->setObjectName("FileMenu_Export");
    FileMenu_Export->setEnabled(false);
    FileMenu->addSeparator();
    FileMenu_Exit = FileMenu->addAction("E&xit", this, &frmMain::ExitProgram);
    FileMenu_Exit->setObjectName("FileMenu_Exit");

    OptionsMenu = menuBar()->addMenu("&View");
    OptionsMenu->setObjectName("OptionsMenu");
    OptionsMenu_FilePath =
        OptionsMenu->addAction("File &Path", this, &frmMain::OptionsMenu_FilePath_Click);
    OptionsMenu_FilePath->setObjectName("OptionsMenu_FilePath");
    OptionsMenu_Printout =
        OptionsMenu->addAction("Printer &Output", this, &frmMain::OptionsMenu_Printout_Click);
    OptionsMenu_Printout->setObjectName("OptionsMenu_Printout");
    OptionsMenu_History =
        OptionsMenu->addAction("Transfer &History", this, &frmMain::OptionsMenu_History_Click);
    OptionsMenu_History->setObjectName("OptionsMenu_History");
    OptionsMenu_Listing =
        OptionsMenu->addAction("Program &Listing", this, &frmMain::OptionsMenu_Listing_Click);
    OptionsMenu_Listing->setObjectName("OptionsMenu_Listing");

    HelpMenu = menuBar()->addMenu("&Help");
    HelpMenu->setObjectName("HelpMenu");
    HelpMenu_About = HelpMenu->addAction(QString("&About %1...").arg(kProgramTitle), this,
                                         &frmMain::HelpMenu_About_Click);
    HelpMenu_About->setObjectName("HelpMenu_About");

    // A fixed border: the user cannot resize the window.
    adjustSize();
    setFixedSize(sizeHint());
}

std::filesystem::path frmMain::SettingsPath() const {
    return platform_.programDirectory / kSettingsFileName;
}

void frmMain::Load() {
    link.state.PrintingFlag = false;
    const Settings saved = LoadSettings(platform_.files, SettingsPath(),
                                        NormaliseDirectory(platform_.programDirectory.string()));
    options.TransferDirectory = saved.transfer.TransferDirectory;
    options.PcFilePathMode = saved.transfer.PcFilePathMode;

    optionsWindow = new frmOptions(options, this);
    optionsWindow->setWindowFlag(Qt::Window);
    optionsWindow->directoryRefused = [this] {
        link.services.messages.show(
            {kUnkeepableDirectoryText, kProgramTitle, MessageIcon::Exclamation, {}});
    };
    optionsWindow->setFormats(saved.transfer.Zx81Format, saved.transfer.Zx80Format);
    options.TransferDirectory = NormaliseDirectory(options.TransferDirectory);
    link.state.AbortFlag = false;

    show();
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        move(area.left() + (area.width() - frameGeometry().width()) / 2,
             area.top() + (area.height() - frameGeometry().height()) / 2);
    }
    // The caption shows the minor version with two digits, unlike the about box.
    setWindowTitle(QString("%1 V%2.%3")
                       .arg(kProgramTitle)
                       .arg(kVersionMajor)
                       .arg(kVersionMinor, 2, 10, QLatin1Char('0')));

    if (saved.OptionsVisible) OptionsMenu_FilePath_Click();
    printoutWindow = new frmPrintout(link, this);
    if (saved.PrintoutVisible) OptionsMenu_Printout_Click();
    historyWindow = new frmHistory(history, this);
    historyWindow->setWindowFlag(Qt::Window);
    historyWindow->openEntry = [this](const TransferRecord& record) {
        using Kind = TransferRecord::Kind;
        if (record.kind == Kind::Printout) {
            OptionsMenu_Printout_Click();
        } else if (record.kind != Kind::Listing && !record.file.empty()) {
            // A directory's listing program is gone once sent; a program file is listed anew.
            ShowListing(PathFromUtf8(record.file), MachineOf(record));
        }
    };

    ports.PortList();
    ports.StartupChoice(saved.Port);
    showPorts();

    link.StartIdle();
}

Settings frmMain::CurrentSettings() const {
    Settings s;
    s.transfer = options;
    s.OptionsVisible = optionsWindow != nullptr && optionsWindow->isVisible();
    s.PrintoutVisible = printoutWindow != nullptr && printoutWindow->isVisible();
    s.Port = ports.savedText();
    return s;
}

void frmMain::ExitProgram() {
    SaveSettings(platform_.files, SettingsPath(), CurrentSettings());
    platform_.endProgram();
}

void frmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    ExitProgram();
}

void frmMain::cmdClear_Click() {
    link.Abort();
}

void frmMain::OptionsMenu_FilePath_Click() {
    // The right edge of the screen the main window is on, which need not start at 0.
    const int screenRight = screen() != nullptr ? screen()->geometry().right() + 1 : 0;
    optionsWindow->ShowBeside(frameGeometry(), screenRight);
}

void frmMain::OptionsMenu_Printout_Click() {
    printoutWindow->ShowBeside(frameGeometry());
}

void frmMain::OptionsMenu_History_Click() {
    historyWindow->Refresh();
    historyWindow->show();
    historyWindow->raise();
}

void frmMain::OptionsMenu_Listing_Click() {
    listingWindow->show();
    listingWindow->raise();
}

void frmMain::listProgram(const std::filesystem::path& file, Machine textMachine) {
    listingWindow->ShowProgram(file, textMachine);
    FileMenu_Export->setEnabled(!listingWindow->listing().lines.empty());
}

void frmMain::ShowListing(const std::filesystem::path& file, Machine textMachine) {
    listProgram(file, textMachine);
    OptionsMenu_Listing_Click();
}

void frmMain::ShowListing(const std::filesystem::path& file) {
    ShowListing(file, Machine::Zx81);
}

void frmMain::FileMenu_Open_Click() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.title = "Open Program";
    request.filter = "ZX81 and ZX80 Programs (*.P81;*.P;*.81;*.O)|*.P81;*.P;*.81;*.O";
    request.initialDirectory = options.TransferDirectory;
    request.fileMustExist = true;
    request.pathMustExist = true;
    if (const std::optional<std::string> answer = platform_.dialogs.run(request))
        ShowListing(PathFromUtf8(*answer));
}

void frmMain::FileMenu_Export_Click() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.title = "Export Listing";
    request.filter = "BASIC text (*.TXT;*.BAS)|*.TXT;*.BAS";
    request.initialDirectory = options.TransferDirectory;
    request.defaultExtension = "txt";
    request.pathMustExist = true;
    request.initialFileName = Utf8FromPath(listingWindow->file().stem()) + ".txt";
    const std::optional<std::string> answer = platform_.dialogs.run(request);
    if (!answer) return;
    const std::string text = ListingText(listingWindow->listing());
    FileError error;
    if (!ReplaceFile(platform_.files, PathFromUtf8(*answer),
                     std::vector<std::uint8_t>(text.begin(), text.end()), &error))
        platform_.messages.show({"The listing could not be written.", kProgramTitle,
                                 MessageIcon::Exclamation, error.description});
}

void frmMain::HelpMenu_About_Click() {
    frmAbout box(this);
    box.exec();
}

void frmMain::rebuildPortList() {
    if (platform_.rediscoverPorts) platform_.rediscoverPorts();
    ports.PortList();
    showPorts();
}

void frmMain::DevicesChanged() {
    if (platform_.rediscoverPorts) platform_.rediscoverPorts();
    if (!ports.Replug()) return;
    showPorts();
    // A run under way drives the line itself and leaves it idle when it ends.
    if (link.state.LinkBusy == 0 && !link.state.PrintingFlag) link.StartIdle();
}

void frmMain::showPorts() {
    if (ports.selected() >= 0 && !lostStatus_.empty()) {
        if (link.display.status == lostStatus_) link.display.status.clear();
        lostStatus_.clear();
        present(link.display);
    }
    cboPort->clear();
    for (const std::string& entry : ports.entries()) {
        cboPort->addItem(QString::fromStdString(entry));
        const std::string tip =
            PortTip(platform_.catalogue, platform_.port, PortSelection::PortNumberOf(entry));
        cboPort->setItemData(cboPort->count() - 1, QString::fromStdString(tip), Qt::ToolTipRole);
    }
    cboPort->setCurrentIndex(ports.selected());
}

void frmMain::present(const TransferDisplay& display) {
    setText(txtFilename, display.filename, shown_.filename);
    setText(txtFilepath, display.filepath, shown_.filepath);
    setText(txtFileLength, display.fileLength, shown_.fileLength);
    setText(txtProgramLength, display.programLength, shown_.programLength);
    setText(txtStartAddr, display.startAddr, shown_.startAddr);
    setText(txtEndAddr, display.endAddr, shown_.endAddr);
    if (display.programInfo != shown_.programInfo) {
        const std::string& before = shown_.programInfo;
        if (display.programInfo.size() > before.size() &&
            display.programInfo.compare(0, before.size(), before) == 0) {
            // Lines arrive one at a time: append, rather than set the whole text again.
            QTextCursor cursor(txtProgramInfo->document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(QString::fromStdString(display.programInfo.substr(before.size())));
        } else {
            txtProgramInfo->setPlainText(QString::fromStdString(display.programInfo));
        }
    }
    if (display.status != shown_.status) {
        lblStatus->setText(QString::fromStdString(display.status));
        // A printer request lets no events run: the new status must be painted now to be seen.
        lblStatus->repaint();
    }
    // A maximum of 0 would turn the bar into an endlessly animated busy indicator (a program
    // whose end address comes before its start), so the bar always keeps a range.
    if (display.progressMax != shown_.progressMax)
        ProgressBar1->setMaximum(std::max(display.progressMax, 1));
    if (display.progressValue != shown_.progressValue)
        ProgressBar1->setValue(std::clamp(display.progressValue, 0, ProgressBar1->maximum()));
    shown_ = display;
}

}  // namespace brindle
