#pragma once

#include <string>
#include <vector>

#include "tests/rig/Rig.h"
#include "zx81/Zx81Save.h"

namespace brindle::rig {

// The real ZX81 handlers wired into a rig. Requests they do not serve are recorded by name and
// taken off the link whole, so a test can tell that no stray byte was taken for a request.
class Zx81TestHandlers : public RequestHandlers {
public:
    explicit Zx81TestHandlers(Rig& rig) : rig_(rig) { rig.link.setHandlers(this); }

    void ReceiveZX81Program(RequestBuffer& buffer) override {
        saveEntryBuffers.push_back(buffer);
        const int raisesBefore = rig_.peer.dtrRaises();
        brindle::ReceiveZX81Program(rig_.link, buffer);
        savePolls.push_back(rig_.peer.dtrRaises() - raisesBefore);
        saveLeftBuffers.push_back(buffer);
    }
    void SendZX81Program(RequestBuffer& buffer, const std::string&, const std::string&) override {
        other("SendZX81", buffer);
    }
    std::string ChooseZX81Program(RequestBuffer& buffer) override {
        other("ChooseZX81", buffer);
        return {};
    }
    std::string ChooseZX80Program(bool) override {
        others.push_back("ChooseZX80");
        return {};
    }
    void SendZX80Program(const std::string&) override { others.push_back("SendZX80"); }
    void ReceiveZX80Program(const std::string&, RequestBuffer& buffer) override {
        other("ReceiveZX80", buffer);
    }
    void Printing(RequestBuffer& buffer) override { other("Printing", buffer); }
    void RefreshOptionsWindow() override { ++refreshes; }

    std::vector<RequestBuffer> saveEntryBuffers;  // the buffer each SAVE was handed
    std::vector<RequestBuffer> saveLeftBuffers;   // what each SAVE left in it
    std::vector<int> savePolls;                   // poll cycles (DTR raises) of each SAVE
    std::vector<std::string> others;
    int refreshes = 0;

private:
    void other(const std::string& name, RequestBuffer& buffer) {
        others.push_back(name);
        buffer.clear();
    }

    Rig& rig_;
};

}  // namespace brindle::rig
