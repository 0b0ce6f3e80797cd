#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brindle::rig {

// A transfer directory with a sibling "outside" folder, both holding program files, a printout
// and a text file, for runs that feed the link hostile streams; and the rules such a run must
// keep, checked against a snapshot taken before it. Shared by the fuzz targets and the tests.
class TransferTree {
public:
    // Lays out the tree under root, which must exist and be empty; with a printout or without.
    TransferTree(std::filesystem::path root, bool withPrintout);

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path transfer() const { return root_ / "transfer"; }
    // The transfer directory as a directory text ending in the separator.
    std::string transferText() const { return transfer().string() + "/"; }

    // Every entry under root by its relative path: files with their bytes, folders without.
    using Snapshot = std::map<std::string, std::optional<std::vector<std::uint8_t>>>;
    Snapshot Take() const;

    // What a run broke, one line each, comparing the tree with `before`: outside the transfer
    // directory nothing is created, changed or removed; inside it a file that existed is kept
    // unless a completed SAVE replaced it (under its own name or another letter case), a printout
    // only ever grows by whole bands in front of its old rows, every printout is a well-formed
    // bitmap, and no staging file is left behind.
    std::vector<std::string> Problems(const Snapshot& before) const;

    // Removes everything under root and lays the tree out again.
    void Renew(bool withPrintout);

    // The tree as a run starts from, with the snapshot of it: laid out again only when the last
    // run checked by Problems() left it otherwise, so that a fuzzer's runs cost little.
    const Snapshot& Start(bool withPrintout);

private:
    std::filesystem::path root_;
    Snapshot pristine_[2];
    mutable Snapshot last_;
};

// Whether these bytes are a file that a SAVE that ran to its end wrote: at least as long as the
// E_LINE it holds says, for a ZX81 image (after a name field or without one) or a ZX80 image.
bool CompletedSave(const std::vector<std::uint8_t>& bytes);

// Whether these bytes are a printout as the program writes it: its header for its height and
// exactly that many rows.
bool WellFormedPrintout(const std::vector<std::uint8_t>& bytes);

}  // namespace brindle::rig
