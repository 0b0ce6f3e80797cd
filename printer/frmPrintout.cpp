#include "printer/frmPrintout.h"

#include <QCloseEvent>
#include <QRect>

#include <algorithm>

namespace brindle {

frmPrintout::frmPrintout(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmPrintout");
    setWindowTitle("Brindle - Printer Output");
    // 4455 by 5085 twips at 15 twips to a pixel.
    setFixedSize(297, 339);
}

void frmPrintout::ShowBeside(const QRect& mainFrame) {
    show();
    move(std::max(0, mainFrame.left() - frameGeometry().width()), mainFrame.top());
}

void frmPrintout::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

}  // namespace brindle
