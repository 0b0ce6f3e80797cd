// Writes the seed corpus of each fuzz target: real exchanges of every request kind, a settings
// file as the program writes it, and printouts. Run by hand when the stream format changes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/Settings.h"
#include "printer/Printout.h"
#include "tests/reliability/HostileRun.h"
#include "tests/rig/Images.h"

using namespace brindle;
using namespace brindle::rig;
namespace fs = std::filesystem;

namespace {

void Put(const fs::path& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Code(std::uint8_t code, const std::vector<std::uint8_t>& rest = {}) {
    std::vector<std::uint8_t> bytes{code};
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
        return 2;
    }
    const fs::path corpus = argv[1];
    const fs::path d = corpus / "dispatcher";
    Put(d, "zx81-save", StreamBuilder().Peer(Zx81SaveRequest("SAVED", 30)).bytes());
    Put(d, "zx81-save-replace-p",
        StreamBuilder(kFormatP).Peer(Zx81SaveRequest("GAME", 12)).bytes());
    std::vector<std::uint8_t> halfSave = Zx81SaveRequest("HELLO", 40);
    halfSave.resize(halfSave.size() / 2);
    Put(d, "zx81-save-reset", StreamBuilder().Peer(halfSave).Reset(40).bytes());
    Put(d, "zx81-load", StreamBuilder().Peer(Zx81LoadRequest("HELLO")).bytes());
    Put(d, "zx81-load-missing-dialog",
        StreamBuilder().Answer(2).Peer(Zx81LoadRequest("NOSUCH")).bytes());
    Put(d, "zx81-load-reset", StreamBuilder().Peer(Zx81LoadRequest("HELLO")).Reset(200).bytes());
    Put(d, "zx81-choose", StreamBuilder().Answer(1).Peer(Code(2)).bytes());
    Put(d, "zx81-choose-cancel", StreamBuilder().Answer(0).Peer(Code(2)).bytes());
    Put(d, "zx80-save", StreamBuilder().Answer(5).Peer(Code(160, Zx80Image(25))).bytes());
    Put(d, "zx80-save-case", StreamBuilder().Answer(4).Peer(Code(160, Zx80Image(25))).bytes());
    Put(d, "zx80-save-cancel", StreamBuilder().Answer(0).Peer(Code(160, Zx80Image(5))).bytes());
    Put(d, "zx80-load", StreamBuilder().Answer(3).Peer(Code(130)).bytes());
    Put(d, "zx80-load-sub", StreamBuilder().Answer(11).Peer(Code(130)).bytes());
    Put(d, "printer", StreamBuilder().Peer(PrinterLineRequest(7)).bytes());
    Put(d, "printer-new", StreamBuilder(kNoPrintout).Peer(PrinterLineRequest(1)).bytes());
    Put(d, "printer-stalled",
        StreamBuilder().Peer({27, 0x31, 0x1B}).Pause(150).Peer({0x4C, 0, 1}).bytes());
    Put(d, "mixed",
        StreamBuilder()
            .Peer(Zx81LoadRequest("GAME"))
            .Pause(100)
            .Peer(PrinterLineRequest(3))
            .Answer(6)
            .Peer(Code(160, Zx80Image(3)))
            .bytes());

    Settings settings;
    settings.transfer.TransferDirectory = "/home/user/zx/";
    settings.Port = "3";
    const std::string text = FormatSettings(settings);
    Put(corpus / "settings", "written", std::vector<std::uint8_t>(text.begin(), text.end()));
    const std::string odd = "C:\\ZX\r\n1\r\nyes\r\n0.0\r\nP\r\nO\r\nCOM7\r\n";
    Put(corpus / "settings", "hand-edited", std::vector<std::uint8_t>(odd.begin(), odd.end()));

    const fs::path p = corpus / "printout_header";
    for (std::uint32_t bands : {0u, 1u, 3u}) {
        const auto header = PrintoutHeader(bands * kBandRows);
        std::vector<std::uint8_t> file(header.begin(), header.end());
        file.resize(file.size() + bands * kBandBytes, 0x5A);
        Put(p, "bands-" + std::to_string(bands), file);
    }
    Put(p, "height-field-only", std::vector<std::uint8_t>(kPrintoutHeightEnd, 0));
    return 0;
}
