#pragma once

#include <functional>

#include "app/Link.h"

namespace brindle {

// The program's request handlers, as the dispatcher calls them: the ZX81 and ZX80 transfers and
// the printer line.
class TransferHandlers : public RequestHandlers {
public:
    TransferHandlers(Link& link, std::function<void()> refreshOptions);

    void ReceiveZX81Program(RequestBuffer& buffer) override;
    void SendZX81Program(RequestBuffer& buffer, const std::string& givenName,
                         const std::string& givenFormat) override;
    std::string ChooseZX81Program(RequestBuffer& buffer) override;
    std::string ChooseZX80Program(bool sending) override;
    void SendZX80Program(const std::string& pcFileName) override;
    void ReceiveZX80Program(const std::string& pcFileName, RequestBuffer& buffer) override;
    void Printing(RequestBuffer& buffer) override;
    void RefreshOptionsWindow() override;

    // Called after a printer line has been added to the printout, so the printer window shows it.
    std::function<void()> printoutChanged;

private:
    Link& link_;
    std::function<void()> refreshOptions_;
};

}  // namespace brindle
