// A stream buffer that hands out its text one byte per read, the smallest pieces a file can
// arrive in, and that can fail for good after a given number of bytes, as a file on a failing
// disk does.
#pragma once

#include <cstddef>
#include <ios>
#include <limits>
#include <streambuf>
#include <string>
#include <utility>

namespace comflash::image::testing {

class TrickleBuf : public std::streambuf {
  public:
    static constexpr std::size_t kNeverFails = std::numeric_limits<std::size_t>::max();

    explicit TrickleBuf(std::string text, std::size_t failAfter = kNeverFails)
        : text_(std::move(text)), failAfter_(failAfter) {}

  protected:
    int_type underflow() override {
        if (next_ >= text_.size()) return traits_type::eof();
        if (next_ >= failAfter_) throw std::ios_base::failure("read error");
        current_ = text_[next_++];
        setg(&current_, &current_, &current_ + 1);
        return traits_type::to_int_type(current_);
    }

  private:
    std::string text_;
    std::size_t failAfter_;
    std::size_t next_ = 0;
    char current_ = 0;
};

}  // namespace comflash::image::testing
