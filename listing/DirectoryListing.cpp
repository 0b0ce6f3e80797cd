#include "listing/DirectoryListing.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <initializer_list>
#include <system_error>
#include <utility>

#include "link/ProgramInfo.h"
#include "zx81/Charset.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

namespace {

// ZX81 addresses of the listing program.
constexpr std::size_t kProgramStart = 16509;  // first BASIC line, behind the system variables
constexpr std::size_t kSystemVariablesLength = 116;
constexpr std::size_t kDisplayFileLength = 25;  // collapsed: one NEWLINE per screen line, plus one
// The program's bytes besides the routine, the path and the entries: 24 for the six line heads,
// 4 + 2 + 11 + 2 + 2 + 7 for the tokens of lines 1 to 40.
constexpr std::size_t kFixedProgramLength = 52;

// ZX81 tokens and codes.
constexpr std::uint8_t kNewline = 0x76;
constexpr std::uint8_t kRem = 0xEA;
constexpr std::uint8_t kInverseSpace = 0x80;
constexpr std::uint8_t kZ80Return = 0xC9;

// The first character of text that the ZX81 cannot show, described for a message.
std::string FirstUnshowable(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8CharacterLength(text, i);
        const std::string c = text.substr(i, n);
        if (MakeListingEntry(c).empty()) {
            const auto lead = static_cast<unsigned char>(c[0]);
            if (n == 1 && (lead < 0x20 || lead >= 0x7F)) {
                char code[32];
                std::snprintf(code, sizeof code, "the character code %u", lead);
                return code;
            }
            return "\"" + c + "\"";
        }
        i += n;
    }
    return "a character";
}

void Put16(std::vector<std::uint8_t>& out, std::size_t value) {
    assert(value <= 0xFFFF);
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutZeros(std::vector<std::uint8_t>& out, std::size_t count) {
    out.insert(out.end(), count, 0);
}

void Put(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
    out.insert(out.end(), bytes);
}

// A BASIC line's number (high byte first) and the length of what follows it.
void PutLineHead(std::vector<std::uint8_t>& out, std::uint8_t number, std::size_t length) {
    Put(out, {0, number});
    Put16(out, length);
}

struct Addresses {
    std::size_t dFile;
    std::size_t vars;
    std::size_t line5;
};

// The last entry of a listing that leaves names out: "+", their number with a comma between
// thousands, and " MORE".
std::vector<std::uint8_t> MoreEntry(std::size_t leftOut) {
    std::string number = std::to_string(leftOut);
    for (auto at = static_cast<std::ptrdiff_t>(number.size()) - 3; at > 0; at -= 3)
        number.insert(static_cast<std::size_t>(at), ",");
    return MakeListingEntry("+" + number + " MORE");
}

void PutSystemVariables(std::vector<std::uint8_t>& out, const Addresses& a) {
    [[maybe_unused]] const std::size_t start = out.size();
    out.push_back(0);         // VERSN
    Put16(out, 10);           // E_PPC
    Put16(out, a.dFile);      // D_FILE
    Put16(out, a.dFile + 1);  // DF_CC
    Put16(out, a.vars);       // VARS
    Put16(out, 0);            // DEST
    Put16(out, a.vars + 1);   // E_LINE
    Put16(out, a.vars + 5);   // CH_ADD
    Put16(out, 0);            // X_PTR
    Put16(out, a.vars + 6);   // STKBOT
    Put16(out, a.vars + 6);   // STKEND
    out.push_back(0);         // BERG
    Put16(out, 16477);        // MEM: the calculator's memory in MEMBOT
    out.push_back(0);         // spare
    out.push_back(2);         // DF_SZ
    Put16(out, 10);           // S_TOP
    Put16(out, 0xFFFF);       // LAST_K
    out.push_back(0);         // DB_ST
    out.push_back(55);        // MARGIN
    Put16(out, a.line5);      // NXTLIN: run on at line 5 once loaded
    Put16(out, 0);            // OLDPPC
    out.push_back(0);         // FLAGX
    Put16(out, 0);            // STRLEN
    Put16(out, 3213);         // T_ADDR
    Put16(out, 0);            // SEED
    Put16(out, 59104);        // FRAMES
    Put16(out, 0);            // COORDS
    out.push_back(188);       // PR_CC
    Put(out, {33, 24});       // S_POSN: column, line
    out.push_back(64);        // CDFLAG
    PutZeros(out, 32);        // PRBUFF
    out.push_back(kNewline);
    PutZeros(out, 30);  // MEMBOT
    PutZeros(out, 2);   // spare
    assert(out.size() - start == kSystemVariablesLength);
}

}  // namespace

std::vector<std::uint8_t> MakeListingEntry(const std::string& name) {
    const std::string upper = UpperAscii(name);
    std::vector<std::uint8_t> codes = TextToZX81(upper);
    if (!codes.empty()) codes.back() &= 0x7F;
    if (ZX81ToText(codes) != upper) return {};
    codes.push_back(kInverseSpace);
    return codes;
}

ListingResult MakeListingProgram(const std::string& directoryText,
                                 const std::vector<std::string>& names,
                                 const std::optional<std::vector<std::uint8_t>>& routine,
                                 const std::string& format) {
    assert(!routine || !routine->empty());
    std::vector<std::uint8_t> path = MakeListingEntry(directoryText);
    if (path.empty()) {
        return {{},
                "The directory \"" + directoryText + "\" cannot be listed: its path holds " +
                    FirstUnshowable(directoryText) + ", which the ZX81 cannot show."};
    }
    path.pop_back();

    static const std::vector<std::uint8_t> kReturnOnly{kZ80Return};
    const std::vector<std::uint8_t>& code = routine ? *routine : kReturnOnly;
    const std::size_t fixedLength = code.size() + path.size() + kFixedProgramLength;

    std::vector<std::uint8_t> entries;
    std::vector<std::size_t> entryEnds;
    for (const std::string& name : names) {
        const std::vector<std::uint8_t> entry = MakeListingEntry(name);
        if (entry.empty()) continue;
        entries.insert(entries.end(), entry.begin(), entry.end());
        entryEnds.push_back(entries.size());
    }
    // The names that fit, with room kept for the longest count of the rest.
    const std::size_t room =
        kMaxListingProgramLength - std::min(kMaxListingProgramLength, fixedLength);
    if (entries.size() > room) {
        const std::size_t roomForNames = room - std::min(room, MoreEntry(entryEnds.size()).size());
        const auto listed = static_cast<std::size_t>(
            std::upper_bound(entryEnds.begin(), entryEnds.end(), roomForNames) - entryEnds.begin());
        entries.resize(listed == 0 ? 0 : entryEnds[listed - 1]);
        const std::vector<std::uint8_t> more = MoreEntry(entryEnds.size() - listed);
        entries.insert(entries.end(), more.begin(), more.end());
    }

    const std::size_t programLength = fixedLength + entries.size();
    if (programLength > kMaxListingProgramLength) {
        return {{},
                "The directory \"" + directoryText +
                    "\" cannot be listed: the listing program of " + std::to_string(programLength) +
                    " bytes would not fit the memory of a 16K ZX81."};
    }
    Addresses addresses;
    addresses.dFile = kProgramStart + programLength;
    addresses.vars = addresses.dFile + kDisplayFileLength;
    addresses.line5 = kProgramStart + code.size() + 8;

    // A ".P81" file starts with the program's name, ended by its byte with bit 7 set.
    std::vector<std::uint8_t> out;
    if (format == "P81") out = TextToZX81(kListingFileName);
    out.reserve(out.size() + kSystemVariablesLength + programLength + kDisplayFileLength + 1);
    PutSystemVariables(out, addresses);

    // 1 REM, then the routine behind two NEWLINEs, so that it starts at 16516.
    PutLineHead(out, 1, code.size() + 4);
    Put(out, {kRem, kNewline, kNewline});
    out.insert(out.end(), code.begin(), code.end());
    out.push_back(kNewline);
    // 5 CLS
    PutLineHead(out, 5, 2);
    Put(out, {0xFB, kNewline});
    // 10 PRINT USR VAL "16516"
    PutLineHead(out, 10, 11);
    Put(out, {0xF5, 0xD4, 0xC5, 0x0B, 0x1D, 0x22, 0x21, 0x1D, 0x22, 0x0B, kNewline});
    // 20 REM and the directory path
    PutLineHead(out, 20, path.size() + 2);
    out.push_back(kRem);
    out.insert(out.end(), path.begin(), path.end());
    out.push_back(kNewline);
    // 30 REM and the file names
    PutLineHead(out, 30, entries.size() + 2);
    out.push_back(kRem);
    out.insert(out.end(), entries.begin(), entries.end());
    out.push_back(kNewline);
    // 40 GOTO VAL "10"
    PutLineHead(out, 40, 7);
    Put(out, {0xEC, 0xC5, 0x0B, 0x1D, 0x1C, 0x0B, kNewline});

    out.insert(out.end(), kDisplayFileLength, kNewline);
    out.push_back(0x80);  // end of the (empty) variables area
    return {std::move(out), {}};
}

std::optional<std::vector<std::string>> ScanListingFiles(const std::filesystem::path& directory,
                                                         FileError* error) {
    std::vector<std::pair<std::string, std::string>> found;  // sort key, name
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = Utf8FromPath(it->path().filename());
        if (name.empty() || name.front() == '.') continue;
        const std::size_t dot = name.rfind('.');
        if (dot == std::string::npos) continue;
        const std::string extension = UpperAscii(name.substr(dot + 1));
        if (extension != "P81" && extension != "P" && extension != "81") continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        found.emplace_back(UpperAscii(name), name);
    }
    if (ec) {
        if (error != nullptr) error->description = Utf8FromPath(directory) + ": " + ec.message();
        return std::nullopt;
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& entry : found) names.push_back(std::move(entry.second));
    return names;
}

ListingFile::ListingFile(FileSystem& files, const std::filesystem::path& directory,
                         const std::string& format)
    : files_(files),
      reservation_(files, directory / PathFromUtf8(kListingFileName + ("." + format))) {}

bool ListingFile::Write(const std::vector<std::uint8_t>& bytes, FileError* error) {
    // Opening takes a hidden name that no file has and registers it for removal at a quick exit;
    // the listing then takes that name whole.
    return reservation_.open(error) &&
           ReplaceFile(files_, reservation_.stagingPath(), bytes, error);
}

std::unique_ptr<ListingFile> BuildDirectoryListing(
    FileSystem& files, const std::string& directory, const TransferOptions& options,
    const std::vector<std::filesystem::path>& routineSearchDirs, MessageBoxes& messages) {
    const auto fail = [&messages](const std::string& text) -> std::unique_ptr<ListingFile> {
        messages.show({text, kProgramTitle, MessageIcon::None, {}});
        return nullptr;
    };
    FileError error;
    const std::optional<std::vector<std::string>> names =
        ScanListingFiles(PathFromUtf8(directory), &error);
    if (!names) return fail(error.description);

    std::optional<std::vector<std::uint8_t>> routine;
    for (const std::filesystem::path& searchDir : routineSearchDirs) {
        const std::filesystem::path file = searchDir / kListingRoutineFileName;
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) {
            if (ec) return fail(Utf8FromPath(file) + ": " + ec.message());
            continue;
        }
        // A routine is never longer than the whole program that carries it.
        routine = files.read(file, kMaxListingProgramLength, &error);
        if (!routine) return fail(error.description);
        // With no routine bytes the ZX81 would run into the BASIC lines as code and crash.
        if (routine->empty()) return fail(Utf8FromPath(file) + ": the file is empty");
        break;
    }

    const ListingResult listing =
        MakeListingProgram(directory, *names, routine, options.Zx81Format);
    if (!listing.error.empty()) return fail(listing.error);

    auto file = std::make_unique<ListingFile>(files, PathFromUtf8(directory), options.Zx81Format);
    if (!file->Write(listing.bytes, &error)) return fail(error.description);
    return file;
}

}  // namespace brindle
