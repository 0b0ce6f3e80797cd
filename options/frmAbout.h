#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace brindle {

// The about box: the program's title, version and purpose. Opened modally; OK closes it.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* Label1;
    QLabel* picIcon;
    QPushButton* cmdOK;
};

}  // namespace brindle
