#include "app/PortSelection.h"

#include <cctype>

namespace brindle {

namespace {

Message portError(const std::string& text, const std::string& detail = {}) {
    return {text, "Error", MessageIcon::Exclamation, detail};
}

}  // namespace

PortSelection::PortSelection(SerialPort& port, MessageBoxes& messages)
    : port_(port), messages_(messages) {}

std::string PortSelection::text() const {
    return selected_ >= 0 ? entries_[static_cast<std::size_t>(selected_)] : std::string{};
}

std::string PortSelection::savedText() const {
    return selected_ >= 0 ? text() : lost_;
}

void PortSelection::Lost() {
    if (selected_ >= 0) lost_ = text();
    selected_ = -1;
}

int PortSelection::PortNumberOf(const std::string& entry) {
    int number = 0;
    for (std::size_t i = 3; i < entry.size() && std::isdigit(static_cast<unsigned char>(entry[i]));
         ++i) {
        number = number * 10 + (entry[i] - '0');
        if (number > 1000) break;
    }
    return number;
}

void PortSelection::PortList() {
    // A port that was lost is taken again once it is back (an adapter plugged in again).
    const std::string shown = savedText();
    if (port_.isOpen()) port_.close();
    entries_.clear();
    selected_ = -1;
    bool permissionDenied = false;
    for (int number = 1; number <= kHighestPort; ++number) {
        port_.setPortNumber(number);
        if (port_.open()) {
            port_.close();
            entries_.push_back("COM" + std::to_string(number));
        } else if (port_.lastOpenFailure() == OpenFailure::PermissionDenied) {
            permissionDenied = true;
        }
    }
    if (entries_.empty()) {
        messages_.show(portError(
            "There are no free serial ports available",
            permissionDenied ? "Serial ports exist, but this user may not open them. Ask for "
                               "membership of the \"dialout\" group (sudo usermod -aG dialout "
                               "$USER), then log out and in again."
                             : std::string{}));
    }
    port_.setSettings(kLineSettings);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i] == shown) {
            Select(static_cast<int>(i));
            break;
        }
    }
}

void PortSelection::Select(int index) {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return;
    selected_ = index;
    lost_.clear();
    if (port_.isOpen()) port_.close();
    const int number = PortNumberOf(entries_[static_cast<std::size_t>(index)]);
    port_.setPortNumber(number);
    if (!port_.open()) messages_.show(portError("Can not open COM" + std::to_string(number)));
}

void PortSelection::StartupChoice(const std::string& savedPort) {
    if (entries_.empty()) return;
    int choice = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i] == savedPort) {
            choice = static_cast<int>(i);
            break;
        }
    }
    Select(choice);
}

}  // namespace brindle
