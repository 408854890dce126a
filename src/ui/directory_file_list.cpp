#include "ui/directory_file_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/system_text.h"

namespace comflash::ui {

namespace {

char folded(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool matchFrom(const std::string& name, std::size_t n, const std::string& pattern, std::size_t p) {
    while (p < pattern.size()) {
        if (pattern[p] == '*') {
            for (std::size_t rest = n; rest <= name.size(); ++rest) {
                if (matchFrom(name, rest, pattern, p + 1)) return true;
            }
            return false;
        }
        if (n == name.size()) return false;
        if (pattern[p] != '?' && folded(pattern[p]) != folded(name[n])) return false;
        ++n;
        ++p;
    }
    return n == name.size();
}

}  // namespace

bool DirectoryFileList::matches(const std::string& name, const std::string& pattern) {
    // "*.*" is the platform's way of saying every file, also those without a dot.
    if (pattern == "*.*") return true;
    return matchFrom(name, 0, pattern, 0);
}

bool DirectoryFileList::before(const std::string& a, const std::string& b) {
    const auto byFoldedChar = [](char x, char y) {
        return static_cast<unsigned char>(folded(x)) < static_cast<unsigned char>(folded(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), byFoldedChar)) {
        return true;
    }
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), byFoldedChar)) {
        return false;
    }
    return a < b;
}

void DirectoryFileList::setPath(const std::string& folder) {
    path_ = folder;
    refresh();
}

void DirectoryFileList::setPattern(const std::string& pattern) {
    pattern_ = pattern;
    refresh();
}

std::string DirectoryFileList::list(int index) const {
    if (index < 0 || index >= listCount()) return {};
    return names_[static_cast<std::size_t>(index)];
}

void DirectoryFileList::refresh() {
    names_.clear();
    if (path_.empty()) return;
    std::error_code error;
    for (std::filesystem::directory_iterator it(app::pathFromUtf8(path_), error), end;
         !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string name = app::utf8FromPath(it->path().filename());
        // Dot files are this platform's hidden files; the list shows no hidden files.
        if (name.empty() || name.front() == '.') continue;
        if (matches(name, pattern_)) names_.push_back(std::move(name));
    }
    std::sort(names_.begin(), names_.end(), before);
}

}  // namespace comflash::ui
