#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QStyle>

#include "platform/qt/QtSystem.h"

namespace brindle {
namespace {

// A box leaves its caption room beside the title bar's icon and three buttons (each as wide as
// the bar is high), however short its text.
TEST(MessageBoxFor, IsWideEnoughForItsWholeTitle) {
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    for (const char* caption : {"Error", "Brindle V1.06: a caption far longer than its text"}) {
        const auto box = MessageBoxFor({"Invalid File", caption, MessageIcon::None, {}}, nullptr);
        box->show();
        QApplication::processEvents();
        EXPECT_GE(box->width(), QFontMetrics(titleFont).horizontalAdvance(caption) +
                                    4 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight))
            << caption;
        EXPECT_EQ(box->windowTitle(), caption);
    }
}

}  // namespace
}  // namespace brindle
