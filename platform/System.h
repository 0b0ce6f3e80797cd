#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brindle {

// The waits of the link and the printer's seconds clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleepMs(int ms) = 0;
    virtual std::int64_t nowSeconds() = 0;
};

// Lets pending user-interface events (Reset, menus, repaints) run from inside a transfer.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
};

enum class MessageIcon { None, Exclamation };

struct Message {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    std::string detail;  // an extra line under the text, empty for none

    bool operator==(const Message&) const = default;
};

// Modal message boxes with one OK button.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(const Message& message) = 0;
};

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;
    std::string filter;  // "Description (*.A;*.B)|*.A;*.B"
    std::string initialDirectory;
    std::string defaultExtension;  // without the dot; added to a typed name without one
    bool fileMustExist = false;
    bool pathMustExist = false;
    std::string initialFileName;
};

// Modal file dialogs; the answer is the chosen file's full path, or nothing when cancelled.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<std::string> run(const FileDialogRequest& request) = 0;
};

}  // namespace brindle
