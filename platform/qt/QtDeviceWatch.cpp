#include "platform/qt/QtDeviceWatch.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace brindle {

QtDeviceWatch::QtDeviceWatch(std::vector<std::filesystem::path> folders, QObject* parent)
    : QObject(parent), folders_(std::move(folders)) {
#ifdef Q_OS_LINUX
    descriptor_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor_ < 0) return;
    watchFolders();
    notifier_ = new QSocketNotifier(descriptor_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QtDeviceWatch::readChanges);
#endif
}

QtDeviceWatch::~QtDeviceWatch() {
#ifdef Q_OS_LINUX
    delete notifier_;
    if (descriptor_ >= 0) ::close(descriptor_);
#endif
}

void QtDeviceWatch::watchFolders() {
#ifdef Q_OS_LINUX
    // A folder already watched keeps its watch; one still missing fails quietly until it exists.
    for (const auto& folder : folders_) {
        ::inotify_add_watch(descriptor_, folder.c_str(),
                            IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM);
    }
#endif
}

void QtDeviceWatch::readChanges() {
#ifdef Q_OS_LINUX
    // What changed is looked up afresh by the receiver; the events themselves only wake it.
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    while (::read(descriptor_, buffer, sizeof buffer) > 0) changed = true;
    if (!changed) return;
    watchFolders();
    if (onChange) onChange();
#endif
}

}  // namespace brindle
