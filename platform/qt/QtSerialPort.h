#pragma once

#include <QObject>
#include <QSerialPort>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/PortMap.h"
#include "platform/SerialPort.h"

namespace brindle {

// The serial port over QSerialPort. Port numbers reach devices through deviceOf (empty for a
// number without one); events come from the event loop of the user-interface thread. sysRoot
// stands for /sys, where a USB adapter's latency timer is set.
class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT
public:
    using DeviceOf = std::function<std::string(int number)>;
    explicit QtSerialPort(DeviceOf deviceOf, std::filesystem::path sysRoot = "/sys",
                          QObject* parent = nullptr);
    ~QtSerialPort() override;

    void setPortNumber(int number) override { number_ = number; }
    int portNumber() const override { return number_; }

    bool open() override;
    OpenFailure lastOpenFailure() const override { return lastFailure_; }
    void close() override;
    bool isOpen() const override;
    bool setSettings(const LineSettings& settings) override;

    int bytesWaiting() override;
    Bytes readAll() override;
    bool write(const Bytes& bytes) override;
    bool drain() override;
    void setDtr(bool high) override;
    bool dtr() const override { return dtr_; }
    void setReceiveThreshold(int threshold) override;
    int receiveThreshold() const override { return threshold_; }

protected:
    // The kernel's count of framing errors on the open device; nothing where it keeps none.
    virtual std::optional<long> framingErrorCount() const;

private:
    bool applySettings();
    void keepBadBytes();
    void keepUpPace(const std::string& device);
    void applyDtr();
    void takeFromSystem();
    void onError(QSerialPort::SerialPortError error);
    bool deviceGone(QSerialPort::SerialPortError error) const;
    void postService();
    void service();
    OpenFailure classifyOpenFailure(const std::string& device) const;

    QSerialPort port_;
    DeviceOf deviceOf_;
    std::filesystem::path sysRoot_;
    int number_ = kFirstPortNumber;
    LineSettings settings_;
    bool dtr_ = false;
    int threshold_ = 1;
    OpenFailure lastFailure_ = OpenFailure::None;
    bool lost_ = false;  // the device went away; closed at the next turn of the loop
    bool servicePosted_ = false;
    std::optional<long> framingErrors_;  // the kernel's count when last looked at
};

}  // namespace brindle
