#include "zx81/ProgramFiles.h"

#include <algorithm>
#include <system_error>

#include "basic/BasicText.h"
#include "platform/FileIo.h"
#include "zx81/Charset.h"

namespace brindle {

namespace {

constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
// Larger E_LINE values do not fit the 16-bit details of a LOAD.
constexpr std::int32_t kMaxELine = 32768;
// Far more text than a 16K machine's program could be written in, escapes and all.
constexpr std::uintmax_t kMaxTextBytes = 1 << 20;
constexpr const char* kBasicTextExtension = ".BAS";

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

bool IsRegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Whether the file system refuses to look the name up at all (too long, or in a directory that
// cannot be searched), rather than finding nothing under it.
bool Refused(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::status(path, ec).type() == std::filesystem::file_type::none && ec;
}

// A file in the same directory whose name differs from the wanted one only in letter case; the
// first by name when there are several.
std::optional<std::filesystem::path> FindIgnoringCase(const std::filesystem::path& wanted) {
    const std::string wantedName = Utf8FromPath(wanted.filename());
    std::filesystem::path directory = wanted.parent_path();
    if (directory.empty()) directory = ".";
    std::optional<std::filesystem::path> best;
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::filesystem::path& candidate = it->path();
        if (!EqualIgnoringCase(Utf8FromPath(candidate.filename()), wantedName)) continue;
        if (!IsRegularFile(candidate)) continue;
        if (!best || candidate.filename() < best->filename()) best = candidate;
    }
    return best;
}

ProgramFileContent Failure(ProgramFileError error, std::string detail = {}) {
    ProgramFileContent content;
    content.error = error;
    content.detail = std::move(detail);
    return content;
}

// Two upper-case hex digits.
void AppendHex(std::string& text, std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
}

}  // namespace

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path ProgramFileName::path() const {
    return PathFromUtf8(directory + baseName + extension);
}

PcPath ResolvePcPath(const std::string& name, const std::string& transferDirectory) {
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) return {transferDirectory, name};
    std::string directory = name.substr(0, slash + 1);
    std::replace(directory.begin(), directory.end(), '/', kSeparator);
    if (directory.front() == '.') {
        directory = transferDirectory + directory;
    } else if (directory.front() == kSeparator) {
        // From the root of the file system (the drive, where there are drives) that holds the
        // transfer directory.
        directory = Utf8FromPath(PathFromUtf8(transferDirectory).root_name()) + directory;
    }
    return {directory, name.substr(slash + 1)};
}

ProgramFileName SaveFileName(const std::string& name, const std::string& filePath,
                             const TransferOptions& options) {
    ProgramFileName file;
    if (options.PcFilePathMode != 0) {
        PcPath resolved = ResolvePcPath(name, options.TransferDirectory);
        file.directory = std::move(resolved.directory);
        file.baseName = std::move(resolved.baseName);
    } else {
        file.directory = filePath;
        file.baseName = name;
        for (char& c : file.baseName) {
            if (std::string_view("/*:?<>\"").find(c) != std::string_view::npos) c = '-';
        }
    }
    // A name that gives no file name (in normal mode, one made only of codes without a
    // character) would otherwise be stored as the bare extension, a hidden file.
    if (file.baseName.empty()) file.baseName = kUnnamedProgram;
    file.extension = "." + options.Zx81Format;
    return file;
}

ProgramFileName LoadFileName(const std::string& name, const std::string& filePath,
                             const TransferOptions& options) {
    if (options.PcFilePathMode == 0) return {filePath, name, {}};
    PcPath resolved = ResolvePcPath(name, options.TransferDirectory);
    ProgramFileName file{std::move(resolved.directory), std::move(resolved.baseName), {}};
    const std::size_t dot = file.baseName.rfind('.');
    if (dot != std::string::npos) {
        file.extension = file.baseName.substr(dot);
        file.baseName.erase(dot);
    }
    return file;
}

bool HasNameField(const std::string& extension) {
    return extension == ".P81";
}

bool IsBasicText(const std::string& extension) {
    const std::string upper = UpperAscii(extension);
    return upper == kBasicTextExtension || upper == ".TXT";
}

std::optional<FoundProgramFile> FindProgramFile(const ProgramFileName& name) {
    std::vector<std::string> extensions;
    if (!name.extension.empty()) extensions.push_back(name.extension);
    for (std::string_view format : kZx81FormatList) {
        std::string extension = "." + std::string(format);
        if (extension != name.extension) extensions.push_back(std::move(extension));
    }
    if (name.extension != kBasicTextExtension) extensions.push_back(kBasicTextExtension);
    for (const std::string& extension : extensions) {
        const std::filesystem::path wanted =
            ProgramFileName{name.directory, name.baseName, extension}.path();
        if (IsRegularFile(wanted) || Refused(wanted)) return FoundProgramFile{wanted, extension};
        if (auto other = FindIgnoringCase(wanted)) return FoundProgramFile{*other, extension};
    }
    return std::nullopt;
}

ProgramFileContent ParseImage(std::vector<std::uint8_t>::const_iterator begin,
                              std::vector<std::uint8_t>::const_iterator end,
                              const ImageLayout& layout) {
    ProgramFileContent content;
    const std::size_t length = static_cast<std::size_t>(end - begin);
    if (length < layout.detailBytes) {
        content.error = ProgramFileError::TooShort;
        return content;
    }
    const std::int32_t eLine = begin[layout.eLineOffset] + 256 * begin[layout.eLineOffset + 1];
    if (eLine < layout.start) {
        content.error = ProgramFileError::ELineTooLow;
        return content;
    }
    if (length > kMaxImageBytes || eLine > kMaxELine) {
        content.error = ProgramFileError::TooLong;
        return content;
    }
    const std::size_t programLength = static_cast<std::size_t>(eLine - layout.start);
    content.image.assign(begin,
                         begin + static_cast<std::ptrdiff_t>(std::min(length, programLength)));
    content.systemVariables.assign(begin, begin + static_cast<std::ptrdiff_t>(layout.detailBytes));
    content.fileLength = static_cast<std::int32_t>(length);
    content.eLine = eLine;
    return content;
}

ProgramFileContent ParseProgramFile(const std::vector<std::uint8_t>& file,
                                    const std::string& extension) {
    auto imageStart = file.begin();
    if (HasNameField(extension)) {
        auto nameEnd =
            std::find_if(file.begin(), file.end(), [](std::uint8_t b) { return b >= 128; });
        if (nameEnd == file.end()) return Failure(ProgramFileError::NoNameEnd);
        imageStart = nameEnd + 1;
    }
    return ParseImage(imageStart, file.end(), kZx81Layout);
}

namespace {

ProgramFileContent ReadBasicText(FileSystem& files, const std::filesystem::path& path,
                                 Machine machine) {
    const auto text = files.read(path, kMaxTextBytes, nullptr);
    if (!text) return Failure(ProgramFileError::Unreadable);
    const MadeProgram made = MakeProgram(
        machine, std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
    if (made.error) {
        std::string detail = Utf8FromPath(path.filename()) + ":";
        if (made.error->line != 0)
            detail +=
                std::to_string(made.error->line) + ":" + std::to_string(made.error->column) + ":";
        return Failure(ProgramFileError::BadText, detail + " " + made.error->message);
    }
    return ParseImage(made.image.begin(), made.image.end(),
                      machine == Machine::Zx81 ? kZx81Layout : kZx80Layout);
}

}  // namespace

ProgramFileContent ReadProgramFile(FileSystem& files, const std::filesystem::path& path,
                                   const std::string& extension, Machine machine) {
    if (IsBasicText(extension)) return ReadBasicText(files, path, machine);
    if (machine == Machine::Zx80) {
        const auto file = files.read(path, kMaxImageBytes, nullptr);
        if (!file) return Failure(ProgramFileError::Unreadable);
        return ParseImage(file->begin(), file->end(), kZx80Layout);
    }
    // A name field lives in the ZX81's memory as the image does, so it is no longer than one.
    const std::uintmax_t maxBytes = (HasNameField(extension) ? 2 : 1) * kMaxImageBytes;
    const auto file = files.read(path, maxBytes, nullptr);
    if (!file) return Failure(ProgramFileError::Unreadable);
    return ParseProgramFile(*file, extension);
}

std::string NameInfoLine(const std::vector<std::uint8_t>& nameBytes) {
    std::string line = "Filename: ";
    for (std::uint8_t b : nameBytes) {
        AppendHex(line, b);
        line += ' ';
    }
    return line + "\r\n";
}

std::string AddressInfoLine(std::int32_t address, std::uint8_t byte) {
    std::string line = std::to_string(address) + "=";
    AppendHex(line, byte);
    return line + "\r\n";
}

std::string SystemVariableLines(const std::vector<std::uint8_t>& image, const ImageLayout& layout) {
    std::string lines;
    const std::size_t count = std::min(image.size(), layout.detailBytes);
    for (std::size_t i = 0; i < count; ++i)
        lines += AddressInfoLine(layout.start + static_cast<std::int32_t>(i), image[i]);
    return lines;
}

}  // namespace brindle
