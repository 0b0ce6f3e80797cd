#pragma once

#include <string>
#include <vector>

#include "platform/PortCatalogue.h"
#include "platform/PortHolders.h"
#include "platform/SerialPort.h"

namespace brindle {

// What to tell a user whose port would not open: why, and what to do about it. device is the
// port's device (empty when the number has none); holders are the processes found holding it,
// looked at only when the port is in use.
std::string PortAdvice(OpenFailure failure, const std::string& device,
                       const std::vector<PortHolder>& holders);

// What the port list shows for a port: its device and an adapter's lasting name, which says which
// adapter it is. The port in use was asked for low latency when it was opened; if its adapter
// still holds back what it receives, the udev rule that makes it pass bytes on at once follows.
std::string PortTip(const PortCatalogue& catalogue, const SerialPort& port, int number);

}  // namespace brindle
