#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "options/frmAbout.h"

namespace brindle {
namespace {

TEST(AboutBox, ShowsVersionAndIconAndOkEndsTheModalRun) {
    frmAbout box;
    EXPECT_EQ(box.lblVersion->text(), "Version 1.6.0");
    EXPECT_FALSE(box.picIcon->pixmap().isNull());
    EXPECT_TRUE(box.isModal());
    QTimer::singleShot(0, &box, [&box] { box.cmdOK->click(); });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
}

}  // namespace
}  // namespace brindle
