#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace brindle {

// Whole-file reads and writes. Failures come back as the platform's own description, so that
// the places that show it can say what went wrong in plain words.

struct FileError {
    std::string description;
};

// A file that FileSystem::create made, open for writing. Destroyed while open, it is closed as
// it stands.
class NewFile {
public:
    virtual ~NewFile() = default;
    virtual std::error_code write(const std::uint8_t* data, std::size_t size) = 0;
    // Puts what was written on the disk, then closes the file.
    virtual std::error_code close() = 0;
};

// The file operations that the transfers, the printout and the settings go through; the program
// uses the disk itself, tests a disk that fails when told to.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The whole of a regular file of at most maxBytes bytes. Anything else (a directory, a FIFO,
    // a device, a larger file) is refused before it is read, with a description in error.
    virtual std::optional<std::vector<std::uint8_t>> read(const std::filesystem::path& path,
                                                          std::uintmax_t maxBytes,
                                                          FileError* error) = 0;
    // Makes a file under a name that no file has yet; nothing, and why in ec, when it cannot.
    virtual std::unique_ptr<NewFile> create(const std::filesystem::path& path,
                                            std::error_code& ec) = 0;
    // Gives a file another name, replacing any file that has it.
    virtual std::error_code rename(const std::filesystem::path& from,
                                   const std::filesystem::path& to) = 0;
    // Removes a file, when there is one.
    virtual void remove(const std::filesystem::path& path) = 0;
};

// The local disk.
class DiskFiles : public FileSystem {
public:
    std::optional<std::vector<std::uint8_t>> read(const std::filesystem::path& path,
                                                  std::uintmax_t maxBytes,
                                                  FileError* error) override;
    std::unique_ptr<NewFile> create(const std::filesystem::path& path,
                                    std::error_code& ec) override;
    std::error_code rename(const std::filesystem::path& from,
                           const std::filesystem::path& to) override;
    void remove(const std::filesystem::path& path) override;
};

// Writes the whole file beside the target and then puts it in place of the target, so a failure
// part way leaves any previous file as it was and no partial file behind.
bool ReplaceFile(FileSystem& files, const std::filesystem::path& path,
                 const std::vector<std::uint8_t>& bytes, FileError* error = nullptr);

// Whether the file system takes this name for a file: one has it already, or one can be made
// under it (tried, and removed again).
bool NameAccepted(FileSystem& files, const std::filesystem::path& target);

// Removes the staging files of transfers still under way; for a program that ends at once.
void RemoveAbandonedStagingFiles();

// A file that is written piece by piece beside its target and put in place only by Commit():
// while it is open the target keeps its previous content.
class StagedFile {
public:
    StagedFile(FileSystem& files, std::filesystem::path target);
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
    bool fail(FileError* error, std::error_code ec);

    FileSystem& files_;
    std::filesystem::path target_;
    std::filesystem::path staging_;
    std::unique_ptr<NewFile> file_;
};

}  // namespace brindle
