#pragma once

#include <QString>

#include <memory>

#include "platform/System.h"

class QMessageBox;
class QWidget;

namespace brindle {

class QtClock : public Clock {
public:
    void sleepMs(int ms) override;
    std::int64_t nowSeconds() override;
};

class QtEventPump : public EventPump {
public:
    void processEvents() override;
};

// A message box for the message, wide enough for its whole caption beside the title bar's icon
// and buttons.
std::unique_ptr<QMessageBox> MessageBoxFor(const Message& message, QWidget* parent);

// Message boxes over the given window (none: centred on the screen).
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void show(const Message& message) override;

private:
    QWidget* parent_;
};

// A filter "Desc (*.A;*.B)|*.A;*.B|All (*.*)|*.*" in Qt's form "Desc (*.A *.B);;All (*.*)".
QString QtFileFilter(const std::string& filter);

// Qt's own file dialogs (not the desktop's), the same on every system.
class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<std::string> run(const FileDialogRequest& request) override;

private:
    QWidget* parent_;
};

}  // namespace brindle
