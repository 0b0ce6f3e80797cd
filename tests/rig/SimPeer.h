#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/PortCatalogue.h"
#include "platform/SerialPort.h"
#include "tests/rig/VirtualClock.h"

namespace brindle::rig {

// The Spectrum end of the cable, seen through the PC's serial port. It starts a byte only while
// DTR is high, and each byte takes 11 bit times at 9600 baud (8N2); a byte already on the line
// when DTR drops still arrives. It records what the PC writes, whose bytes take the same time on
// the other wire, and can fail like an unplugged adapter. It also lists the machine's ports.
class SimPeer : public SerialPort, public PortCatalogue {
public:
    static constexpr std::int64_t kByteNs = 11LL * 1'000'000'000 / 9600;

    explicit SimPeer(VirtualClock& clock);

    // A USB adapter between the PC and the line: the peer's bytes reach the PC's input only at
    // the adapter's turns, one every burstNs, and DTR changes reach the line dtrLagNs late.
    struct Adapter {
        std::int64_t burstNs = 16'000'000;
        std::int64_t dtrLagNs = 1'000'000;
    };
    void useAdapter(Adapter adapter) { adapter_ = adapter; }

    // --- the peer's side ---
    // Queues bytes for the peer to send as soon as DTR lets it.
    void send(const Bytes& bytes);
    // Queues bytes that the peer will not start before the given virtual time.
    void sendAt(std::int64_t notBeforeNs, const Bytes& bytes);
    // Bytes that are already in the PC's input buffer, as if they had just arrived.
    void arrive(const Bytes& bytes) { input_.insert(input_.end(), bytes.begin(), bytes.end()); }
    // Bytes the peer still has to send, or that the adapter still holds.
    std::size_t pendingBytes() const {
        return pending_.size() + (inFlight_ ? 1 : 0) + held_.size();
    }
    // Everything the PC wrote, in order, with the virtual time of each write.
    struct Write {
        std::int64_t atNs;
        std::uint8_t byte;
        int drainsBefore;  // how many drains the PC had asked for before this write
    };
    const std::vector<Write>& writes() const { return writes_; }
    Bytes written() const;
    // Forgets the bytes the PC wrote so far.
    void clearWrites() { writes_.clear(); }
    // Simulates an unplugged adapter: reads give nothing and writes fail.
    void unplug() { unplugged_ = true; }
    // The device goes away as the event loop finds it: pulled out (what the peer still sends is
    // lost), closed, and the owner told.
    void lose() {
        pullOut();
        close();
        if (onLost) onLost();
    }
    void replug() { unplugged_ = false; }
    // The adapter is pulled out once the PC has read, or written, this many more bytes; what
    // the peer still sends is lost.
    void unplugAfterReading(std::size_t bytes) { readsLeft_ = bytes; }
    void unplugAfterWriting(std::size_t bytes) { writesLeft_ = bytes; }
    // Counts DTR changes to high, for tests of pacing.
    int dtrRaises() const { return dtrRaises_; }
    // Counts the PC's attempts to open a port.
    int opens() const { return opens_; }
    // Availability of each port number for port-list tests; numbers not named do not exist.
    std::map<int, OpenFailure> ports{{1, OpenFailure::None}};

    // --- the PC's list of ports (PortCatalogue) ---
    std::string deviceName(int number) const override;
    OpenFailure availability(int number) const override;

    // --- the PC's side (SerialPort) ---
    void setPortNumber(int number) override { number_ = number; }
    int portNumber() const override { return number_; }
    bool open() override;
    OpenFailure lastOpenFailure() const override { return failure_; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool setSettings(const LineSettings& settings) override {
        settings_ = settings;
        return true;
    }
    const LineSettings& settings() const { return settings_; }
    int bytesWaiting() override;
    Bytes readAll() override;
    bool write(const Bytes& bytes) override;
    // Moves the virtual clock on to the moment the last byte written has left the line.
    bool drain() override;
    void setDtr(bool high) override;
    bool dtr() const override { return dtr_; }
    void setReceiveThreshold(int threshold) override { threshold_ = threshold; }
    int receiveThreshold() const override { return threshold_; }

    // Raises the event a real port would raise now, if any: a receive event when the threshold
    // is 1 and bytes wait. Returns whether one was raised.
    bool deliverPendingEvent();
    void raise(SerialEventKind kind) {
        if (onEvent) onEvent(kind);
    }

private:
    void catchUp(std::int64_t nowNs);
    void flow(std::int64_t untilNs);
    void pullOut();

    VirtualClock& clock_;
    struct Pending {
        std::uint8_t byte;
        std::int64_t notBeforeNs;
    };
    std::deque<Pending> pending_;
    std::deque<Pending> held_;                              // in the adapter, each until its turn
    std::deque<std::pair<std::int64_t, bool>> dtrChanges_;  // when the line sees each, and how
    bool lineDtr_ = false;                                  // DTR as the peer sees it
    Adapter adapter_{0, 0};
    bool inFlight_ = false;
    std::uint8_t inFlightByte_ = 0;
    std::int64_t inFlightEndNs_ = 0;
    std::int64_t lineFreeAtNs_ = 0;
    std::int64_t outputFreeAtNs_ = 0;  // the PC's line to the peer
    std::int64_t dtrHighSinceNs_ = 0;
    Bytes input_;
    std::vector<Write> writes_;
    bool dtr_ = false;
    int dtrRaises_ = 0;
    int drains_ = 0;
    int opens_ = 0;
    int threshold_ = 1;
    int number_ = 1;
    bool open_ = false;
    bool unplugged_ = false;
    std::optional<std::size_t> readsLeft_;
    std::optional<std::size_t> writesLeft_;
    OpenFailure failure_ = OpenFailure::None;
    LineSettings settings_{0, 0, Parity::None, StopBits::One};
};

}  // namespace brindle::rig
