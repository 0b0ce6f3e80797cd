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

void RecordingHandlers::record(const std::string& name, RequestBuffer& buffer, std::string a1,
                               std::string a2) {
    calls.push_back({name, buffer, std::move(a1), std::move(a2)});
    if (during) during(name);
    if (name == "SendZX80" || name == "ChooseZX80" || name == "Refresh" || name == "ChooseZX81")
        return;
    const std::size_t n =
        consume < 0 ? buffer.size() : std::min(buffer.size(), static_cast<std::size_t>(consume));
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace brindle::rig
