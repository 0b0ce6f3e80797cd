#include "tests/rig/SimPeer.h"

#include <algorithm>

namespace brindle::rig {

SimPeer::SimPeer(VirtualClock& clock) : clock_(clock) {
    clock_.addListener([this](std::int64_t now) { catchUp(now); });
}

void SimPeer::send(const Bytes& bytes) {
    sendAt(clock_.nowNs(), bytes);
}

void SimPeer::sendAt(std::int64_t notBeforeNs, const Bytes& bytes) {
    for (std::uint8_t b : bytes) pending_.push_back({b, notBeforeNs});
    catchUp(clock_.nowNs());
}

Bytes SimPeer::written() const {
    Bytes out;
    for (const Write& w : writes_) out.push_back(w.byte);
    return out;
}

std::string SimPeer::deviceName(int number) const {
    return ports.count(number) != 0 ? "/dev/sim" + std::to_string(number) : std::string{};
}

OpenFailure SimPeer::availability(int number) const {
    auto it = ports.find(number);
    return it == ports.end() ? OpenFailure::NoSuchPort : it->second;
}

bool SimPeer::open() {
    ++opens_;
    failure_ = availability(number_);
    open_ = failure_ == OpenFailure::None && !unplugged_;
    return open_;
}

void SimPeer::catchUp(std::int64_t nowNs) {
    while (!dtrChanges_.empty() && dtrChanges_.front().first <= nowNs) {
        const auto [atNs, high] = dtrChanges_.front();
        dtrChanges_.pop_front();
        flow(atNs);
        if (high && !lineDtr_) dtrHighSinceNs_ = atNs;
        lineDtr_ = high;
    }
    flow(nowNs);
    while (!held_.empty() && held_.front().notBeforeNs <= nowNs) {
        input_.push_back(held_.front().byte);
        held_.pop_front();
    }
}

void SimPeer::flow(std::int64_t untilNs) {
    for (;;) {
        if (inFlight_) {
            if (inFlightEndNs_ > untilNs) return;
            const std::int64_t burst = adapter_.burstNs;
            const std::int64_t turn =
                burst == 0 ? inFlightEndNs_ : (inFlightEndNs_ + burst - 1) / burst * burst;
            held_.push_back({inFlightByte_, turn});
            inFlight_ = false;
            lineFreeAtNs_ = inFlightEndNs_;
            continue;
        }
        if (!lineDtr_ || pending_.empty()) return;
        const std::int64_t start =
            std::max({dtrHighSinceNs_, lineFreeAtNs_, pending_.front().notBeforeNs});
        if (start > untilNs) return;
        inFlight_ = true;
        inFlightByte_ = pending_.front().byte;
        inFlightEndNs_ = start + kByteNs;
        pending_.pop_front();
    }
}

int SimPeer::bytesWaiting() {
    if (!open_ || unplugged_) return 0;
    return static_cast<int>(input_.size());
}

Bytes SimPeer::readAll() {
    Bytes out;
    if (!open_ || unplugged_) return out;
    out.swap(input_);
    if (readsLeft_ && out.size() >= *readsLeft_) {
        out.resize(*readsLeft_);
        pullOut();
    } else if (readsLeft_) {
        *readsLeft_ -= out.size();
    }
    return out;
}

bool SimPeer::write(const Bytes& bytes) {
    if (!open_ || unplugged_) return false;
    for (std::uint8_t b : bytes) {
        if (writesLeft_ && (*writesLeft_)-- == 0) {
            pullOut();
            return false;
        }
        writes_.push_back({clock_.nowNs(), b, drains_});
        outputFreeAtNs_ = std::max(outputFreeAtNs_, clock_.nowNs()) + kByteNs;
    }
    return true;
}

void SimPeer::pullOut() {
    unplugged_ = true;
    pending_.clear();
    held_.clear();
    inFlight_ = false;
    readsLeft_.reset();
    writesLeft_.reset();
}

bool SimPeer::drain() {
    if (!open_ || unplugged_) return false;
    ++drains_;
    if (outputFreeAtNs_ > clock_.nowNs()) clock_.advanceNs(outputFreeAtNs_ - clock_.nowNs());
    return true;
}

void SimPeer::setDtr(bool high) {
    catchUp(clock_.nowNs());
    if (high && !dtr_) ++dtrRaises_;
    dtr_ = high;
    dtrChanges_.emplace_back(clock_.nowNs() + adapter_.dtrLagNs, high);
    catchUp(clock_.nowNs());
}

bool SimPeer::deliverPendingEvent() {
    if (!open_ || threshold_ != 1 || bytesWaiting() == 0) return false;
    raise(SerialEventKind::BytesReceived);
    return true;
}

}  // namespace brindle::rig
