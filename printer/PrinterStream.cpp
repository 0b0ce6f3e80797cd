#include "printer/PrinterStream.h"

#include <algorithm>
#include <array>

#include "printer/PrintoutFile.h"

namespace brindle {

namespace {

// ESC "1", ESC "L" with a column count of 256, low byte first.
constexpr std::array<std::uint8_t, 5> kLineHeader{0x31, 0x1B, 0x4C, 0x00, 0x01};

// Seconds readings that differ by this much mean the peer has gone quiet.
constexpr std::int64_t kSilentSeconds = 2;

}  // namespace

void Printing(Link& link, RequestBuffer& buffer, const std::function<void()>& loadPrintout) {
    Clock& clock = link.services.clock;
    link.services.port.setDtr(false);
    std::int64_t lastArrival = clock.nowSeconds();
    // Polls until the buffer holds `count` bytes; false, the buffer emptied, after silence.
    const auto waitFor = [&](std::size_t count) {
        while (buffer.size() < count) {
            const std::size_t before = buffer.size();
            link.PollLink(buffer);
            const std::int64_t now = clock.nowSeconds();
            if (buffer.size() > before) lastArrival = now;
            if (now - lastArrival >= kSilentSeconds) {
                buffer.clear();
                return false;
            }
        }
        return true;
    };
    const auto drop = [&buffer](std::size_t count) {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
    };

    if (!waitFor(kLineHeader.size())) return;
    const bool known = std::equal(kLineHeader.begin(), kLineHeader.end(), buffer.begin());
    drop(kLineHeader.size());
    if (!known) return;
    lastArrival = clock.nowSeconds();

    if (!waitFor(kPrinterColumns)) return;
    link.observed.file = PrintoutPath(link.options.TransferDirectory).string();
    link.observed.bytes = static_cast<std::int64_t>(kLineHeader.size() + kPrinterColumns);
    link.observed.complete =
        AddToBitmap(link, PrinterLine(buffer.data(), kPrinterColumns), loadPrintout);
    drop(kPrinterColumns);
}

}  // namespace brindle
