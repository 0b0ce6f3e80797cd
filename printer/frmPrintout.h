#pragma once

#include <QWidget>

class QRect;

namespace brindle {

// The printer-output window, created hidden at start-up and shown beside the main window;
// closing it only hides it.
class frmPrintout : public QWidget {
    Q_OBJECT

public:
    explicit frmPrintout(QWidget* parent = nullptr);

    // The "Printer Output" menu entry: show against the main window's left side, never past the
    // screen's left edge.
    void ShowBeside(const QRect& mainFrame);

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace brindle
