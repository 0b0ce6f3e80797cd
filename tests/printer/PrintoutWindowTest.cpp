// Printed pages: whole printer lines on every page.
#include <gtest/gtest.h>

#include "printer/PrintoutPages.h"

namespace brindle {
namespace {

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

}  // namespace
}  // namespace brindle
