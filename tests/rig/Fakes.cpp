#include "tests/rig/Fakes.h"

#include <algorithm>

namespace brindle::rig {

void ScriptedPump::processEvents() {
    ++calls_;
    for (auto& step : steps_) {
        if (!step.done && step.condition()) {
            step.done = true;
            step.action();
        }
    }
    for (auto& pass : passes_) pass();
}

std::optional<std::string> FakeDialogs::run(const FileDialogRequest& request) {
    requests.push_back(request);
    if (onRun) onRun(request);
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingRequests::wrap(RequestTable& table) {
    for (auto& [code, request] : table) {
        request.run = [this, code = code](RequestBuffer& buffer) {
            calls.push_back({code, buffer});
            if (during) during(code);
            const std::size_t n =
                consume < 0 ? buffer.size() : std::min(buffer.size(), std::size_t(consume));
            buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
        };
    }
}

}  // namespace brindle::rig
