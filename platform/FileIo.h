#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

// Whole-file reads and writes. Failures come back as the platform's own description, so that
// the places that show it can say what went wrong in plain words.

struct FileError {
    std::string description;
};

// Reads the whole file; nothing and an error description when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                       FileError* error = nullptr);

// Writes the whole file beside the target and then puts it in place of the target, so a failure
// part way leaves any previous file as it was and no partial file behind.
bool ReplaceFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                 FileError* error = nullptr);

// Whether the file system takes this name for a file: one has it already, or one can be made
// under it (tried, and removed again).
bool NameAccepted(const std::filesystem::path& target);

// Removes the staging files of transfers still under way; for a program that ends at once.
void RemoveAbandonedStagingFiles();

// A file that is written piece by piece beside its target and put in place only by Commit():
// while it is open the target keeps its previous content.
class StagedFile {
public:
    explicit StagedFile(std::filesystem::path target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    bool open(FileError* error = nullptr);
    bool write(const std::uint8_t* data, std::size_t size, FileError* error = nullptr);
    bool write(const std::vector<std::uint8_t>& bytes, FileError* error = nullptr) {
        return write(bytes.data(), bytes.size(), error);
    }
    // Puts what was written in place of the target.
    bool Commit(FileError* error = nullptr);
    // Drops what was written; the target stays as it was.
    void Discard();
    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& stagingPath() const { return staging_; }

private:
    std::filesystem::path target_;
    std::filesystem::path staging_;
    std::FILE* file_ = nullptr;
    std::uintmax_t written_ = 0;
};

// Failures that tests inject into the operations above, as a full disk, a read-only directory
// or a file that vanishes would cause them. Left as it is, nothing fails.
struct FileFaults {
    // A staged file's write that would take it past this many bytes fails, as on a full disk.
    std::optional<std::uintmax_t> diskFullAt;
    // Making a file fails, as in a read-only directory.
    bool readOnly = false;
    // Runs just before a whole-file read opens its file.
    std::function<void(const std::filesystem::path&)> beforeRead;
};
FileFaults& InjectedFileFaults();

}  // namespace brindle
