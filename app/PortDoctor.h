#pragma once

#include <string>
#include <vector>

#include "platform/LatencyTimer.h"
#include "platform/PortHolders.h"
#include "platform/SerialPort.h"

namespace brindle {

// What to tell a user whose port would not open: why, and what to do about it. device is the
// port's device (empty when the number has none); holders are the processes found holding it,
// looked at only when the port is in use.
std::string PortAdvice(OpenFailure failure, const std::string& device,
                       const std::vector<PortHolder>& holders);

// What to tell a user whose adapter still holds back what it receives after the program asked
// for low latency and tried to set its latency timer: the udev rule that sets the timer.
std::string LatencyAdvice(const std::string& device, const LatencyTimer& timer);

}  // namespace brindle
