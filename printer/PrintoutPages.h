#pragma once

#include <vector>

namespace brindle {

// The rows of the printout that go on one printed page: from first up to end, counted from the
// top.
struct PageRows {
    int first = 0;
    int end = 0;

    bool operator==(const PageRows&) const = default;
};

// Cuts a printout of `height` rows into pages whose printable height holds `printableHeight`
// printer units, at `scale` units a row. A page holds whole printer lines only, at least one
// even where a line is taller than the page, so no page break runs through a line of text; and
// no page is left without rows.
std::vector<PageRows> PrintoutPages(int height, double printableHeight, double scale);

}  // namespace brindle
