// The hidden file list of the main window: the names of the regular files in one folder that
// match a pattern, the way the platform's file list box shows them.
#pragma once

#include <string>
#include <vector>

#include "ui/controls.h"

namespace comflash::ui {

class DirectoryFileList : public FileList {
  public:
    std::string path() const override { return path_; }
    void setPath(const std::string& folder) override;
    std::string pattern() const override { return pattern_; }
    void setPattern(const std::string& pattern) override;
    int listCount() const override { return static_cast<int>(names_.size()); }
    // The empty text for an index outside 0 .. listCount() - 1.
    std::string list(int index) const override;

    // "*" matches any run of characters, "?" one character; letters match in either case,
    // as file names do on the platform the tool comes from.
    static bool matches(const std::string& name, const std::string& pattern);
    // Ascending by name with ASCII letters folded to one case; names equal but for case are
    // ordered by their bytes, so the order never depends on how the folder was read.
    static bool before(const std::string& a, const std::string& b);

  private:
    void refresh();

    std::string path_;
    std::string pattern_ = "*.*";
    std::vector<std::string> names_;
};

}  // namespace comflash::ui
