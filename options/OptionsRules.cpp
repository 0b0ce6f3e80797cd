#include "options/OptionsRules.h"

#include <algorithm>
#include <string_view>
#include <system_error>

#include "zx81/Charset.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

namespace {

namespace fs = std::filesystem;

// One wildcard pattern against the whole name, both in capitals; a '*' remembers where to resume
// when a later character fails, which is enough because a later '*' supersedes an earlier one.
bool matchesOne(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0;
    std::size_t starAt = std::string_view::npos, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool isSeparator(char c) {
    return c == '/' || c == static_cast<char>(fs::path::preferred_separator);
}

void sortByName(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string foldedA = UpperAscii(a), foldedB = UpperAscii(b);
        return foldedA != foldedB ? foldedA < foldedB : a < b;
    });
}

}  // namespace

std::string VersionText() {
    return "Version " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}

bool MatchesFilePattern(const std::string& fileName, const std::string& patterns) {
    const std::string name = UpperAscii(fileName);
    const std::string allPatterns = UpperAscii(patterns);
    std::string_view rest = allPatterns;
    while (true) {
        const std::size_t end = rest.find(';');
        const std::string_view one = rest.substr(0, end);
        if (!one.empty() && matchesOne(name, one)) return true;
        if (end == std::string_view::npos) return false;
        rest.remove_prefix(end + 1);
    }
}

fs::path DirectoryForm(const fs::path& directory) {
    if (directory.empty()) return {};
    std::error_code ec;
    fs::path form = fs::absolute(directory, ec);
    if (ec) return {};
    form = form.lexically_normal();
    if (!form.has_filename() && form != form.root_path()) form = form.parent_path();
    return form;
}

std::string NormaliseDirectory(const std::string& directory) {
    if (directory.empty() || isSeparator(directory.back())) return directory;
    return directory + static_cast<char>(fs::path::preferred_separator);
}

std::vector<fs::path> PathChain(const fs::path& directory) {
    std::vector<fs::path> chain;
    fs::path step = directory.root_path();
    if (!step.empty()) chain.push_back(step);
    for (const fs::path& part : directory.relative_path()) {
        if (part.empty()) continue;
        step /= part;
        chain.push_back(step);
    }
    return chain;
}

std::optional<DirectoryContents> ReadDirectory(const fs::path& directory,
                                               const std::string& filePatterns) {
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec) return std::nullopt;
    DirectoryContents contents;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = Utf8FromPath(it->path().filename());
        std::error_code kindError;
        if (it->is_directory(kindError)) {
            contents.subdirectories.push_back(name);
        } else if (it->is_regular_file(kindError) && MatchesFilePattern(name, filePatterns)) {
            contents.files.push_back(name);
        }
    }
    if (ec) return std::nullopt;
    sortByName(contents.subdirectories);
    sortByName(contents.files);
    return contents;
}

int PlaceBesideLeft(int mainLeft, int mainWidth, int ownWidth, int screenWidth) {
    const int left = mainLeft + mainWidth;
    return left + ownWidth > screenWidth ? screenWidth - ownWidth : left;
}

}  // namespace brindle
