// Reads a text file item by item, the way the firmware loader takes its lines: leading blanks
// are dropped, and an item ends at a line end or at a comma (the rest of that line then comes
// as the next item). LF, CR and CR LF each end a line, so files written on any system read
// alike.
#pragma once

#include <cstddef>
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

    // Where the item last read stands: its 1-based line, and whether it opens that line
    // (false for a piece after a comma).
    std::size_t line() const { return itemLine_; }
    bool opensLine() const { return opensLine_; }

  private:
    std::istream& file_;
    std::size_t nextLine_ = 1;  // the line of the next byte
    std::size_t itemLine_ = 0;
    bool opensLine_ = true;
    bool atLineStart_ = true;
};

}  // namespace comflash::image
