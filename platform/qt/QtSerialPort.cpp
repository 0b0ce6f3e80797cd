#include "platform/qt/QtSerialPort.h"

#include <QTimer>
#include <cassert>
#include <cctype>
#include <vector>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif

namespace brindle {

namespace {

// How long one wait for Qt's write buffer may take before the port is looked at again.
constexpr int kDrainStepMs = 100;

std::optional<qint64> ParseWhole(const std::string& text, qint64 max) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value == 0 || value > max) return std::nullopt;
    return value;
}

std::optional<QSerialPort::Parity> ParseParity(const std::string& text) {
    if (text.size() != 1) return std::nullopt;
    switch (std::tolower(static_cast<unsigned char>(text[0]))) {
        case 'n':
            return QSerialPort::NoParity;
        case 'e':
            return QSerialPort::EvenParity;
        case 'o':
            return QSerialPort::OddParity;
        case 'm':
            return QSerialPort::MarkParity;
        case 's':
            return QSerialPort::SpaceParity;
        default:
            return std::nullopt;
    }
}

std::optional<QSerialPort::StopBits> ParseStopBits(const std::string& text) {
    if (text == "1") return QSerialPort::OneStop;
    if (text == "1.5") return QSerialPort::OneAndHalfStop;
    if (text == "2") return QSerialPort::TwoStop;
    return std::nullopt;
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (fields.size() != 4) return std::nullopt;
    const std::optional<qint64> baud = ParseWhole(fields[0], 4000000);
    const std::optional<QSerialPort::Parity> parity = ParseParity(fields[1]);
    const std::optional<qint64> data = ParseWhole(fields[2], 8);
    const std::optional<QSerialPort::StopBits> stop = ParseStopBits(fields[3]);
    if (!baud || !parity || !data || *data < 5 || !stop) return std::nullopt;
    return LineSettings{static_cast<qint32>(*baud), *parity,
                        static_cast<QSerialPort::DataBits>(*data), *stop};
}

QtSerialPort::QtSerialPort(PortMap ports, QObject* parent)
    : QObject(parent), ports_(std::move(ports)) {
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::postService);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() {
    // The port still reports while it closes; nothing here may hear it any more.
    disconnect(&port_, nullptr, this, nullptr);
}

std::string QtSerialPort::deviceName(int number) const {
    auto device = ports_.find(number);
    return device == ports_.end() ? std::string() : device->second;
}

std::string QtSerialPort::deviceId(int number) const {
    const std::string device = deviceName(number);
    return device.empty() ? device : SerialIdName(device);
}

bool QtSerialPort::open() {
    close();
    lastFailure_ = OpenFailure::None;
    auto device = ports_.find(number_);
    if (device == ports_.end()) {
        lastFailure_ = OpenFailure::NoSuchPort;
        return false;
    }
    port_.setPortName(QString::fromStdString(device->second));
    applySettings();
    if (!port_.open(QIODevice::ReadWrite)) {
        lastFailure_ = classifyOpenFailure(device->second);
        return false;
    }
    keepBadBytes();
    applyDtr();
    framingErrors_ = framingErrorCount();
    return true;
}

void QtSerialPort::keepBadBytes() {
#ifdef Q_OS_UNIX
    // Qt has the driver drop a byte that arrives with a framing error (IGNPAR), and then nothing
    // wakes the program to say so until the next good byte. Delivered (as a 0), the bad byte
    // raises a receive event at once; the kernel's error count still decides that it was one.
    termios t{};
    if (::tcgetattr(port_.handle(), &t) == 0 && (t.c_iflag & IGNPAR) != 0) {
        t.c_iflag &= ~static_cast<tcflag_t>(IGNPAR);
        ::tcsetattr(port_.handle(), TCSANOW, &t);
    }
#endif
}

OpenFailure QtSerialPort::classifyOpenFailure(const std::string& device) const {
    switch (port_.error()) {
        case QSerialPort::DeviceNotFoundError:
        case QSerialPort::ResourceError:  // a node without hardware behind it
            return OpenFailure::NoSuchPort;
        case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
            // Qt reports a port locked or held by another program the same way as a device
            // node the user may not open; only the latter fails the access check.
            if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
                return OpenFailure::PermissionDenied;
            }
#else
            (void)device;
#endif
            return OpenFailure::InUse;
        default:
            return OpenFailure::Other;
    }
}

void QtSerialPort::close() {
    lost_ = false;
    framingErrors_.reset();
    if (port_.isOpen()) port_.close();
}

bool QtSerialPort::isOpen() const {
    return port_.isOpen() && !lost_;
}

bool QtSerialPort::setSettings(const std::string& settings) {
    std::optional<LineSettings> parsed = ParseLineSettings(settings);
    if (!parsed) return false;
    settings_ = *parsed;
    const bool applied = applySettings();
    if (port_.isOpen()) keepBadBytes();
    return applied;
}

bool QtSerialPort::applySettings() {
    // On a closed port these are remembered and applied by open().
    return port_.setBaudRate(settings_.baudRate) && port_.setParity(settings_.parity) &&
           port_.setDataBits(settings_.dataBits) && port_.setStopBits(settings_.stopBits) &&
           port_.setFlowControl(QSerialPort::NoFlowControl);
}

void QtSerialPort::takeFromSystem() {
    // Moves what the system holds into the port's buffer now, without waiting for the event
    // loop; the readyRead this raises only posts a service.
    port_.waitForReadyRead(0);
}

int QtSerialPort::bytesWaiting() {
    if (!isOpen()) return 0;
    takeFromSystem();
    return static_cast<int>(port_.bytesAvailable());
}

Bytes QtSerialPort::readAll() {
    if (!isOpen()) return {};
    takeFromSystem();
    const QByteArray data = port_.readAll();
    return Bytes(data.begin(), data.end());
}

bool QtSerialPort::write(const Bytes& bytes) {
    if (!isOpen()) return false;
    const auto size = static_cast<qint64>(bytes.size());
    if (port_.write(reinterpret_cast<const char*>(bytes.data()), size) != size) return false;
    // Hand the bytes to the system now rather than at the next turn of the event loop.
    port_.flush();
    return isOpen();
}

bool QtSerialPort::drain() {
    if (!isOpen()) return false;
    // First what Qt still holds because the system would not take it at write(). A device that
    // takes nothing for a while ends the wait, so that the caller can let Reset run.
    if (port_.bytesToWrite() > 0) port_.waitForBytesWritten(kDrainStepMs);
#ifdef Q_OS_UNIX
    // Then the system's own queue: on a UART tcdrain returns once the last stop bit has left
    // the shift register; on a pseudo-terminal as soon as the other side's buffer holds them.
    if (port_.bytesToWrite() == 0) {
        while (::tcdrain(port_.handle()) != 0) {
            if (errno != EINTR) return false;
        }
    }
#endif
    return isOpen();
}

void QtSerialPort::setDtr(bool high) {
    dtr_ = high;
    if (isOpen()) applyDtr();
}

void QtSerialPort::applyDtr() {
    // A device without modem-control lines refuses; the link works on without the signal.
    port_.setDataTerminalReady(dtr_);
}

void QtSerialPort::setReceiveThreshold(int threshold) {
    assert(threshold == 0 || threshold == 1);
    const bool enabling = threshold_ == 0 && threshold == 1;
    threshold_ = threshold;
    // readyRead comes only with new data: bytes that already wait need a delivery of their own.
    if (enabling) postService();
}

void QtSerialPort::postService() {
    // Events go out from the event loop, never from inside the port's own reads and never
    // nested in the port's signal, so the receiver may read, write and pump events freely.
    if (servicePosted_) return;
    servicePosted_ = true;
    QTimer::singleShot(0, this, [this] {
        servicePosted_ = false;
        service();
    });
}

void QtSerialPort::service() {
    if (!isOpen()) return;
    const std::optional<long> count = framingErrorCount();
    const bool framing = count && framingErrors_ && *count > *framingErrors_;
    if (count) framingErrors_ = count;
    if (framing && onEvent) onEvent(SerialEventKind::FramingError);
    // The receiver of the first event may have closed the port or turned receive events off.
    if (isOpen() && threshold_ == 1 && port_.bytesAvailable() > 0 && onEvent) {
        onEvent(SerialEventKind::BytesReceived);
    }
}

std::optional<long> QtSerialPort::framingErrorCount() const {
#if defined(Q_OS_LINUX) && defined(TIOCGICOUNT)
    serial_icounter_struct counts{};
    if (::ioctl(port_.handle(), TIOCGICOUNT, &counts) == 0) return counts.frame;
#endif
    return std::nullopt;  // not counted by this device: framing errors go unreported
}

bool QtSerialPort::deviceGone(QSerialPort::SerialPortError error) const {
#ifdef Q_OS_UNIX
    // Qt's error codes alone cannot tell: a full output buffer also comes as ResourceError, and
    // a device that went away often as a plain ReadError (its reads just end). The descriptor
    // tells: it is hung up.
    (void)error;
    pollfd descriptor{port_.handle(), POLLIN, 0};
    return ::poll(&descriptor, 1, 0) == 1 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return error == QSerialPort::ResourceError;
#endif
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    // Refused DTR changes, zero-time waits that found nothing and the like are harmless.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
    if (!isOpen() || !deviceGone(error)) return;
    // Closed at the next turn of the loop, outside the port's own call that found the loss;
    // until then the port reads as closed.
    lost_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!lost_) return;
            close();
            if (onLost) onLost();
        },
        Qt::QueuedConnection);
}

}  // namespace brindle
