#pragma once

#include <map>
#include <string>

#include "platform/PortHolders.h"
#include "tests/rig/SimPeer.h"

namespace brindle::rig {

// The simulated peer behind ports with real-looking device names and adapter names.
class NamedPeer : public SimPeer {
public:
    using SimPeer::SimPeer;
    std::string deviceName(int number) const override {
        auto it = devices.find(number);
        return it == devices.end() ? SimPeer::deviceName(number) : it->second;
    }
    std::string deviceId(int number) const override {
        auto it = ids.find(number);
        return it == ids.end() ? std::string() : it->second;
    }
    std::vector<PortHolder> holders(int number) const override {
        return FindPortHolders(deviceName(number), procRoot);
    }
    std::map<int, std::string> devices;
    std::map<int, std::string> ids;
    std::filesystem::path procRoot = "/proc";
};

}  // namespace brindle::rig
