// Replaces a file's contents as a whole: the bytes go to a new file in the target's folder,
// which takes the target's place only once every byte is on disk. Whatever fails, the target
// keeps its old contents (or stays absent) and no temporary file is left behind.
#pragma once

#include <string>
#include <string_view>

namespace comflash::app {

// Writes `contents` to `path`, creating the file if need be. A symbolic link keeps pointing
// where it did; the file it names gets the contents. An existing file keeps its permissions.
// Returns the empty text on success, otherwise why the file could not be written.
std::string ReplaceFileContents(const std::string& path, std::string_view contents);

}  // namespace comflash::app
