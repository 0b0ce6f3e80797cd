#include "printer/frmPrintout.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRect>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "link/Link.h"
#include "link/ProgramInfo.h"
#include "platform/FileIo.h"
#include "printer/PrintoutFile.h"
#include "printer/QtPrintout.h"

namespace brindle {

namespace {

const QColor kPaperGrey(128, 128, 128);

// Design positions are in twips, 15 to a pixel.
QRect twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// The designed client area, which is also the smallest the window may be made.
const QSize kSmallest(297, 339);

QPushButton* button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

// A step of the scroll bar: a fraction of its range, rounded half to even like the range's
// own arithmetic.
int scrollStep(int maximum, int parts) {
    return static_cast<int>(std::nearbyint(maximum / static_cast<double>(parts) + 1));
}

}  // namespace

PrintoutCanvas::PrintoutCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName("Picture1");
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PrintoutCanvas::setPicture(std::optional<PrintoutPicture> picture) {
    picture_ = std::move(picture);
    update();
}

void PrintoutCanvas::setCanvasTop(int top) {
    top_ = top;
    update();
}

void PrintoutCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), kPaperGrey);
    if (!picture_) return;
    const PrintoutPicture& p = *picture_;
    // The picture rows that meet the area to paint, and only those.
    const int first = std::max(0, event->rect().top() - top_);
    const int end = std::min(p.height(), event->rect().bottom() + 1 - top_);
    if (first >= end) return;
    painter.drawImage(0, top_ + first, PrintoutRows(p, first, end));
}

frmPrintout::frmPrintout(Link& link, QWidget* parent) : QWidget(parent, Qt::Window), link_(link) {
    setObjectName("frmPrintout");
    setWindowTitle(QString("%1 - Printer Output").arg(kProgramTitle));
    // A frame without minimise and maximise buttons; it can be made larger than the design to
    // see more of the printout.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setMinimumSize(kSmallest);
    resize(kSmallest);

    Picture2 = new QFrame(this);
    Picture2->setObjectName("Picture2");
    Picture2->setFrameStyle(QFrame::Box | QFrame::Plain);
    Picture2->setLineWidth(1);
    Picture2->setAutoFillBackground(true);
    QPalette grey = Picture2->palette();
    grey.setColor(QPalette::Window, kPaperGrey);
    Picture2->setPalette(grey);
    Picture1 = new PrintoutCanvas(Picture2);

    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName("VScroll1");
    // The canvas moves when the thumb is let go, not while it is dragged.
    VScroll1->setTracking(false);
    connect(VScroll1, &QScrollBar::valueChanged, this,
            [this](int value) { Picture1->setCanvasTop(-value); });

    cmdFeed = button(this, "cmdFeed", "&Feed");
    cmdFeed->installEventFilter(this);
    cmdSave = button(this, "cmdSave", "&Save");
    connect(cmdSave, &QPushButton::clicked, this, &frmPrintout::cmdSave_Click);
    cmdClear = button(this, "cmdClear", "C&lear");
    connect(cmdClear, &QPushButton::clicked, this, &frmPrintout::cmdClear_Click);
    cmdHide = button(this, "cmdHide", "&Hide");
    connect(cmdHide, &QPushButton::clicked, this, &QWidget::hide);
    placeControls();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &frmPrintout::Timer1_Timer);

    // Printing has no button of its own: the window's context menu holds it.
    ContextMenu_Print = new QAction("Print", this);
    ContextMenu_Print->setObjectName("ContextMenu_Print");
    connect(ContextMenu_Print, &QAction::triggered, this, &frmPrintout::ContextMenu_Print_Click);
    addAction(ContextMenu_Print);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    choosePrinter = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    moveToTrash = [](const std::filesystem::path& file) {
        return QFile::moveToTrash(QString::fromStdString(file.string()));
    };

    FeedHeld = false;
    LoadPrintout();
}

void frmPrintout::ShowBeside(const QRect& mainFrame) {
    show();
    move(std::max(0, mainFrame.left() - frameGeometry().width()), mainFrame.top());
}

void frmPrintout::LoadPrintout() {
    // A step that fails is skipped: an unreadable file leaves the canvas as it was.
    const std::filesystem::path path = PrintoutPath(link_.options.TransferDirectory);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        Picture1->setPicture(std::nullopt);
    } else if (auto file = link_.services.files.read(path, kMaxPrintoutBytes, nullptr)) {
        if (auto picture = PrintoutPicture::Read(std::move(*file)))
            Picture1->setPicture(std::move(picture));
    }
    ContextMenu_Print_Update();
    fitScrollBar();
}

void frmPrintout::placeControls() {
    // What the window gains over the design goes to the viewport; the scroll bar keeps to the
    // right edge, the buttons to the bottom, Hide to the bottom right.
    const int wider = width() - kSmallest.width();
    const int taller = height() - kSmallest.height();
    Picture2->setGeometry(twips(120, 120, 3875, 4350).adjusted(0, 0, wider, taller));
    Picture1->setGeometry(Picture2->contentsRect());
    VScroll1->setGeometry(twips(4080, 120, 255, 4335).adjusted(wider, 0, wider, taller));
    const auto place = [taller](QPushButton* b, int left, int shift) {
        b->setGeometry(twips(left, 4560, 855, 375).translated(shift, taller));
    };
    place(cmdFeed, 120, 0);
    place(cmdSave, 1080, 0);
    place(cmdClear, 2040, 0);
    place(cmdHide, 3480, wider);
}

void frmPrintout::fitScrollBar() {
    const int outer = Picture2->height();
    const int border = outer - Picture2->contentsRect().height();
    const int maximum = std::max(0, Picture1->canvasHeight() - outer) + border;
    VScroll1->setRange(0, maximum);
    VScroll1->setSingleStep(scrollStep(maximum, 20));
    VScroll1->setPageStep(scrollStep(maximum, 5));
    // At the end of the range the newest row lies on the viewport's lower inside edge.
    const bool fits = Picture1->canvasHeight() < outer;
    VScroll1->setValue(fits ? maximum - border : maximum);
    VScroll1->setEnabled(!fits);
    Picture1->setCanvasTop(-VScroll1->value());
}

void frmPrintout::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeControls();
    fitScrollBar();
}

bool frmPrintout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cmdFeed) {
        // Any mouse button; a double click's second press counts as a press.
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                cmdFeed_MouseDown();
                break;
            case QEvent::MouseButtonRelease:
                cmdFeed_MouseUp();
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmPrintout::cmdFeed_MouseDown() {
    if (FeedHeld) return;
    FeedHeld = true;
    feedBand();
}

void frmPrintout::cmdFeed_MouseUp() {
    Timer1->stop();
    FeedHeld = false;
}

void frmPrintout::Timer1_Timer() {
    Timer1->stop();
    feedBand();
}

void frmPrintout::feedBand() {
    static constexpr std::array<std::uint8_t, kPrinterColumns> kBlankLine{};
    // A failure's message box takes the button's release with it, so a failed band ends the
    // feed rather than repeating the failure every 100 ms.
    if (!AddToBitmap(link_, kBlankLine, [this] { LoadPrintout(); })) FeedHeld = false;
    // Counted from the end of the write: slow writes slow the feed rather than pile up.
    if (FeedHeld) Timer1->start();
}

void frmPrintout::cmdSave_Click() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.title = "Save Printer Output";
    request.filter = "*.BMP|*.BMP|PNG picture (*.png)|*.png";
    request.defaultExtension = "BMP";
    request.initialDirectory = link_.options.TransferDirectory;
    request.pathMustExist = true;
    const std::optional<std::string> chosen = link_.services.dialogs.run(request);
    // Any failure ends the save without a word, an existing file of the name untouched.
    // A name ending in .png asks for a PNG picture; any other name gets the file itself.
    if (!chosen) return;
    std::string extension = std::filesystem::path(*chosen).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".png") {
        SavePrintoutPng(link_.services.files, link_.options.TransferDirectory, *chosen);
    } else {
        SavePrintoutCopy(link_.services.files, link_.options.TransferDirectory, *chosen);
    }
}

void frmPrintout::ContextMenu_Print_Update() {
    ContextMenu_Print->setEnabled(Picture1->picture().has_value());
}

void frmPrintout::ContextMenu_Print_Click() {
    const std::optional<PrintoutPicture>& picture = Picture1->picture();
    if (!picture) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName("Printer Output");
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    if (choosePrinter && choosePrinter(printer)) PrintPrintout(*picture, printer);
}

void frmPrintout::cmdClear_Click() {
    ClearPrintout(link_.services.files, link_.options.TransferDirectory, moveToTrash);
    LoadPrintout();
}

void frmPrintout::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

}  // namespace brindle
