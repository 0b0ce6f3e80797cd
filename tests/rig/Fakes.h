#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/LinkTypes.h"
#include "platform/FileIo.h"
#include "platform/System.h"

namespace brindle {

// Readable failures: the display as its fields rather than as raw bytes.
inline void PrintTo(const TransferDisplay& d, std::ostream* os) {
    *os << "{filename=\"" << d.filename << "\" filepath=\"" << d.filepath << "\" fileLength=\""
        << d.fileLength << "\" programLength=\"" << d.programLength << "\" start=\"" << d.startAddr
        << "\" end=\"" << d.endAddr << "\" status=\"" << d.status
        << "\" progress=" << d.progressValue << "/" << d.progressMax
        << " info=" << d.programInfo.size() << " chars}";
}

}  // namespace brindle

namespace brindle::rig {

// Runs scripted user actions (Reset, Exit, a setting changed) at chosen moments of an exchange:
// each step waits for its condition and then runs once, at the next processEvents.
class ScriptedPump : public EventPump {
public:
    void processEvents() override;
    void when(std::function<bool()> condition, std::function<void()> action) {
        steps_.push_back({std::move(condition), std::move(action), false});
    }
    // Something that the event loop does on every pass, such as raising waiting port events.
    void everyPass(std::function<void()> action) { passes_.push_back(std::move(action)); }
    int calls() const { return calls_; }

private:
    struct Step {
        std::function<bool()> condition;
        std::function<void()> action;
        bool done;
    };
    std::vector<Step> steps_;
    std::vector<std::function<void()>> passes_;
    int calls_ = 0;
};

class FakeMessages : public MessageBoxes {
public:
    void show(const Message& message) override {
        shown.push_back(message);
        if (onShow) onShow(message);
    }
    std::vector<Message> shown;
    std::function<void(const Message&)> onShow;
};

// Answers file dialogs from a script: each answer is a path, or nothing for Cancel.
class FakeDialogs : public FileDialogs {
public:
    std::optional<std::string> run(const FileDialogRequest& request) override;
    std::deque<std::optional<std::string>> answers;
    std::vector<FileDialogRequest> requests;
    std::function<void(const FileDialogRequest&)> onRun;
};

// The disk with the failures a test injects, as a full disk, a read-only directory or a file that
// vanishes would cause them. Left as it is, nothing fails.
class FaultyFiles : public FileSystem {
public:
    explicit FaultyFiles(FileSystem& disk) : disk_(disk) {}
    std::optional<std::vector<std::uint8_t>> read(const std::filesystem::path& path,
                                                  std::uintmax_t maxBytes,
                                                  FileError* error) override;
    std::unique_ptr<NewFile> create(const std::filesystem::path& path,
                                    std::error_code& ec) override;
    std::error_code rename(const std::filesystem::path& from,
                           const std::filesystem::path& to) override {
        return disk_.rename(from, to);
    }
    void remove(const std::filesystem::path& path) override { disk_.remove(path); }

    // A file's write that would take it past this many bytes fails, as on a full disk.
    std::optional<std::uintmax_t> diskFullAt;
    // Making a file fails, as in a read-only directory.
    bool readOnly = false;
    // Runs just before a whole-file read.
    std::function<void(const std::filesystem::path&)> beforeRead;

private:
    FileSystem& disk_;
};

// Keeps every state of the transfer display that the link presented.
class RecordingDisplay : public DisplaySink {
public:
    void present(const TransferDisplay& display) override {
        last = display;
        ++presents;
        if (keepHistory) history.push_back(display);
    }
    TransferDisplay last;
    int presents = 0;
    bool keepHistory = false;
    std::vector<TransferDisplay> history;
};

// Stands in for the handlers of a request table: every entry records the code and the buffer it
// was handed, and takes off its front what the script says; busy, status and address stay.
class RecordingRequests {
public:
    struct Call {
        std::uint8_t code;
        RequestBuffer buffer;  // the buffer as the handler was given it
        bool operator==(const Call&) const = default;
    };
    void wrap(RequestTable& table);

    // How many bytes each request takes off the front (all when negative).
    int consume = -1;
    std::vector<Call> calls;
    std::function<void(std::uint8_t)> during;  // runs inside every call
};

}  // namespace brindle::rig
