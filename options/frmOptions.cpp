#include "options/frmOptions.h"

#include "link/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>

#include <system_error>

#include "link/ProgramInfo.h"
#include "options/OptionsRules.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

namespace {

namespace fs = std::filesystem;

constexpr int kKeyPauseMs = 5000;

// A path as the lists show it: bytes that are not UTF-8 are shown as replacement characters.
QString toQString(const fs::path& path) {
    return QString::fromUtf8(path.native());
}

// A path as the lists keep it: its own bytes, so that a name that is not UTF-8 still opens.
QVariant pathData(const fs::path& path) {
    return QByteArray::fromStdString(path.native());
}

fs::path toPath(const QVariant& data) {
    return fs::path(data.toByteArray().toStdString());
}

}  // namespace

frmOptions::frmOptions(TransferOptions& options, QWidget* parent)
    : QWidget(parent, Qt::Window),
      cboFormat(new QComboBox(this)),
      cboFormat80(new QComboBox(this)),
      chkPath(new QCheckBox(QStringLiteral("&PC File Path"), this)),
      cmdOK(new QPushButton(QStringLiteral("&Hide"), this)),
      Drive1(new QComboBox(this)),
      Dir1(new QListWidget(this)),
      File1(new QListWidget(this)),
      Label1(new QLabel(QStringLiteral("Formats:"), this)),
      Timer1(new QTimer(this)),
      options_(options) {
    setWindowTitle(QString("%1 - File Options").arg(kProgramTitle));

    for (const std::string_view format : kZx81FormatList)
        cboFormat->addItem(QString::fromUtf8(format.data(), qsizetype(format.size())));
    cboFormat->setToolTip(
        QStringLiteral("Sets the default PC format when loading and saving ZX81 programs."));
    cboFormat80->addItem(QStringLiteral("O"));
    cboFormat80->setToolTip(
        QStringLiteral("Sets the default PC format when loading and saving ZX80 programs."));
    chkPath->setToolTip(QStringLiteral(
        "When checked, the ZX81 filename is assumed to be in PC file path and filename format. "
        "Hence it overrides the default file path."));

    for (const QFileInfo& drive : QDir::drives()) {
        const QString root = drive.filePath();
        Drive1->addItem(QDir::toNativeSeparators(root), QFile::encodeName(root));
    }
    File1->setSelectionMode(QAbstractItemView::NoSelection);
    File1->setFocusPolicy(Qt::NoFocus);
    Timer1->setInterval(kKeyPauseMs);
    Timer1->setTimerType(Qt::PreciseTimer);  // the pause counts exactly from the last key

    auto* layout = new QGridLayout(this);
    layout->addWidget(Drive1, 0, 0);
    layout->addWidget(Dir1, 1, 0);
    layout->addWidget(File1, 0, 1, 2, 1);
    auto* controls = new QHBoxLayout;
    controls->addWidget(Label1);
    controls->addWidget(cboFormat);
    controls->addWidget(cboFormat80);
    controls->addWidget(chkPath);
    controls->addStretch();
    controls->addWidget(cmdOK);
    layout->addLayout(controls, 2, 0, 1, 2);
    resize(460, 320);

    Dir1->installEventFilter(this);
    Dir1->viewport()->installEventFilter(this);
    connect(Dir1, &QListWidget::itemClicked, this, [this] { Dir1_Click(); });
    connect(Timer1, &QTimer::timeout, this, &frmOptions::OpenHighlighted);
    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmOptions::Drive1_Change);
    connect(cboFormat, &QComboBox::currentTextChanged, this, [this] { storeFormats(); });
    connect(cboFormat80, &QComboBox::currentTextChanged, this, [this] { storeFormats(); });
    connect(chkPath, &QCheckBox::clicked, this,
            [this](bool checked) { options_.PcFilePathMode = checked ? 1 : 0; });
    // Closing by the title bar hides it too: a window without delete-on-close is only hidden.
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::hide);

    // The lists start where the process stands, and stay there if the saved directory is gone.
    std::error_code ec;
    showDirectory(fs::current_path(ec));
    setDirPath(PathFromUtf8(options_.TransferDirectory));

    // The box shows only on or off, so the record takes the value the box shows.
    chkPath->setChecked(options_.PcFilePathMode == 1);
    options_.PcFilePathMode = chkPath->isChecked() ? 1 : 0;
    setFormats(options_.Zx81Format, options_.Zx80Format);
}

void frmOptions::setFormats(const std::string& zx81, const std::string& zx80) {
    cboFormat->setCurrentText(QString::fromStdString(zx81));
    cboFormat80->setCurrentText(QString::fromStdString(zx80));
    storeFormats();
}

void frmOptions::storeFormats() {
    options_.Zx81Format = cboFormat->currentText().toStdString();
    options_.Zx80Format = cboFormat80->currentText().toStdString();
}

void frmOptions::ShowBeside(const QRect& mainFrame, int screenWidth) {
    show();
    raise();
    activateWindow();
    const int left =
        PlaceBesideLeft(mainFrame.x(), mainFrame.width(), frameGeometry().width(), screenWidth);
    move(left, mainFrame.y());
}

void frmOptions::Refresh() {
    if (isVisible()) listFiles();
}

void frmOptions::SetDirectory(const std::string& directory) {
    setDirPath(PathFromUtf8(directory));
}

void frmOptions::showEvent(QShowEvent* event) {
    // A hidden window's file list goes stale; it is read again whenever the window appears.
    listFiles();
    QWidget::showEvent(event);
}

bool frmOptions::showDirectory(const fs::path& directory) {
    const fs::path form = DirectoryForm(directory);
    if (form.empty()) return false;
    const std::optional<DirectoryContents> contents = ReadDirectory(form, kFileListPattern);
    if (!contents) return false;
    dirPath_ = form;
    fillDir1(contents->subdirectories);
    fillFile1(contents->files);
    syncDrive();
    return true;
}

bool frmOptions::setDirPath(const fs::path& directory) {
    if (!KeepableDirectory(Utf8FromPath(DirectoryForm(directory)))) {
        if (directoryRefused) directoryRefused();
        return false;
    }
    if (!showDirectory(directory)) return false;
    options_.TransferDirectory = NormaliseDirectory(Utf8FromPath(dirPath_));
    return true;
}

void frmOptions::fillDir1(const std::vector<std::string>& subdirectories) {
    const QSignalBlocker blocker(Dir1);
    Dir1->clear();
    const auto add = [this](const fs::path& label, const fs::path& path, int depth,
                            QStyle::StandardPixmap icon) {
        auto* item =
            new QListWidgetItem(style()->standardIcon(icon),
                                QString(depth * 2, QLatin1Char(' ')) + toQString(label), Dir1);
        item->setData(Qt::UserRole, pathData(path));
    };
    const std::vector<fs::path> chain = PathChain(dirPath_);
    int depth = 0;
    for (const fs::path& step : chain) {
        add(step == step.root_path() ? step : step.filename(), step, depth++,
            QStyle::SP_DirOpenIcon);
    }
    for (const std::string& name : subdirectories) {
        add(PathFromUtf8(name), dirPath_ / PathFromUtf8(name), depth, QStyle::SP_DirClosedIcon);
    }
    Dir1->setCurrentRow(static_cast<int>(chain.size()) - 1);
}

void frmOptions::fillFile1(const std::vector<std::string>& files) {
    File1->clear();
    for (const std::string& name : files) File1->addItem(QString::fromStdString(name));
}

void frmOptions::listFiles() {
    const std::optional<DirectoryContents> contents = ReadDirectory(dirPath_, kFileListPattern);
    fillFile1(contents ? contents->files : std::vector<std::string>{});
}

void frmOptions::syncDrive() {
    const fs::path root = dirPath_.root_path();
    const QSignalBlocker blocker(Drive1);
    for (int i = 0; i < Drive1->count(); ++i) {
        if (toPath(Drive1->itemData(i)) == root) {
            Drive1->setCurrentIndex(i);
            return;
        }
    }
}

void frmOptions::Drive1_Change(int index) {
    // A drive that cannot be read leaves both lists, and the drive shown, as they were.
    if (index < 0 || !setDirPath(toPath(Drive1->itemData(index)))) syncDrive();
}

void frmOptions::Dir1_Click() {
    if (!dirOpenArmed_) return;
    if (const QListWidgetItem* item = Dir1->currentItem())
        setDirPath(toPath(item->data(Qt::UserRole)));
}

void frmOptions::OpenHighlighted() {
    Timer1->stop();
    dirOpenArmed_ = true;
    Dir1_Click();
    dirOpenArmed_ = false;
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Dir1->viewport() && event->type() == QEvent::MouseButtonPress) {
        dirOpenArmed_ = true;
    } else if (watched == Dir1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            OpenHighlighted();
            return true;
        }
        // The selection moves with the key, but opens only after a pause.
        Timer1->stop();
        dirOpenArmed_ = false;
        Timer1->start();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace brindle
