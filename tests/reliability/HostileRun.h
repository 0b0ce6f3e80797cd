#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/reliability/TransferTree.h"

namespace brindle::rig {

// A run of the link with the program's real handlers over a stream that decides everything the
// outside world does: the bytes the peer sends and when, the moments of Reset, and the answers
// of the file dialogs. The stream is a first byte of options and then chunks of a kind byte, a
// length byte and, for peer bytes, that many bytes:
enum class Chunk : std::uint8_t {
    Peer = 0,    // the peer sends the bytes that follow
    Pause = 1,   // the peer's next bytes wait length * 20 ms
    Reset = 2,   // Reset is pressed length ms after the peer's last scheduled moment
    Answer = 3,  // the next file dialog is answered with entry length of DialogAnswers()
};
// Options byte: bit 0 stores ZX81 programs as ".P" instead of ".P81"; bit 1 starts without a
// printout.
constexpr std::uint8_t kFormatP = 1;
constexpr std::uint8_t kNoPrintout = 2;

// The dialog answers a stream may pick, relative to the transfer directory; entry 0 cancels.
const std::vector<std::string>& DialogAnswers();

// Builds such streams, for seeds and tests.
class StreamBuilder {
public:
    explicit StreamBuilder(std::uint8_t options = 0) : bytes_{options} {}
    StreamBuilder& Peer(const std::vector<std::uint8_t>& bytes);
    StreamBuilder& Pause(std::uint8_t twentiethsOfSeconds);
    StreamBuilder& Reset(std::uint8_t ms);
    StreamBuilder& Answer(std::uint8_t entry);
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Requests as the peer sends them, for building streams.
std::vector<std::uint8_t> Zx81SaveRequest(const std::string& name, std::size_t programBytes);
std::vector<std::uint8_t> Zx81LoadRequest(const std::string& name);
std::vector<std::uint8_t> PrinterLineRequest(std::uint8_t pattern);

struct Rig;

// Runs a stream through a fresh link on the tree (as it starts), and returns what it broke:
// a run that did not end, a link not idle afterwards, and the tree's problems. Messages shown
// are kept in `messages` as "caption: text" when given; `setup` may add to the rig (faults at
// chosen moments) before the run starts.
std::vector<std::string> RunHostileStream(TransferTree& tree, const std::uint8_t* data,
                                          std::size_t size,
                                          std::vector<std::string>* messages = nullptr,
                                          const std::function<void(Rig&)>& setup = {});

}  // namespace brindle::rig
