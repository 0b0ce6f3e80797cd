#pragma once

#include <QObject>

#include <filesystem>
#include <functional>
#include <vector>

class QSocketNotifier;

namespace brindle {

// Tells when device nodes come, go or change their permissions in the watched folders (/dev and
// /dev/serial/by-id), through the kernel's file notifications: nothing runs while nothing
// changes. A watched folder that does not exist yet is watched from the first change after it
// appears.
class QtDeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit QtDeviceWatch(std::vector<std::filesystem::path> folders, QObject* parent = nullptr);
    ~QtDeviceWatch() override;

    // Whether the kernel's notifications could be had at all.
    bool active() const { return descriptor_ >= 0; }

    // Called once for every batch of changes.
    std::function<void()> onChange;

private:
    void watchFolders();
    void readChanges();

    std::vector<std::filesystem::path> folders_;
    int descriptor_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace brindle
