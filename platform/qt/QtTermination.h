#pragma once

#include <functional>

namespace brindle {

// Runs `onTerminate` on the user-interface thread when the process is asked to end (SIGTERM,
// SIGHUP at logout, SIGINT), so that such an end saves the settings like Exit does.
void HandleTerminationSignals(std::function<void()> onTerminate);

}  // namespace brindle
