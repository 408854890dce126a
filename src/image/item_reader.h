// Reads a text file item by item, the way the firmware loader takes its lines: leading blanks
// are dropped, and an item ends at a line end or at a comma (the rest of that line then comes
// as the next item). LF, CR and CR LF each end a line, so files written on any system read
// alike.
#pragma once

#include <istream>
#include <string>

namespace comflash::image {

class ItemReader {
  public:
    enum class Status {
        Item,    // the next item is in the argument
        End,     // the file is at its end; nothing was read
        Failed,  // the file could not be read; what remains of it is unknown
    };

    explicit ItemReader(std::istream& file) : file_(file) {}

    Status next(std::string& item);

  private:
    std::istream& file_;
};

}  // namespace comflash::image
