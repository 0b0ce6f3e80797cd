#include "options/frmAbout.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "options/OptionsRules.h"
#include "platform/qt/ProgramIcon.h"

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

    picIcon->setPixmap(ProgramIcon().pixmap(64, 64));
    picIcon->setFixedSize(64, 64);

    // One font size throughout the program: the title stands out by weight alone.
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    // The icon keeps only its own width; the texts take the rest.
    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(16);
    layout->addWidget(picIcon, 0, 0, 4, 1, Qt::AlignTop);
    layout->addWidget(lblTitle, 0, 1);
    layout->addWidget(lblVersion, 1, 1);
    layout->addWidget(lblDescription, 2, 1);
    layout->addWidget(Label1, 3, 1);
    layout->addWidget(cmdOK, 4, 0, 1, 2, Qt::AlignRight);
    layout->setColumnStretch(1, 1);
    setMinimumWidth(420);

    setModal(true);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace brindle
