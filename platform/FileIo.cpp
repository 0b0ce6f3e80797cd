#include "platform/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace brindle {

namespace {

void fail(FileError* error, const std::string& description) {
    if (error != nullptr) error->description = description;
}

std::string errnoText(const std::filesystem::path& path) {
    return path.string() + ": " + std::strerror(errno);
}

// A name in the target's directory that no other file uses, hidden and clearly temporary. Only
// the start of a long target name is used, so that any name the file system takes for the
// target also fits the staging name.
std::filesystem::path stagingPathFor(const std::filesystem::path& target) {
    static std::mt19937_64 random{std::random_device{}()};
    constexpr std::size_t kMaxNameStart = 200;
    std::u8string name = target.filename().u8string();
    if (name.size() > kMaxNameStart) {
        std::size_t cut = kMaxNameStart;
        while (cut > 0 && (name[cut] & 0xC0) == 0x80) --cut;  // not inside a UTF-8 sequence
        name.resize(cut);
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random()));
    return target.parent_path() /
           (u8"." + name + std::u8string(suffix, suffix + std::strlen(suffix)));
}

// The staging files now open. Kept in fixed storage, since it is read while the program ends.
std::vector<std::filesystem::path>& openStagingFiles() {
    static auto* files = new std::vector<std::filesystem::path>;
    return *files;
}

void forgetStagingFile(const std::filesystem::path& path) {
    auto& files = openStagingFiles();
    std::erase(files, path);
}

// Makes a file as fopen(path, "wbx") does, unless a test made the directory read-only.
std::FILE* CreateFile(const std::filesystem::path& path) {
    if (InjectedFileFaults().readOnly) {
        errno = EACCES;
        return nullptr;
    }
    return std::fopen(path.c_str(), "wbx");
}

}  // namespace

FileFaults& InjectedFileFaults() {
    static FileFaults faults;
    return faults;
}

bool NameAccepted(const std::filesystem::path& target) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) return true;
    std::FILE* probe = CreateFile(target);
    if (probe == nullptr) return false;
    std::fclose(probe);
    std::filesystem::remove(target, ec);
    return true;
}

void RemoveAbandonedStagingFiles() {
    std::error_code ec;
    for (const auto& path : openStagingFiles()) std::filesystem::remove(path, ec);
    openStagingFiles().clear();
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                       FileError* error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        fail(error, path.string() + ": is a directory");
        return std::nullopt;
    }
    if (InjectedFileFaults().beforeRead) InjectedFileFaults().beforeRead(path);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        fail(error, errnoText(path));
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    // Room for the whole file at once, so a large file is neither copied while it grows nor
    // held with spare room after.
    struct stat info {};
    if (::fstat(fileno(f), &info) == 0 && info.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) {
        fail(error, path.string() + ": read error");
        return std::nullopt;
    }
    return bytes;
}

bool ReplaceFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                 FileError* error) {
    StagedFile staged(path);
    return staged.open(error) && staged.write(bytes, error) && staged.Commit(error);
}

StagedFile::StagedFile(std::filesystem::path target) : target_(std::move(target)) {}

StagedFile::~StagedFile() {
    Discard();
}

bool StagedFile::open(FileError* error) {
    Discard();
    staging_ = stagingPathFor(target_);
    file_ = CreateFile(staging_);
    written_ = 0;
    if (file_ == nullptr) {
        // Named by the file the user knows, not the hidden one beside it.
        fail(error, errnoText(target_));
        staging_.clear();
        return false;
    }
    openStagingFiles().push_back(staging_);
    return true;
}

bool StagedFile::write(const std::uint8_t* data, std::size_t size, FileError* error) {
    if (file_ == nullptr) {
        fail(error, target_.string() + ": not open");
        return false;
    }
    // A full disk takes what fits and refuses the rest.
    const std::optional<std::uintmax_t>& full = InjectedFileFaults().diskFullAt;
    const std::size_t fits = full && written_ + size > *full
                                 ? static_cast<std::size_t>(*full - std::min(*full, written_))
                                 : size;
    const std::size_t taken = fits > 0 ? std::fwrite(data, 1, fits, file_) : 0;
    written_ += taken;
    if (taken != size) {
        if (fits != size) errno = ENOSPC;
        fail(error, errnoText(target_));
        return false;
    }
    return true;
}

bool StagedFile::Commit(FileError* error) {
    if (file_ == nullptr) {
        fail(error, target_.string() + ": not open");
        return false;
    }
    // On disk before it takes the old file's place, so a power cut cannot leave an empty file.
    const bool flushed = std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        fail(error, errnoText(target_));
        Discard();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(staging_, target_, ec);
    if (ec) {
        fail(error, target_.string() + ": " + ec.message());
        Discard();
        return false;
    }
    forgetStagingFile(staging_);
    staging_.clear();
    return true;
}

void StagedFile::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!staging_.empty()) {
        std::error_code ec;
        std::filesystem::remove(staging_, ec);
        forgetStagingFile(staging_);
        staging_.clear();
    }
}

}  // namespace brindle
