// The printer window's page plan, Clear that can be undone, and a window made larger.
#include <gtest/gtest.h>
#include <QPushButton>

#include "printer/PrintoutPages.h"
#include "printer/frmPrintout.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

using namespace rig;

TEST(PrintoutPages, BreakBetweenLinesOnlyWithAtLeastOneLineAPage) {
    // The printout's height in rows, the printable height, units a row, and the pages.
    const std::tuple<int, double, double, std::vector<PageRows>> cases[] = {
        {200, 100, 1, {{0, 96}, {96, 192}, {192, 200}}},  // room for 12.5 lines: 12 a page
        {192, 100, 1, {{0, 96}, {96, 192}}},              // pages filled exactly: none after
        {70, 100, 3, {{0, 32}, {32, 64}, {64, 70}}},
        {20, 5, 1, {{0, 8}, {8, 16}, {16, 20}}},  // a line taller than the page
        {20, 1e12, 1e-3, {{0, 20}}},              // a page far taller than the printout
    };
    for (const auto& [height, printable, scale, pages] : cases)
        EXPECT_EQ(PrintoutPages(height, printable, scale), pages) << height << ", " << printable;
}

TEST(PrintoutClear, GoesToTheDesktopsTrashOrElseReplacesPrintOutBak) {
    for (const bool trash : {true, false}) {
        DirSession s;
        frmPrintout w{s.rig.link};
        if (!trash) w.moveToTrash = [](const std::filesystem::path&) { return false; };
        s.Put("PrintOut.bak", {1});
        s.Put("PrintOut.bmp", {2});
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");  // where Qt's trash lies
        qputenv("XDG_DATA_HOME", s.dir.text().c_str());
        w.cmdClear->click();
        qputenv("XDG_DATA_HOME", dataHome);
        EXPECT_EQ(std::tuple(s.File("Trash/files/PrintOut.bmp"), s.File("PrintOut.bak")),
                  trash ? std::tuple(Bytes{2}, Bytes{1}) : std::tuple(Bytes{}, Bytes{2}));
        EXPECT_FALSE(std::filesystem::exists(s.printout()));
    }
}

TEST(frmPrintoutResize, TheViewportTakesTheRoomAndShowsTheNewestLineAtItsLowerEdge) {
    DirSession s;
    s.Put("PrintOut.bmp", Printout(std::vector<Bytes>(100, Band())));
    frmPrintout w{s.rig.link};
    w.show();
    EXPECT_EQ(w.minimumSize(), QSize(297, 339));
    const QSize inside = w.Picture1->size();
    const QPoint corner = w.rect().bottomRight() - w.cmdHide->geometry().bottomRight();
    w.resize(400, 600);
    EXPECT_EQ(w.Picture1->size() - inside, QSize(103, 261));
    EXPECT_EQ(w.rect().bottomRight() - w.cmdHide->geometry().bottomRight(), corner);
    EXPECT_EQ(w.Picture1->canvasTop() + w.Picture1->canvasHeight(), w.Picture1->height());
}

}  // namespace
}  // namespace brindle
