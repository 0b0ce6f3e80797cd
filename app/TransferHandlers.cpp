#include "app/TransferHandlers.h"

#include <algorithm>
#include <cstdint>

#include "zx81/ProgramFiles.h"

#include "zx80/Zx80Transfer.h"
#include "zx81/Zx81Load.h"
#include "zx81/Zx81Save.h"

namespace brindle {

namespace {

// One second of silence, in poll cycles of 10 ms.
constexpr int kSilentPolls = 100;

// What follows the code of a printer line: a 5-byte header and 256 column bytes.
constexpr std::size_t kPrinterLineBytes = 5 + 256;

// Takes the bytes of a request that the program cannot handle yet off the link, so that none of
// them is read as a new request: up to `count` bytes are dropped, polling for them until they
// have come or the peer has been silent for a second; what follows them stays in the buffer.
void DropRequestBytes(Link& link, RequestBuffer& buffer, std::size_t count) {
    for (int silent = 0; silent < kSilentPolls;) {
        const std::size_t take = std::min(count, buffer.size());
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(take));
        count -= take;
        if (count == 0) return;
        link.PollLink(buffer);
        silent = buffer.empty() ? silent + 1 : 0;
    }
    buffer.clear();
}

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
    const std::optional<ChosenFile> chosen = brindle::ChooseZX80Program(link_, sending);
    return chosen ? chosen->name.baseName : std::string{};
}

void TransferHandlers::SendZX80Program(const std::string& pcFileName) {
    brindle::SendZX80Program(link_, pcFileName, PathFromUtf8(link_.state.ChosenFile));
}

void TransferHandlers::ReceiveZX80Program(const std::string& pcFileName, RequestBuffer& buffer) {
    brindle::ReceiveZX80Program(link_, pcFileName, buffer, PathFromUtf8(link_.state.ChosenFile));
}

void TransferHandlers::Printing(RequestBuffer& buffer) {
    DropRequestBytes(link_, buffer, kPrinterLineBytes);
}

void TransferHandlers::RefreshOptionsWindow() {
    if (refreshOptions_) refreshOptions_();
}

}  // namespace brindle
