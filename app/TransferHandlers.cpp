#include "app/TransferHandlers.h"

#include "zx81/Zx81Load.h"
#include "zx81/Zx81Save.h"

namespace brindle {

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

std::string TransferHandlers::ChooseZX80Program(bool) {
    return {};
}

void TransferHandlers::SendZX80Program(const std::string&) {}

void TransferHandlers::ReceiveZX80Program(const std::string&, RequestBuffer& buffer) {
    buffer.clear();
}

void TransferHandlers::Printing(RequestBuffer& buffer) {
    buffer.clear();
}

void TransferHandlers::RefreshOptionsWindow() {
    if (refreshOptions_) refreshOptions_();
}

}  // namespace brindle
