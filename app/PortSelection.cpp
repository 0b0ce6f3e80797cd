#include "app/PortSelection.h"

#include <algorithm>
#include <cctype>

#include "app/PortDoctor.h"

namespace brindle {

namespace {

Message portError(const std::string& text, const std::string& detail = {}) {
    return {text, "Error", MessageIcon::Exclamation, detail};
}

}  // namespace

PortSelection::PortSelection(SerialPort& port, const PortCatalogue& catalogue,
                             MessageBoxes& messages)
    : port_(port), catalogue_(catalogue), messages_(messages) {}

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
        const OpenFailure availability = catalogue_.availability(number);
        if (availability == OpenFailure::None) {
            entries_.push_back("COM" + std::to_string(number));
        } else if (availability == OpenFailure::PermissionDenied) {
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
    const std::string device = catalogue_.deviceName(number);
    if (port_.open()) {
        openedDevice_ = device;
        openedId_ = catalogue_.deviceId(number);
        return;
    }
    const OpenFailure failure = port_.lastOpenFailure();
    const std::vector<PortHolder> holders =
        failure == OpenFailure::InUse ? catalogue_.holders(number) : std::vector<PortHolder>{};
    messages_.show(portError("Can not open COM" + std::to_string(number),
                             PortAdvice(failure, device, holders)));
}

bool PortSelection::Replug() {
    if (lost_.empty() || selected_ >= 0 || openedDevice_.empty()) return false;
    for (int number = 1; number <= kHighestPort; ++number) {
        // An adapter known by its lasting name must be that adapter, whatever node it has now.
        const std::string id = catalogue_.deviceId(number);
        const bool same = !openedId_.empty() && !id.empty()
                              ? id == openedId_
                              : catalogue_.deviceName(number) == openedDevice_;
        if (!same) continue;
        port_.setPortNumber(number);
        // A node is often made before it may be opened; the next change tries again.
        if (!port_.open()) return false;
        openedDevice_ = catalogue_.deviceName(number);
        openedId_ = id;
        // The list follows: ports whose device is gone leave it, the one back joins it.
        std::erase_if(entries_, [this](const std::string& e) {
            return catalogue_.deviceName(PortNumberOf(e)).empty();
        });
        const std::string entry = "COM" + std::to_string(number);
        auto at = std::lower_bound(entries_.begin(), entries_.end(), number,
                                   [](const std::string& e, int n) { return PortNumberOf(e) < n; });
        if (at == entries_.end() || *at != entry) at = entries_.insert(at, entry);
        selected_ = static_cast<int>(at - entries_.begin());
        lost_.clear();
        return true;
    }
    return false;
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
