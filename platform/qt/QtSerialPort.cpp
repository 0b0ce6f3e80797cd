#include "platform/qt/QtSerialPort.h"

#include <QTimer>
#include <cassert>

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

#include "platform/LatencyTimer.h"

namespace brindle {

namespace {

// How long one wait for Qt's write buffer may take before the port is looked at again.
constexpr int kDrainStepMs = 100;

QSerialPort::Parity QtParity(Parity parity) {
    switch (parity) {
        case Parity::Even:
            return QSerialPort::EvenParity;
        case Parity::Odd:
            return QSerialPort::OddParity;
        case Parity::Mark:
            return QSerialPort::MarkParity;
        case Parity::Space:
            return QSerialPort::SpaceParity;
        case Parity::None:
            break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits QtStopBits(StopBits stopBits) {
    switch (stopBits) {
        case StopBits::One:
            return QSerialPort::OneStop;
        case StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case StopBits::Two:
            break;
    }
    return QSerialPort::TwoStop;
}

}  // namespace

QtSerialPort::QtSerialPort(DeviceOf deviceOf, std::filesystem::path sysRoot, QObject* parent)
    : QObject(parent), deviceOf_(std::move(deviceOf)), sysRoot_(std::move(sysRoot)) {
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::postService);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() {
    // The port still reports while it closes; nothing here may hear it any more.
    disconnect(&port_, nullptr, this, nullptr);
}

bool QtSerialPort::open() {
    close();
    lastFailure_ = OpenFailure::None;
    const std::string device = deviceOf_(number_);
    if (device.empty()) {
        lastFailure_ = OpenFailure::NoSuchPort;
        return false;
    }
    port_.setPortName(QString::fromStdString(device));
    applySettings();
    if (!port_.open(QIODevice::ReadWrite)) {
        lastFailure_ = classifyOpenFailure(device);
        return false;
    }
    keepBadBytes();
    keepUpPace(device);
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

void QtSerialPort::keepUpPace(const std::string& device) {
#ifdef Q_OS_LINUX
    // A USB adapter holds what it receives for up to its latency timer (16 ms unless told
    // otherwise) before passing it on; in low-latency mode it passes it on at once. Devices that
    // have no such mode (a pseudo-terminal) refuse, and lose nothing by it.
    serial_struct serial{};
    if (::ioctl(port_.handle(), TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(port_.handle(), TIOCSSERIAL, &serial);
    }
#endif
    ShortenLatencyTimer(device, sysRoot_);
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

bool QtSerialPort::setSettings(const LineSettings& settings) {
    if (settings.baud <= 0 || settings.dataBits < 5 || settings.dataBits > 8) return false;
    settings_ = settings;
    const bool applied = applySettings();
    if (port_.isOpen()) keepBadBytes();
    return applied;
}

bool QtSerialPort::applySettings() {
    // On a closed port these are remembered and applied by open().
    return port_.setBaudRate(settings_.baud) && port_.setParity(QtParity(settings_.parity)) &&
           port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
           port_.setStopBits(QtStopBits(settings_.stopBits)) &&
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
