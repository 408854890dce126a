#include "image/item_reader.h"

namespace comflash::image {

namespace {

constexpr char kComma = ',';
constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';

bool isBlank(int c) {
    return c == ' ' || c == '\t';
}

}  // namespace

ItemReader::Status ItemReader::next(std::string& item) {
    using Traits = std::istream::traits_type;
    item.clear();
    // A stream that fails to deliver sets badbit; running out of bytes only sets eofbit.
    if (Traits::eq_int_type(file_.peek(), Traits::eof())) {
        return file_.bad() ? Status::Failed : Status::End;
    }
    while (isBlank(file_.peek())) file_.get();
    itemLine_ = nextLine_;
    opensLine_ = atLineStart_;
    atLineStart_ = false;
    for (;;) {
        const int c = file_.get();
        if (Traits::eq_int_type(c, Traits::eof())) break;
        if (c == kComma) break;
        if (c == kLineFeed || c == kCarriageReturn) {
            if (c == kCarriageReturn && file_.peek() == kLineFeed) file_.get();
            ++nextLine_;
            atLineStart_ = true;
            break;
        }
        item.push_back(Traits::to_char_type(c));
    }
    return file_.bad() ? Status::Failed : Status::Item;
}

}  // namespace comflash::image
