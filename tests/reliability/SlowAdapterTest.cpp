// Behind a USB adapter that passes the peer's bytes on in 16 ms bursts and changes DTR 1 ms late,
// every exchange still moves exactly its bytes.
#include <gtest/gtest.h>

#include "tests/rig/Images.h"
#include "tests/rig/Session.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

using namespace rig;

TEST(SlowAdapter, ExchangesStayByteExact) {
    const Bytes name = TextToZX81("SLOW");
    const Bytes program = Concat(name, Zx81Image(500));
    const Bytes line = Concat({27, 0x31, 0x1B, 0x4C, 0x00, 0x01}, Columns({{0, 0x80}, {255, 1}}));
    struct Case {
        const char* served;
        Bytes request;
        std::string file;  // in the transfer directory after the exchange (before, for a LOAD)
        Bytes contents;
        Bytes reply;  // what the PC sends the peer
    };
    const Case cases[] = {
        {"ReceiveZX81", Concat({32}, program), "SLOW.P81", program, {}},
        {"SendZX81", Concat({10}, name), "SLOW.P81", program, program},
        {"Printing", line, "PrintOut.bmp", Printout({Band({{7 * 32, 0x80}, {31, 1}})}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.served);
        TransferSession s({c.served});
        s.rig.peer.useAdapter({});
        if (!c.reply.empty()) s.Put(c.file, c.contents);
        s.rig.peer.send(c.request);
        s.rig.run(400'000 * kMs);
        EXPECT_EQ(s.File(c.file), c.contents);
        EXPECT_EQ(s.rig.peer.written(), c.reply);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        s.ExpectIdle();
    }
}

}  // namespace
}  // namespace brindle
