#include "basic/TextTool.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <span>

#include "basic/BasicText.h"
#include "platform/FileIo.h"

namespace brindle {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLargestImage = 32767;
constexpr std::size_t kLargestProgramFile = 65535;  // an image and a name field
constexpr std::size_t kLargestText = 4 << 20;

constexpr const char* kUsage =
    "usage: brindle-text PROGRAM\n"
    "       brindle-text -o PROGRAM TEXT\n"
    "Try 'brindle-text --help'.\n";

constexpr const char* kHelp =
    "brindle-text lists the BASIC of a ZX81 or ZX80 program as text, and makes a program from\n"
    "text.\n"
    "\n"
    "  brindle-text PROGRAM           print PROGRAM's lines as UTF-8 text\n"
    "  brindle-text -o PROGRAM TEXT   make PROGRAM from the lines in TEXT (- reads standard "
    "input)\n"
    "\n"
    "PROGRAM's extension names the machine and the format: .p or .81 a ZX81 program, .p81 a ZX81\n"
    "program with its name (the file's name) in front, .o a ZX80 program. In the text, keywords\n"
    "are words, graphics Unicode block elements, inverse characters stand in [brackets]; \\XX is\n"
    "a byte in hex and {KEYWORD} a keyword where the plain word would read otherwise.\n"
    "\n"
    "Exit status: 0 done; 1 bad input, told as FILE:LINE:COLUMN: message (for a damaged program\n"
    "FILE: at byte N: message); 2 bad usage.\n";

struct Kind {
    Machine machine;
    bool named;  // a .P81: the program's name before the image
};

std::optional<Kind> KindOf(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (extension == ".P" || extension == ".81") return Kind{Machine::Zx81, false};
    if (extension == ".P81") return Kind{Machine::Zx81, true};
    if (extension == ".O") return Kind{Machine::Zx80, false};
    return std::nullopt;
}

// The whole file, if it is a regular file of at most limit bytes; else why not, in problem.
std::optional<std::vector<std::uint8_t>> ReadInput(const std::string& name, std::size_t limit,
                                                   std::string* problem) {
    DiskFiles disk;
    FileError error;
    std::optional<std::vector<std::uint8_t>> bytes = disk.read(fs::path(name), limit, &error);
    if (!bytes) *problem = error.description;
    return bytes;
}

std::optional<std::string> ReadStream(std::istream& in, std::size_t limit) {
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > limit) return std::nullopt;
    }
    return text;
}

int List(const std::string& path, const Kind& kind, std::ostream& out, std::ostream& err) {
    std::string problem;
    const std::optional<std::vector<std::uint8_t>> file =
        ReadInput(path, kLargestProgramFile, &problem);
    if (!file) {
        err << problem << '\n';
        return 1;
    }
    std::size_t name = 0;  // the name field ends at its first byte with bit 7 set
    if (kind.named) {
        const auto last =
            std::find_if(file->begin(), file->end(), [](std::uint8_t b) { return b >= 0x80; });
        if (last == file->end()) {
            err << path << ": at byte 0: the program's name has no end\n";
            return 1;
        }
        name = static_cast<std::size_t>(last - file->begin()) + 1;
    }
    const std::span<const std::uint8_t> image(file->data() + name, file->size() - name);
    if (image.size() > kLargestImage) {
        err << path << ": the program is " << image.size() << " bytes, more than " << kLargestImage
            << "\n";
        return 1;
    }
    const Listing listing = ListProgram(kind.machine, image);
    for (const std::string& line : listing.lines) out << line << '\n';
    if (listing.error) {
        err << path << ": at byte " << listing.error->offset + name << ": "
            << listing.error->message << '\n';
        return 1;
    }
    return 0;
}

int Make(const std::string& path, const Kind& kind, const std::string& textName, std::istream& in,
         std::ostream& err) {
    std::optional<std::string> text;
    std::string problem;
    if (textName == "-") {
        text = ReadStream(in, kLargestText);
        if (!text) problem = "-: too big, more than " + std::to_string(kLargestText) + " bytes";
    } else if (const auto bytes = ReadInput(textName, kLargestText, &problem)) {
        text.emplace(bytes->begin(), bytes->end());
    }
    if (!text) {
        err << problem << '\n';
        return 1;
    }
    const MadeProgram made = MakeProgram(kind.machine, *text);
    if (made.error) {
        err << textName << ':';
        if (made.error->line != 0) err << made.error->line << ':' << made.error->column << ':';
        err << ' ' << made.error->message << '\n';
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    if (kind.named) {
        bytes = Zx81Name(fs::path(path).stem().string());
        if (bytes.empty()) {
            err << path << ": the file's name makes no ZX81 program name\n";
            return 1;
        }
    }
    bytes.insert(bytes.end(), made.image.begin(), made.image.end());
    DiskFiles disk;
    FileError error;
    if (!ReplaceFile(disk, fs::path(path), bytes, &error)) {
        err << error.description << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int RunTextTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kHelp;
        return 0;
    }
    const bool list = args.size() == 1 && !args[0].starts_with("-");
    const bool make = args.size() == 3 && args[0] == "-o";
    if (!list && !make) {
        err << kUsage;
        return 2;
    }
    const std::string& path = list ? args[0] : args[1];
    const std::optional<Kind> kind = KindOf(path);
    if (!kind) {
        err << "brindle-text: " << path << ": not a program file; name it .p, .81, .p81 or .o\n";
        return 2;
    }
    return list ? List(path, *kind, out, err) : Make(path, *kind, args[2], in, err);
}

}  // namespace brindle
