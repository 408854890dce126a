// A fresh folder below the system's temporary folder, removed with everything in it at the
// end of the test.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace comflash::test {

class TempFolder {
  public:
    TempFolder() {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        if (error) return;
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path candidate =
                base / ("comflash-test-" + std::to_string(random()));
            // create_directory is false when the name is taken: try another.
            if (std::filesystem::create_directory(candidate, error)) {
                path_ = candidate;
                return;
            }
        }
    }
    ~TempFolder() {
        if (path_.empty()) return;
        // A test may have left folders read-only; their entries could not be removed.
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
            if (entry.is_directory(ignored)) {
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
            }
        }
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when the folder could not be made.
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace comflash::test
