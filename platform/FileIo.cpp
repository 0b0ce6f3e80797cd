#include "platform/FileIo.h"

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindle {

namespace {

void fail(FileError* error, const std::string& description) {
    if (error != nullptr) error->description = description;
}

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::string describe(const std::filesystem::path& path, const std::error_code& ec) {
    return path.string() + ": " + ec.message();
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

class DiskFile : public NewFile {
public:
    explicit DiskFile(std::FILE* file) : file_(file) {}
    ~DiskFile() override {
        if (file_ != nullptr) std::fclose(file_);
    }
    std::error_code write(const std::uint8_t* data, std::size_t size) override {
        assert(file_ != nullptr);
        // Nothing to write may come without a buffer at all, which fwrite may not be given.
        if (size == 0) return {};
        return std::fwrite(data, 1, size, file_) == size ? std::error_code{} : lastError();
    }
    std::error_code close() override {
        assert(file_ != nullptr);
        // On disk before the file takes another's place, so a power cut cannot leave it empty.
        std::error_code ec;
        if (std::fflush(file_) != 0 || ::fsync(fileno(file_)) != 0) ec = lastError();
        if (std::fclose(file_) != 0 && !ec) ec = lastError();
        file_ = nullptr;
        return ec;
    }

private:
    std::FILE* file_;
};

// Closes a descriptor on every way out.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::optional<std::vector<std::uint8_t>> DiskFiles::read(const std::filesystem::path& path,
                                                         std::uintmax_t maxBytes,
                                                         FileError* error) {
    const auto refuse = [&](std::error_code ec) -> std::optional<std::vector<std::uint8_t>> {
        fail(error, describe(path, ec));
        return std::nullopt;
    };
    const auto notRegular = [&] {
        fail(error, path.string() + ": not a regular file");
        return std::nullopt;
    };
    // Looked at before it is opened, so that a device under the name is never opened at all;
    // opened without waiting and looked at again, so that a FIFO put in its place meanwhile
    // cannot hold the program up.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return refuse(lastError());
    if (!S_ISREG(info.st_mode)) return notRegular();
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) return refuse(lastError());
    if (::fstat(file.fd, &info) != 0) return refuse(lastError());
    if (!S_ISREG(info.st_mode)) return notRegular();
    const auto tooLarge = std::make_error_code(std::errc::file_too_large);
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) return refuse(tooLarge);

    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return refuse(lastError());
        }
        // A file that grows while it is read is held to the same limit.
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) return refuse(tooLarge);
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

std::unique_ptr<NewFile> DiskFiles::create(const std::filesystem::path& path, std::error_code& ec) {
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        ec = lastError();
        return nullptr;
    }
    ec.clear();
    return std::make_unique<DiskFile>(file);
}

std::error_code DiskFiles::rename(const std::filesystem::path& from,
                                  const std::filesystem::path& to) {
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return ec;
}

void DiskFiles::remove(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

bool NameAccepted(FileSystem& files, const std::filesystem::path& target) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) return true;
    if (!files.create(target, ec)) return false;
    files.remove(target);
    return true;
}

void RemoveAbandonedStagingFiles() {
    std::error_code ec;
    for (const auto& path : openStagingFiles()) std::filesystem::remove(path, ec);
    openStagingFiles().clear();
}

bool ReplaceFile(FileSystem& files, const std::filesystem::path& path,
                 const std::vector<std::uint8_t>& bytes, FileError* error) {
    StagedFile staged(files, path);
    return staged.open(error) && staged.write(bytes, error) && staged.Commit(error);
}

StagedFile::StagedFile(FileSystem& files, std::filesystem::path target)
    : files_(files), target_(std::move(target)) {}

StagedFile::~StagedFile() {
    Discard();
}

// Every failure is named by the file the user knows, not the hidden one beside it.
bool StagedFile::fail(FileError* error, std::error_code ec) {
    brindle::fail(error, describe(target_, ec));
    Discard();
    return false;
}

bool StagedFile::open(FileError* error) {
    Discard();
    staging_ = stagingPathFor(target_);
    std::error_code ec;
    file_ = files_.create(staging_, ec);
    if (!file_) {
        staging_.clear();
        return fail(error, ec);
    }
    openStagingFiles().push_back(staging_);
    return true;
}

bool StagedFile::write(const std::uint8_t* data, std::size_t size, FileError* error) {
    assert(file_ != nullptr);
    const std::error_code ec = file_->write(data, size);
    if (ec) brindle::fail(error, describe(target_, ec));
    return !ec;
}

bool StagedFile::Commit(FileError* error) {
    assert(file_ != nullptr);
    const std::unique_ptr<NewFile> file = std::move(file_);
    if (const std::error_code ec = file->close()) return fail(error, ec);
    if (const std::error_code ec = files_.rename(staging_, target_)) return fail(error, ec);
    forgetStagingFile(staging_);
    staging_.clear();
    return true;
}

void StagedFile::Discard() {
    file_.reset();
    if (!staging_.empty()) {
        files_.remove(staging_);
        forgetStagingFile(staging_);
        staging_.clear();
    }
}

}  // namespace brindle
