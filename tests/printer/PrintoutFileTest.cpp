#include "printer/PrintoutFile.h"

#include <gtest/gtest.h>

#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

class AddToBitmapTest : public ::testing::Test, public DirSession {
protected:
    // Adds one line; true when the window was told to reload.
    bool Add(const Bytes& line) {
        int reloads = 0;
        const bool added = AddToBitmap(rig.link, PrinterLine(line.data(), 256), [&] { ++reloads; });
        EXPECT_EQ(reloads, added ? 1 : 0);
        return reloads == 1;
    }
};

TEST_F(AddToBitmapTest, BuildsTheFileByteForByte) {
    // An old file (none when nullopt), the lines added, and the file they leave.
    struct Case {
        const char* what;
        std::optional<Bytes> before;
        std::vector<Bytes> lines;
        Bytes after;
    };
    const Bytes twoBands = Concat(Band({{0, 1}}), Band({{0, 2}}));
    const Case cases[] = {
        {"first line, all white: 318 bytes", std::nullopt, {Columns()}, Printout({Band()})},
        {"column 0 top dot: row 7 starts with 0x80",
         std::nullopt,
         {Columns({{0, 0x80}})},
         Printout({Band({{7 * 32, 0x80}})})},
        {"column 255 bottom dot: row 0 ends with 0x01",
         std::nullopt,
         {Columns({{255, 0x01}})},
         Printout({Band({{31, 0x01}})})},
        {"column 9 bit 6: row 6, second byte, second dot",
         std::nullopt,
         {Columns({{9, 0x40}})},
         Printout({Band({{6 * 32 + 1, 0x40}})})},
        {"two appends: 574 bytes, the newest band first",
         std::nullopt,
         {Columns({{0, 0x80}}), Columns({{255, 0x01}})},
         Printout({Band({{31, 0x01}}), Band({{7 * 32, 0x80}})})},
        {"old file under 26 bytes counts as none",
         Bytes(25, 0x77),
         {Columns({{1, 0xFF}})},
         Printout({Band({{0, 0x40},
                         {32, 0x40},
                         {64, 0x40},
                         {96, 0x40},
                         {128, 0x40},
                         {160, 0x40},
                         {192, 0x40},
                         {224, 0x40}})})},
        // Whatever the height field says, only the whole rows the file holds follow the band.
        {"old file of 26 to 62 bytes holds no rows",
         Prefix(BmpHeader(24), 26),
         {Columns()},
         Printout({Band()})},
        {"old file cut short in its 12th row keeps 11",
         Prefix(Concat(BmpHeader(16), twoBands), 62 + 11 * 32 + 5),
         {Columns()},
         Concat(Concat(BmpHeader(19), Band()), Prefix(twoBands, 11 * 32))},
        {"bytes past the rows its height gives are dropped",
         Concat(BmpHeader(8), twoBands),
         {Columns()},
         Printout({Band(), Band({{0, 1}})})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(printout());
        if (c.before) WriteFile(printout(), *c.before);
        for (const Bytes& line : c.lines) EXPECT_TRUE(Add(line));
        EXPECT_EQ(FileBytes(printout()), c.after);
        EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"PrintOut.bmp"});
    }
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
}

TEST_F(AddToBitmapTest, AFailureKeepsThePreviousPrintoutAndSaysWhy) {
    const Bytes before = Printout({Band({{3, 9}}), Band({{200, 7}}), Band(), Band({{0, 1}})});
    const std::string path = printout().string();
    // What is done to the directory before the line, what the message says, and the files left.
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string description;
        std::function<void()> undo = [] {};
    };
    const Case cases[] = {
        {"read-only file",
         [&] { fs::permissions(printout(), fs::perms::all, fs::perm_options::remove); },
         path + ": Permission denied",
         [&] { fs::permissions(printout(), fs::perms::owner_all, fs::perm_options::add); }},
        {"larger than any printout", [&] { fs::resize_file(printout(), kMaxPrintoutBytes + 1); },
         path + ": File too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rig.messages.shown.clear();
        WriteFile(printout(), before);
        c.arrange();
        const Bytes arranged = FileBytes(printout());
        EXPECT_FALSE(Add(Columns({{0, 0xFF}})));
        EXPECT_EQ(rig.messages.shown,
                  std::vector<Message>({{c.description, "Brindle", MessageIcon::None, {}}}));
        EXPECT_EQ(FileBytes(printout()), arranged);
        EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"PrintOut.bmp"});
        c.undo();
    }

    // A write that fails part way, as on a full disk: the old printout stays whole.
    rig.messages.shown.clear();
    WriteFile(printout(), before);
    rig.files.diskFullAt = before.size();
    EXPECT_FALSE(Add(Columns({{0, 0xFF}})));
    EXPECT_EQ(rig.messages.shown,
              std::vector<Message>(
                  {{path + ": No space left on device", "Brindle", MessageIcon::None, {}}}));
    EXPECT_EQ(FileBytes(printout()), before);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"PrintOut.bmp"});
}

TEST(PrintoutPictureTest, ReadsOnlyWholeOneBitPictures) {
    const Bytes printout = Printout({Band({{0, 0x81}}), Band({{255, 0x3C}})});
    Bytes topDown = printout;
    topDown[25] = 0xFF, topDown[24] = 0xFF, topDown[23] = 0xFF, topDown[22] = 0xF0;  // -16
    Bytes fourBit = printout;
    fourBit[28] = 4;
    Bytes compressed = printout;
    compressed[30] = 1;
    Bytes notBm = printout;
    notBm[1] = 'A';
    // The file, and its top and bottom rows when it is a picture.
    struct Case {
        const char* what;
        Bytes file;
        std::optional<std::pair<Bytes, Bytes>> rows;
    };
    const Bytes oldestTop(printout.end() - 32, printout.end());
    const Bytes newestBottom = Bytes(printout.begin() + 62, printout.begin() + 94);
    const Case cases[] = {
        {"a printout, bottom row first", printout, std::pair{oldestTop, newestBottom}},
        {"rows stored top first", topDown, std::pair{newestBottom, oldestTop}},
        {"a row short", Prefix(printout, printout.size() - 1), std::nullopt},
        {"header only", Prefix(printout, 62), std::nullopt},
        {"26 bytes", Prefix(printout, 26), std::nullopt},
        {"4 bits a pixel", fourBit, std::nullopt},
        {"compressed", compressed, std::nullopt},
        {"no BM", notBm, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto picture = PrintoutPicture::Read(c.file);
        ASSERT_EQ(picture.has_value(), c.rows.has_value());
        if (!picture) continue;
        EXPECT_EQ(picture->width(), 256);
        EXPECT_EQ(picture->height(), 16);
        EXPECT_EQ(picture->colour(0), 0xFFFFFFu);
        EXPECT_EQ(picture->colour(1), 0u);
        EXPECT_EQ(Bytes(picture->row(0), picture->row(0) + 32), c.rows->first);
        EXPECT_EQ(Bytes(picture->row(15), picture->row(15) + 32), c.rows->second);
    }
}

}  // namespace
}  // namespace brindle
