#include "app/Requests.h"

#include <memory>

#include "listing/DirectoryListing.h"
#include "printer/PrinterStream.h"
#include "zx80/Zx80Transfer.h"
#include "zx81/ProgramFiles.h"
#include "zx81/Zx81Load.h"
#include "zx81/Zx81Save.h"

namespace brindle {

namespace {

// The base name of the ZX80 program the user picks; empty when the dialog is cancelled.
std::string ChosenZX80Name(Link& link, bool sending) {
    const std::optional<ChosenFile> chosen = ChooseZX80Program(link, sending);
    return chosen ? chosen->name.baseName : std::string{};
}

}  // namespace

RequestTable TransferRequests(Link& link, RequestHooks given) {
    auto hooks = std::make_shared<const RequestHooks>(std::move(given));
    const auto refresh = [hooks] {
        if (hooks->refreshOptions) hooks->refreshOptions();
    };
    const ListingMaker makeListing = [&link, hooks](const std::string& directory) {
        return BuildDirectoryListing(link.services.files, directory, link.options,
                                     hooks->routineDirectories, link.services.messages);
    };
    RequestTable table;
    table[kCodeZx81Save] = {2, "Receiving...", kZx81Start, [&link, refresh](RequestBuffer& buffer) {
                                ReceiveZX81Program(link, buffer);
                                refresh();
                            }};
    table[kCodeZx81Load] = {
        1, "Load Req...", kZx81Start, [&link, makeListing](RequestBuffer& buffer) {
            SendZX81Program(link, buffer, {}, link.state.FileFormat, makeListing);
        }};
    table[kCodeZx81Choose] = {
        1, "Load Req...", kZx81Start, [&link, makeListing](RequestBuffer& buffer) {
            std::vector<std::uint8_t> nameBytes;
            const std::string name = ChooseZX81Program(link, nameBytes);
            buffer = std::move(nameBytes);
            // Cancelled, nothing is sent.
            if (!buffer.empty())
                SendZX81Program(link, buffer, name, link.state.FileFormat, makeListing);
        }};
    table[kCodeZx80Load] = {1, "Load Req...", kZx80Start, [&link](RequestBuffer&) {
                                // Bytes after the code are no part of it: they are classified next.
                                const std::string name = ChosenZX80Name(link, true);
                                if (!name.empty())
                                    SendZX80Program(link, name,
                                                    PathFromUtf8(link.state.ChosenFile));
                            }};
    table[kCodeZx80Save] = {2, "Receiving...", kZx80Start, [&link, refresh](RequestBuffer& buffer) {
                                const std::string name = ChosenZX80Name(link, false);
                                // Cancelled, the SAVE still takes its image off the link and
                                // stores nothing: the peer sends it regardless, and none of its
                                // bytes may start a request.
                                ReceiveZX80Program(link, name, buffer,
                                                   PathFromUtf8(link.state.ChosenFile));
                                if (!name.empty()) refresh();
                            }};
    table[kCodePrinter] = {0, "Printing...", 0, [&link, hooks](RequestBuffer& buffer) {
                               Printing(link, buffer, [hooks] {
                                   if (hooks->printoutChanged) hooks->printoutChanged();
                               });
                           }};
    return table;
}

}  // namespace brindle
