#include "options/frmAbout.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "options/OptionsRules.h"

namespace brindle {

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent),
      lblTitle(new QLabel(this)),
      lblVersion(new QLabel(this)),
      lblDescription(new QLabel(this)),
      Label1(new QLabel(this)),
      picIcon(new QLabel(this)),
      cmdOK(new QPushButton(QStringLiteral("OK"), this)) {
    const QString title = QString::fromUtf8(kProgramTitle);
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(QString::fromStdString(VersionText()));
    lblTitle->setText(title);
    lblDescription->setText(
        QStringLiteral("Allows transfer of ZX81 .P81/.P and ZX80 .O files to and from the "
                       "Spectrum 128 'ZX81' and 'ZX80' ROM cartridges."));
    Label1->setText(
        QStringLiteral("[The .P81 format differs to .P by including the cassette filename before "
                       "the program bytes.]"));
    lblDescription->setWordWrap(true);
    Label1->setWordWrap(true);

    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    picIcon->setPixmap(icon.pixmap(32, 32));

    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    auto* layout = new QGridLayout(this);
    layout->addWidget(picIcon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(lblTitle, 0, 1);
    layout->addWidget(lblVersion, 1, 1);
    layout->addWidget(lblDescription, 2, 1);
    layout->addWidget(Label1, 3, 1);
    layout->addWidget(cmdOK, 4, 1, Qt::AlignRight);
    setMinimumWidth(380);

    setModal(true);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace brindle
