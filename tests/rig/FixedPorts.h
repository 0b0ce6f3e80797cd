#pragma once

#include <string>
#include <utility>

#include "platform/PortCatalogue.h"
#include "platform/PortMap.h"

namespace brindle::rig {

// Port numbers pinned to devices, every one of them free.
class FixedPorts : public PortCatalogue {
public:
    explicit FixedPorts(PortMap ports) : ports_(std::move(ports)) {}
    std::string deviceName(int number) const override {
        auto it = ports_.find(number);
        return it == ports_.end() ? std::string() : it->second;
    }
    OpenFailure availability(int number) const override {
        return ports_.contains(number) ? OpenFailure::None : OpenFailure::NoSuchPort;
    }

private:
    PortMap ports_;
};

}  // namespace brindle::rig
