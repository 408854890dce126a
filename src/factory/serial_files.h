// The files a station reserves serial numbers from, one number per board. Several processes on
// one machine may share a file: each reservation holds an exclusive lock on a file beside it
// (FILE.lock, made when missing and left in place), and what it takes is on disk before the
// number is handed out. A number is therefore never handed out twice, even across a crash or a
// power cut; a number whose board then fails, or that was taken just before a crash, is void
// and is never handed out again: nothing is given back.
//
// A file on a network share is only as safe as the share's locks.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace comflash::factory {

// A serial number reserved, or why none was.
struct Reservation {
    std::optional<std::string> serial;
    std::string why;
};

class SerialFile {
  public:
    virtual ~SerialFile() = default;
    // Takes the next serial number for one board.
    virtual Reservation reserve() = 0;
};

// A text file holding the next serial number: a whole number ("1000", leading zeros kept), or
// a MAC address (00:11:22:33:44:55). Each reservation hands out the number it holds and
// replaces it with the next. A missing file, or one holding anything else, is refused rather
// than counted from 0: two stations counting from 0 would hand out the same numbers. The file
// is made by whoever owns the numbers: `echo 1000 > FILE`.
class CounterFile final : public SerialFile {
  public:
    explicit CounterFile(std::string path) : path_(std::move(path)) {}
    Reservation reserve() override;

  private:
    std::string path_;
};

// A file of serial numbers, one a line (whole numbers, or MAC addresses); blank lines and
// lines starting with # are left out. It is only read: how many numbers were taken is kept
// in FILE.used beside it (none when it is missing), and the next reservation takes the number
// after those. Lines may be added at the end while stations run; removing FILE.used hands the
// list's numbers out again.
class ListFile final : public SerialFile {
  public:
    explicit ListFile(std::string path) : path_(std::move(path)) {}
    Reservation reserve() override;

  private:
    std::string path_;
};

// The serial numbers of a list's text, in order.
std::vector<std::string> listedSerials(const std::string& text);

}  // namespace comflash::factory
