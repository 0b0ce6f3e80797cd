#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "options/frmAbout.h"

namespace brindle {
namespace {

TEST(AboutBox, ShowsTitleVersionAndPurpose) {
    frmAbout box;
    EXPECT_EQ(box.windowTitle(), "About Brindle");
    EXPECT_EQ(box.lblTitle->text(), "Brindle");
    EXPECT_EQ(box.lblVersion->text(), "Version 1.6.0");
    EXPECT_EQ(box.lblDescription->text(),
              "Allows transfer of ZX81 .P81/.P and ZX80 .O files to and from the Spectrum 128 "
              "'ZX81' and 'ZX80' ROM cartridges.");
    EXPECT_EQ(box.Label1->text(),
              "[The .P81 format differs to .P by including the cassette filename before the "
              "program bytes.]");
    EXPECT_EQ(box.cmdOK->text(), "OK");
    EXPECT_FALSE(box.picIcon->pixmap().isNull());
}

TEST(AboutBox, OkEndsTheModalRun) {
    frmAbout box;
    EXPECT_TRUE(box.isModal());
    QTimer::singleShot(0, &box, [&box] { box.cmdOK->click(); });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
}

}  // namespace
}  // namespace brindle
