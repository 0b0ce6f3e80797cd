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
    const Message messages[] = {
        {"Invalid File", "Error", MessageIcon::None, {}},
        {"Invalid Filename", "Brindle V1.06: a caption far longer than its text", {}, {}},
    };
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    for (const Message& message : messages) {
        const std::unique_ptr<QMessageBox> box = MessageBoxFor(message, nullptr);
        box->show();
        QApplication::processEvents();
        const int buttons = 4 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        EXPECT_GE(box->width(), QFontMetrics(titleFont).horizontalAdvance(
                                    QString::fromStdString(message.caption)) +
                                    buttons)
            << message.caption;
        EXPECT_EQ(box->windowTitle().toStdString(), message.caption);
    }
}

}  // namespace
}  // namespace brindle
