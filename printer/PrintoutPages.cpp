#include "printer/PrintoutPages.h"

#include <algorithm>
#include <cmath>

#include "printer/Printout.h"

namespace brindle {

std::vector<PageRows> PrintoutPages(int height, double printableHeight, double scale) {
    constexpr int band = static_cast<int>(kBandRows);
    const int lines = (height + band - 1) / band;
    const double fit = std::floor(printableHeight / scale / band);
    // Compared as doubles first: a page far taller than the printout must not overflow an int.
    const int linesPerPage = fit >= lines ? lines : fit >= 1 ? static_cast<int>(fit) : 1;
    std::vector<PageRows> pages;
    for (int first = 0; first < height; first += linesPerPage * band)
        pages.push_back({first, std::min(height, first + linesPerPage * band)});
    return pages;
}

}  // namespace brindle
