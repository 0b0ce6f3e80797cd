#include "app/TransferHandlers.h"

#include <algorithm>
#include <cstdint>

#include "printer/PrinterStream.h"
#include "zx81/Zx81Load.h"
#include "zx81/Zx81Save.h"

namespace brindle {

namespace {

// One second of silence, in poll cycles of 10 ms.
constexpr int kSilentPolls = 100;

// Takes the bytes of a request that the program cannot handle yet off the link, so that none of
// them is read as a new request: up to `count` bytes are dropped, polling for them until they
// have come or the peer has been silent for a second; what follows them stays in the buffer. A
// transfer lets events run, so Reset ends it early.
void DropRequestBytes(Link& link, RequestBuffer& buffer, std::size_t count, bool letEventsRun) {
    for (int silent = 0; silent < kSilentPolls;) {
        const std::size_t take = std::min(count, buffer.size());
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(take));
        count -= take;
        if (count == 0) return;
        link.PollLink(buffer);
        silent = buffer.empty() ? silent + 1 : 0;
        if (!letEventsRun) continue;
        link.ProcessEvents();
        if (link.state.AbortFlag) break;
    }
    buffer.clear();
}

// What the ZX80 dialog stands in for until ZX80 files exist: nothing to send, and a name for a
// SAVE so that its bytes are taken off the link.
constexpr const char* kZx80Unstored = "-";

}  // namespace

TransferHandlers::TransferHandlers(Link& link, std::function<void()> refreshOptions)
    : link_(link), refreshOptions_(std::move(refreshOptions)) {}

void TransferHandlers::ReceiveZX81Program(RequestBuffer& buffer) {
    brindle::ReceiveZX81Program(link_, buffer);
}

void TransferHandlers::SendZX81Program(RequestBuffer& buffer, const std::string& givenName,
                                       const std::string& givenFormat) {
    brindle::SendZX81Program(link_, buffer, givenName, givenFormat);
}

std::string TransferHandlers::ChooseZX81Program(RequestBuffer& buffer) {
    std::vector<std::uint8_t> nameBytes;
    std::string name = brindle::ChooseZX81Program(link_, nameBytes);
    buffer = std::move(nameBytes);
    return name;
}

std::string TransferHandlers::ChooseZX80Program(bool sending) {
    return sending ? std::string{} : std::string{kZx80Unstored};
}

void TransferHandlers::SendZX80Program(const std::string&) {}

void TransferHandlers::ReceiveZX80Program(const std::string&, RequestBuffer& buffer) {
    DropRequestBytes(link_, buffer, SIZE_MAX, true);
}

void TransferHandlers::Printing(RequestBuffer& buffer) {
    brindle::Printing(link_, buffer, [this] {
        if (printoutChanged) printoutChanged();
    });
}

void TransferHandlers::RefreshOptionsWindow() {
    if (refreshOptions_) refreshOptions_();
}

}  // namespace brindle
