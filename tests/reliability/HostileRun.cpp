#include "tests/reliability/HostileRun.h"

#include <algorithm>
#include <optional>

#include "app/Requests.h"
#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"
#include "zx81/Charset.h"

namespace brindle::rig {

namespace {

constexpr std::int64_t kMsNs = 1'000'000;
// Reset is pressed this long after the last thing the stream scheduled, so every run ends.
constexpr std::int64_t kGuardResetNs = 1'000 * kMsNs;
// A transfer still running this long after that Reset never ends.
constexpr std::int64_t kHangNs = 60'000 * kMsNs;

struct Hang {};

std::vector<std::uint8_t> Named(std::uint8_t code, const std::string& name) {
    std::vector<std::uint8_t> bytes{code};
    std::vector<std::uint8_t> codes = TextToZX81(name);
    if (codes.empty()) codes.push_back(0);
    codes.back() |= 0x80;
    bytes.insert(bytes.end(), codes.begin(), codes.end());
    return bytes;
}

}  // namespace

const std::vector<std::string>& DialogAnswers() {
    static const std::vector<std::string> answers{
        "",        "HELLO.P81", "GAME.P", "PROG.O", "prog.o",       "NEW.O",
        "NEW.P81", "notes.txt", "Nodot",  "sub/",   "sub/DEEP.P81", "sub/new.o",
    };
    return answers;
}

StreamBuilder& StreamBuilder::Peer(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t from = 0; from < bytes.size(); from += 255) {
        const std::size_t n = std::min<std::size_t>(255, bytes.size() - from);
        bytes_.push_back(static_cast<std::uint8_t>(Chunk::Peer));
        bytes_.push_back(static_cast<std::uint8_t>(n));
        bytes_.insert(bytes_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from),
                      bytes.begin() + static_cast<std::ptrdiff_t>(from + n));
    }
    return *this;
}

StreamBuilder& StreamBuilder::Pause(std::uint8_t twentiethsOfSeconds) {
    bytes_.insert(bytes_.end(), {static_cast<std::uint8_t>(Chunk::Pause), twentiethsOfSeconds});
    return *this;
}

StreamBuilder& StreamBuilder::Reset(std::uint8_t ms) {
    bytes_.insert(bytes_.end(), {static_cast<std::uint8_t>(Chunk::Reset), ms});
    return *this;
}

StreamBuilder& StreamBuilder::Answer(std::uint8_t entry) {
    bytes_.insert(bytes_.end(), {static_cast<std::uint8_t>(Chunk::Answer), entry});
    return *this;
}

std::vector<std::uint8_t> Zx81SaveRequest(const std::string& name, std::size_t programBytes) {
    std::vector<std::uint8_t> bytes = Named(32, name);
    const std::vector<std::uint8_t> image = Zx81Image(programBytes);
    bytes.insert(bytes.end(), image.begin(), image.end());
    return bytes;
}

std::vector<std::uint8_t> Zx81LoadRequest(const std::string& name) {
    return Named(10, name);
}

std::vector<std::uint8_t> PrinterLineRequest(std::uint8_t pattern) {
    std::vector<std::uint8_t> bytes{27, 0x31, 0x1B, 0x4C, 0x00, 0x01};
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<std::uint8_t>(pattern + i));
    return bytes;
}

std::vector<std::string> RunHostileStream(TransferTree& tree, const std::uint8_t* data,
                                          std::size_t size, std::vector<std::string>* messages,
                                          const std::function<void(Rig&)>& setup) {
    const std::uint8_t options = size > 0 ? data[0] : 0;
    const TransferTree::Snapshot& before = tree.Start((options & kNoPrintout) == 0);

    Rig rig;
    rig.options.TransferDirectory = tree.transferText();
    rig.options.Zx81Format = (options & kFormatP) != 0 ? "P" : "P81";
    rig.link.requests = TransferRequests(rig.link, {});

    std::int64_t at = 0;
    std::vector<std::int64_t> resets;
    // Each chunk's moment with the count of peer bytes scheduled up to and with it, so that the
    // idle link's wait for the next one is skipped in one step.
    std::vector<std::pair<std::int64_t, std::size_t>> chunks;
    std::size_t scheduled = 0;
    const std::vector<std::string>& answers = DialogAnswers();
    for (std::size_t i = 1; i + 1 < size;) {
        const auto kind = static_cast<Chunk>(data[i] % 4);
        const std::uint8_t length = data[i + 1];
        i += 2;
        switch (kind) {
            case Chunk::Peer: {
                const std::size_t n = std::min<std::size_t>(length, size - i);
                rig.peer.sendAt(at, std::vector<std::uint8_t>(data + i, data + i + n));
                scheduled += n;
                chunks.emplace_back(at, scheduled);
                at += static_cast<std::int64_t>(n) * SimPeer::kByteNs;
                i += n;
                break;
            }
            case Chunk::Pause:
                at += length * 20 * kMsNs;
                break;
            case Chunk::Reset:
                resets.push_back(at + length * kMsNs);
                break;
            case Chunk::Answer: {
                const std::string& answer = answers[length % answers.size()];
                rig.dialogs.answers.push_back(
                    answer.empty() ? std::nullopt
                                   : std::optional<std::string>(tree.transferText() + answer));
                break;
            }
        }
    }
    const std::int64_t guard =
        std::max(at, resets.empty() ? 0 : *std::max_element(resets.begin(), resets.end())) +
        kGuardResetNs;
    std::sort(resets.begin(), resets.end());
    std::size_t nextReset = 0;
    // From the guard's moment on, Reset is pressed again whenever a transfer runs.
    const auto pressDueResets = [&] {
        while (nextReset < resets.size() && resets[nextReset] <= rig.clock.nowNs()) {
            rig.link.Abort();
            ++nextReset;
        }
        if (rig.clock.nowNs() >= guard && !rig.link.state.AbortFlag) rig.link.Abort();
    };
    rig.pump.everyPass(pressDueResets);
    const std::int64_t hangAt = guard + kHangNs;
    rig.clock.addListener([&](std::int64_t now) {
        const LinkState& state = rig.link.state;
        if (now > hangAt && (state.LinkBusy != 0 || state.PrintingFlag)) throw Hang{};
    });
    if (setup) setup(rig);

    std::vector<std::string> problems;
    try {
        for (;;) {
            pressDueResets();
            if (rig.peer.deliverPendingEvent()) continue;
            if (rig.peer.pendingBytes() == 0 && rig.link.state.LinkBusy == 0 &&
                rig.peer.bytesWaiting() == 0 && rig.peer.dtr())
                break;
            if (rig.clock.nowNs() > hangAt) {
                problems.push_back("the peer's bytes were never taken");
                break;
            }
            // Bytes due by now and not yet sent are on their way; otherwise wait for the next
            // moment the stream named.
            const std::int64_t now = rig.clock.nowNs();
            const std::size_t sent = scheduled - rig.peer.pendingBytes();
            std::size_t due = 0;
            std::int64_t next = guard;
            for (const auto& [moment, upTo] : chunks) {
                if (moment <= now)
                    due = upTo;
                else
                    next = std::min(next, moment);
            }
            for (std::int64_t moment : resets)
                if (moment > now) next = std::min(next, moment);
            rig.clock.advanceNs(sent < due || next <= now ? SimPeer::kByteNs : next - now);
        }
    } catch (const Hang&) {
        problems.push_back("a transfer did not end after Reset");
    }

    const LinkState& state = rig.link.state;
    if (!rig.peer.dtr()) problems.push_back("DTR left low");
    if (rig.peer.receiveThreshold() != 1) problems.push_back("receive events left off");
    if (state.LinkBusy != 0 || state.PrintingFlag || state.AbortFlag)
        problems.push_back("link left busy");
    for (std::string& problem : tree.Problems(before)) problems.push_back(std::move(problem));
    if (messages != nullptr)
        for (const Message& m : rig.messages.shown) messages->push_back(m.caption + ": " + m.text);
    return problems;
}

}  // namespace brindle::rig
