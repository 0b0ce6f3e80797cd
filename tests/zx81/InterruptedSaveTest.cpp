#include <gtest/gtest.h>

#include "tests/rig/Images.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

using namespace rig;

const Bytes kAB{38, 167};
const Bytes kOld{1, 2, 3};

// A SAVE whose program, past its first bytes, holds request codes (read as requests, they would
// store junk files, print lines and open dialogs), or only bytes that are no request.
Bytes SaveRequest(bool codes) {
    Bytes image = Zx81Image(200);
    for (std::size_t i = 40; i < image.size(); i += 8)
        for (std::size_t k = 0; k < 6; ++k)
            image[i + k] = codes ? Bytes{32, 38, 167, 10, 27, 2}[k] : 0x11;
    return Concat(Concat({32}, kAB), image);
}

struct SaveSession : TransferSession {
    SaveSession() : TransferSession({"ReceiveZX81"}) {
        rig.display.keepHistory = true;
        Request& save = rig.link.requests.at(kCodeZx81Save);
        save.run = [this, inner = save.run](RequestBuffer& buffer) {
            inner(buffer);
            if (returnedNs == 0) returnedNs = rig.clock.nowNs();
        };
        rig.pump.everyPass([this] {
            if (lastByteNs < 0 && rig.peer.pendingBytes() == 0) lastByteNs = rig.clock.nowNs();
        });
    }
    bool Showed(const std::string& status) const {
        for (const TransferDisplay& d : rig.display.history)
            if (d.status == status) return true;
        return false;
    }
    std::int64_t returnedNs = 0;
    std::int64_t lastByteNs = -1;  // when the peer had sent its last byte, as the events saw it
};

// Reset ends the SAVE; what the peer still sends is taken off the link and dropped until the
// line is quiet, unless a second Reset ends that wait.
TEST(InterruptedSave, AfterResetTheRestOfTheProgramStartsNoRequest) {
    // Each case: the first Reset, in the name or in the image, and whether a second follows.
    for (const auto& [firstNs, secondReset] :
         {std::pair{1 * kMs, false}, {60 * kMs, false}, {60 * kMs, true}}) {
        SaveSession s;
        s.Put("AB.P81", kOld);
        s.ResetAt(firstNs);
        if (secondReset) s.ResetAt(100 * kMs);
        s.rig.peer.send(SaveRequest(!secondReset));
        s.rig.run();
        EXPECT_TRUE(s.Showed(kSettlingStatus)) << secondReset;
        if (secondReset) {
            EXPECT_LT(s.returnedNs, 120 * kMs);
            continue;
        }
        EXPECT_EQ(s.handlers.calls, std::vector<std::string>{"ReceiveZX81"});
        EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{"AB.P81"});
        EXPECT_EQ(s.File("AB.P81"), kOld);
        EXPECT_TRUE(s.rig.messages.shown.empty());
        EXPECT_TRUE(s.rig.dialogs.requests.empty());
        // The wait ends half a second after the last byte, not sooner.
        EXPECT_GE(s.returnedNs - s.lastByteNs, 500 * kMs);
        EXPECT_LT(s.returnedNs - s.lastByteNs, 700 * kMs);
        s.ExpectIdle();
    }
}

// An adapter pulled out mid-SAVE ends it as a failed read: the older file stays, no staging
// file is left, and the re-plugged adapter's next SAVE is a SAVE of its own.
TEST(InterruptedSave, LostPortEndsTheSaveAndKeepsTheOlderFile) {
    for (const bool older : {true, false}) {
        SaveSession s;
        if (older) s.Put("AB.P81", kOld);
        s.rig.pump.when([&] { return s.rig.link.state.CurrentAddress > 16420; },
                        [&] { s.rig.peer.lose(); });
        s.rig.peer.send(SaveRequest(true));
        s.rig.run();
        EXPECT_EQ(Listing(s.dir.path()),
                  older ? std::vector<std::string>{"AB.P81"} : std::vector<std::string>{});
        if (older) {
            EXPECT_EQ(s.File("AB.P81"), kOld);
        }
        EXPECT_FALSE(s.Showed(kSettlingStatus));
        EXPECT_EQ(s.rig.link.state.LinkBusy, 0);

        s.rig.peer.replug();
        s.rig.peer.open();
        s.rig.link.StartIdle();
        const Bytes image = Zx81Image(30);
        s.rig.peer.send(Concat(Concat({32}, kAB), image));
        s.rig.run();
        EXPECT_EQ(s.File("AB.P81"), Concat(kAB, image)) << older;
        s.ExpectIdle();
    }
}

}  // namespace
}  // namespace brindle
