#include "app/TransferHandlers.h"

#include "printer/PrinterStream.h"
#include "zx80/Zx80Transfer.h"
#include "zx81/ProgramFiles.h"
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
    brindle::Printing(link_, buffer, [this] {
        if (printoutChanged) printoutChanged();
    });
}

void TransferHandlers::RefreshOptionsWindow() {
    if (refreshOptions_) refreshOptions_();
}

}  // namespace brindle
