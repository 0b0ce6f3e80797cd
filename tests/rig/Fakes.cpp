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

namespace {

// A file on a disk that may fill up: it takes what fits and refuses the rest.
class FillingFile : public NewFile {
public:
    FillingFile(std::unique_ptr<NewFile> file, const std::optional<std::uintmax_t>& fullAt)
        : file_(std::move(file)), fullAt_(fullAt) {}
    std::error_code write(const std::uint8_t* data, std::size_t size) override {
        const std::uintmax_t room = fullAt_ ? *fullAt_ - std::min(*fullAt_, written_) : size;
        const std::size_t fits = static_cast<std::size_t>(std::min<std::uintmax_t>(room, size));
        written_ += fits;
        if (const std::error_code ec = file_->write(data, fits)) return ec;
        return fits == size ? std::error_code{}
                            : std::make_error_code(std::errc::no_space_on_device);
    }
    std::error_code close() override { return file_->close(); }

private:
    std::unique_ptr<NewFile> file_;
    const std::optional<std::uintmax_t>& fullAt_;
    std::uintmax_t written_ = 0;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> FaultyFiles::read(const std::filesystem::path& path,
                                                           std::uintmax_t maxBytes,
                                                           FileError* error) {
    if (beforeRead) beforeRead(path);
    return disk_.read(path, maxBytes, error);
}

std::unique_ptr<NewFile> FaultyFiles::create(const std::filesystem::path& path,
                                             std::error_code& ec) {
    if (readOnly) {
        ec = std::make_error_code(std::errc::permission_denied);
        return nullptr;
    }
    std::unique_ptr<NewFile> file = disk_.create(path, ec);
    if (!file) return nullptr;
    return std::make_unique<FillingFile>(std::move(file), diskFullAt);
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
