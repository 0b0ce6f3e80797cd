#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

#include "printer/Printout.h"

class QAction;
class QFrame;
class QPrinter;
class QPushButton;
class QRect;
class QScrollBar;
class QTimer;

namespace brindle {

class Link;

// The canvas that holds the printout inside the viewport. It covers the viewport's inside and
// draws only the rows in view, from the file's own 1-bit rows: a printout of any length needs
// no picture of its full height, which the window system could not hold past 32,767 rows.
class PrintoutCanvas : public QWidget {
public:
    explicit PrintoutCanvas(QWidget* parent);

    // Nothing removes the picture: the canvas is then one pixel high and empty.
    void setPicture(std::optional<PrintoutPicture> picture);
    const std::optional<PrintoutPicture>& picture() const { return picture_; }
    int canvasHeight() const { return picture_ ? picture_->height() : 1; }
    // Where the canvas's top row stands against the viewport's inside; 0 or less.
    int canvasTop() const { return top_; }
    void setCanvasTop(int top);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<PrintoutPicture> picture_;
    int top_ = 0;
};

// The printer-output window: shows "PrintOut.bmp" of the transfer directory scrolled to its
// newest line, and feeds, saves, clears and hides. Created hidden at start-up; closing it only
// hides it. Scroll values are in pixels, so a printout of any length scrolls in full. Made larger
// than its design, it shows more of the printout, one dot a pixel still.
class frmPrintout : public QWidget {
    Q_OBJECT

public:
    frmPrintout(Link& link, QWidget* parent = nullptr);

    // The "Printer Output" menu entry: show against the main window's left side, never past the
    // screen's left edge.
    void ShowBeside(const QRect& mainFrame);

    // Shows the printout file as it now is, scrolled to its end.
    void LoadPrintout();

    // Feed reacts to the mouse only: a press adds a blank band at once, and while the button is
    // held the timer adds one more 100 ms after each band has been written.
    void cmdFeed_MouseDown();
    void cmdFeed_MouseUp();
    void Timer1_Timer();
    void cmdSave_Click();
    void cmdClear_Click();
    // Prints the printout as it is shown on a printer the user chooses.
    void ContextMenu_Print_Click();

    QFrame* Picture2;  // the viewport
    PrintoutCanvas* Picture1;
    QScrollBar* VScroll1;
    QPushButton* cmdFeed;
    QPushButton* cmdSave;
    QPushButton* cmdClear;
    QPushButton* cmdHide;
    QTimer* Timer1;
    QAction* ContextMenu_Print;
    bool FeedHeld = false;
    // Lets the user choose and set up the printer; false when cancelled. A print dialog unless
    // replaced.
    std::function<bool(QPrinter&)> choosePrinter;
    // Moves a file into the desktop's trash; false where there is none. Qt's own unless replaced.
    std::function<bool(const std::filesystem::path&)> moveToTrash;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeControls();
    // Sets the scroll range for the viewport's height and moves the view to the end of the
    // printout, the newest line on the viewport's lower inside edge.
    void fitScrollBar();
    void feedBand();
    void ContextMenu_Print_Update();

    Link& link_;
};

}  // namespace brindle
