#include "zx81/Zx81Save.h"

#include <algorithm>

#include "zx81/Charset.h"
#include "zx81/ProgramFiles.h"
#include "zx81/ProgramTransfer.h"

namespace brindle {

std::optional<std::vector<std::uint8_t>> ReceiveZX81Name(Link& link, RequestBuffer& buffer) {
    std::size_t scanned = 0;
    for (;;) {
        link.PollLink(buffer);
        const auto end = std::find_if(buffer.begin() + static_cast<std::ptrdiff_t>(scanned),
                                      buffer.end(), [](std::uint8_t b) { return b >= 128; });
        scanned = buffer.size();
        std::vector<std::uint8_t> name;
        if (end != buffer.end()) {
            name.assign(buffer.begin(), end + 1);
            buffer.erase(buffer.begin(), end + 1);
            link.state.NameReceived = true;
        }
        link.ProcessEvents();
        if (link.state.AbortFlag) return std::nullopt;
        if (!name.empty()) return name;
    }
}

void ReceiveZX81Program(Link& link, RequestBuffer& buffer) {
    const auto name = ReceiveZX81Name(link, buffer);
    if (!name) {
        buffer.clear();
        link.SettleAfterReset();
        return;
    }

    const ProgramFileName file = SaveFileName(ZX81ToText(*name), link.state.FilePath, link.options);
    TransferDisplay& display = link.display;
    display.programInfo = NameInfoLine(*name);
    display.filename = file.baseName;
    display.filepath = file.directory;

    ReceiveProgramImage(link, buffer, kZx81Layout, file.path(),
                        HasNameField(file.extension) ? *name : std::vector<std::uint8_t>{});
}

}  // namespace brindle
